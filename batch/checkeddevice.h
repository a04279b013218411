#ifndef BRELO_CHECKEDDEVICE_H
#define BRELO_CHECKEDDEVICE_H

#include <QString>
#include <QStringList>
#include <QVector>

struct DeviceAddress;

// One device of a batch IP change: what it was told, and what became of it.
struct CheckedDevice
{
    QString mac;
    // Plain decimal, kept so that a resend repeats the command exactly.
    QString address;
    QString netmask;
    QString gateway;
    QString dns;
    // Told to take an address by DHCP: no address to check it against.
    bool dhcp = false;
    // The library took the last command sent to it.
    bool sent = true;
    // Some search showed it at its planned address; no later miss undoes that.
    bool taken = false;
    // Where the last search that showed it elsewhere showed it.
    QString seenAt;
};

// A device may answer a search more than once: any answer at its planned address makes it taken,
// whatever became of the sends. found is in table order.
void updateFromSearch(QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &found);

// Sent its command and not yet seen at its address.
bool isWaitedFor(const CheckedDevice &device);
int waitingCount(const QVector<CheckedDevice> &devices);
int takenCount(const QVector<CheckedDevice> &devices);
// Not taken, and its last command did not go out: no search is waited for it.
int unsentCount(const QVector<CheckedDevice> &devices);

// -1 when the check ends: nothing waited for, or one search more than there are pauses.
int nextCheckWait(const QVector<CheckedDevice> &devices, const QVector<int> &waitsMs, int searches);
QString checkProgress(const QVector<CheckedDevice> &devices, int waitMs);
// A failed search ended the check: only the devices waited for are left unjudged.
QString checkAborted(const QVector<CheckedDevice> &devices);

// "已生效", or "未生效: " and the reason.
QString checkOutcome(const CheckedDevice &device);
QString checkSummary(const QVector<CheckedDevice> &devices);
// One line per device not taken, in batch order, then the summary.
QStringList checkReport(const QVector<CheckedDevice> &devices);

QVector<CheckedDevice> devicesNotTaken(const QVector<CheckedDevice> &devices);
QString resendQuestion(const QVector<CheckedDevice> &devices);

#endif // BRELO_CHECKEDDEVICE_H
