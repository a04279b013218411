#ifndef BRELO_FAKEVSNET_H
#define BRELO_FAKEVSNET_H

#include <QByteArray>
#include <QList>
#include <QVector>

#include "sdk/VSDevNetSDK.h"

// Link-time double of the device library for exact checks: scripted devices reported from a thread
// of its own, searches that can be held open, and every sent command recorded.
namespace FakeVsnet {

struct Sent
{
    QByteArray address;
    QByteArray json;
};

// Clears devices, recordings and counters, and releases any held search.
void reset();

void setDevices(const QVector<VSOneDev> &devices);
// While holding, a search reports its devices and then blocks until release() or until
// holdLimitMs has passed (0: no limit); with beforeReport it blocks first and reports afterwards.
void setHold(bool hold, int holdLimitMs = 0, bool beforeReport = false);
void release();
// Lets exactly one held search return.
void releaseOne();
// Waits, without spinning the event loop, until at least n searches are running.
bool waitForRunning(int n, int timeoutMs = 5000);
// Waits, without spinning the event loop, until the callbacks have been handed at least n devices
// since reset().
bool waitForReported(int n, int timeoutMs = 5000);

// What the library functions return: init and search (a search then still reports its devices),
// and the sends in call order, 0 for every send past the list.
void setInitResult(int result);
void setSearchResult(int result);
void setSendResults(const QVector<int> &results);

int initCount();
int uninitCount();
int searchCount();
int runningSearches();
// True once vsnet_uninit was called while a search was running.
bool uninitUnderSearch();
// True once a callback was made after vsnet_uninit had been called.
bool callbackAfterUninit();
QList<Sent> sent();

VSOneDev makeDevice(const QByteArray &ip, const QByteArray &p2pid, const QByteArray &version, const QByteArray &model,
                    const QVector<unsigned char> &mac, const QByteArray &hid = {});

} // namespace FakeVsnet

#endif // BRELO_FAKEVSNET_H
