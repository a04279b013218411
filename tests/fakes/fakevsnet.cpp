#include "fakes/fakevsnet.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

struct State
{
    std::mutex mutex;
    std::condition_variable changed;
    QVector<VSOneDev> devices;
    QList<FakeVsnet::Sent> sent;
    bool hold = false;
    bool holdBeforeReport = false;
    int holdLimitMs = 0;
    int initResult = 0;
    bool searchResultSet = false;
    int searchResult = 0;
    QVector<int> sendResults;
    quint64 releases = 0;
    int permits = 0;
    int initCount = 0;
    int uninitCount = 0;
    int searchCount = 0;
    int running = 0;
    int reported = 0;
    bool uninitUnderSearch = false;
    bool callbackAfterUninit = false;
    bool uninitialised = false;
};

State &state()
{
    static State s;
    return s;
}

} // namespace

namespace FakeVsnet {

void reset()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.devices.clear();
    s.sent.clear();
    s.hold = false;
    s.holdBeforeReport = false;
    s.holdLimitMs = 0;
    s.initResult = 0;
    s.searchResultSet = false;
    s.sendResults.clear();
    s.permits = 0;
    ++s.releases;
    s.initCount = s.uninitCount = s.searchCount = s.reported = 0;
    s.uninitUnderSearch = s.callbackAfterUninit = s.uninitialised = false;
    s.changed.notify_all();
}

void setDevices(const QVector<VSOneDev> &devices)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().devices = devices;
}

void setHold(bool hold, int holdLimitMs, bool beforeReport)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().hold = hold;
    state().holdLimitMs = holdLimitMs;
    state().holdBeforeReport = beforeReport;
}

void setInitResult(int result)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().initResult = result;
}

void setSearchResult(int result)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().searchResultSet = true;
    state().searchResult = result;
}

void setSendResults(const QVector<int> &results)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().sendResults = results;
}

void release()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.hold = false;
    ++s.releases;
    s.changed.notify_all();
}

void releaseOne()
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.permits;
    s.changed.notify_all();
}

bool waitForRunning(int n, int timeoutMs)
{
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return s.running >= n; });
}

bool waitForReported(int n, int timeoutMs)
{
    State &s = state();
    std::unique_lock<std::mutex> lock(s.mutex);
    return s.changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return s.reported >= n; });
}

int initCount()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().initCount;
}

int uninitCount()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().uninitCount;
}

int searchCount()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().searchCount;
}

int runningSearches()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().running;
}

bool uninitUnderSearch()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().uninitUnderSearch;
}

bool callbackAfterUninit()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().callbackAfterUninit;
}

QList<Sent> sent()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().sent;
}

VSOneDev makeDevice(const QByteArray &ip, const QByteArray &p2pid, const QByteArray &version, const QByteArray &model,
                    const QVector<unsigned char> &mac, const QByteArray &hid)
{
    VSOneDev dev;
    std::memset(&dev, 0, sizeof dev);
    // Fields are copied up to their span without a terminator when they fill it, as another
    // library might deliver them.
    auto put = [](char *field, size_t span, const QByteArray &text) {
        std::memcpy(field, text.constData(), std::min(span, static_cast<size_t>(text.size())));
    };
    put(dev.ip, sizeof dev.ip, ip);
    put(dev.p2pid, sizeof dev.p2pid, p2pid);
    put(dev.version, sizeof dev.version, version);
    put(dev.model, sizeof dev.model, model);
    put(dev.hid, sizeof dev.hid, hid);
    std::copy_n(mac.constBegin(), std::min(6, static_cast<int>(mac.size())), dev.mac);
    return dev;
}

} // namespace FakeVsnet

extern "C" {

int vsnet_init(void)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    ++state().initCount;
    state().uninitialised = false;
    return state().initResult;
}

int vsnet_uninit(void)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.uninitCount;
    if (s.running > 0) {
        s.uninitUnderSearch = true;
    }
    s.uninitialised = true;
    return 0;
}

int vsnet_search(VSNetSearchCallback cb, void *context)
{
    State &s = state();
    QVector<VSOneDev> devices;
    bool holdBeforeReport = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        ++s.searchCount;
        ++s.running;
        devices = s.devices;
        holdBeforeReport = s.holdBeforeReport;
        s.changed.notify_all();
    }
    const auto holdIfAsked = [&s] {
        std::unique_lock<std::mutex> lock(s.mutex);
        const quint64 releases = s.releases;
        auto released = [&] { return !s.hold || s.releases != releases || s.permits > 0; };
        if (s.holdLimitMs > 0) {
            s.changed.wait_for(lock, std::chrono::milliseconds(s.holdLimitMs), released);
        } else {
            s.changed.wait(lock, released);
        }
        if (s.hold && s.releases == releases && s.permits > 0) {
            --s.permits;
        }
    };
    if (holdBeforeReport) {
        holdIfAsked();
    }
    // Devices are reported from a thread of the library's own, as a real library may do.
    std::thread reporter([&] {
        for (VSOneDev dev : devices) {
            {
                std::lock_guard<std::mutex> lock(s.mutex);
                if (s.uninitialised) {
                    s.callbackAfterUninit = true;
                }
            }
            cb(&dev, context);
            std::lock_guard<std::mutex> lock(s.mutex);
            ++s.reported;
            s.changed.notify_all();
        }
    });
    reporter.join();
    if (!holdBeforeReport) {
        holdIfAsked();
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    --s.running;
    s.changed.notify_all();
    return s.searchResultSet ? s.searchResult : devices.size();
}

int vsnet_send_json_msg(const char *address, const char *json)
{
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const int index = s.sent.size();
    s.sent.append({QByteArray(address), QByteArray(json)});
    return s.sendResults.value(index, 0);
}

} // extern "C"
