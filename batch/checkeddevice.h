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
    // Told to take an address by DHCP: judged against where it was before.
    bool dhcp = false;
    // A DHCP device's address in the table as its command went out, plain decimal.
    QString addressBefore;
    // The library took the last command sent to it.
    bool sent = true;
    // Some search showed it at its planned address, a DHCP device with a lease of its own; no later
    // miss undoes that.
    bool taken = false;
    // Where the last search that showed it elsewhere showed it.
    QString seenAt;
    // Where the last search that showed a DHCP device with a lease of its own showed it.
    QString takenAt;
};

namespace Batch {

// The address each DHCP device has in the table, its first row in table order.
void noteAddressesBefore(QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &table);

// A device may answer a search more than once: any answer at its planned address makes it taken,
// whatever became of the sends; a DHCP device, any answer at a usable address other than the one it
// had. found is in table order.
void updateFromSearch(QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &found);

// Sent its command and not yet seen at its address.
bool isWaitedFor(const CheckedDevice &device);
int waitingCount(const QVector<CheckedDevice> &devices);
int takenCount(const QVector<CheckedDevice> &devices);
// A DHCP device still where it was may have got its address back from the server, or not have taken
// the command: once a check has ended it counts as seen, and no resend is offered.
bool keptAddressBefore(const CheckedDevice &device);
// Taken, or kept the address it had.
bool countsAsSeen(const CheckedDevice &device);
// Not taken, and its last command did not go out: no search is waited for it.
int unsentCount(const QVector<CheckedDevice> &devices);

// -1 when the check ends: nothing waited for, or one search more than there are pauses.
int nextCheckWait(const QVector<CheckedDevice> &devices, const QVector<int> &waitsMs, int searches);
QString checkProgress(const QVector<CheckedDevice> &devices, int waitMs);
// A failed search ended the check: only the devices waited for are left unjudged.
QString checkAborted(const QVector<CheckedDevice> &devices);
// A new batch ended the check: names the devices it still waited for.
QString checkSuperseded(const QVector<CheckedDevice> &devices);

// "已生效"; for a DHCP device "DHCP: " and its lease, or "DHCP: 地址未变 " and the address it kept; or
// "未生效: " and the reason.
QString checkOutcome(const CheckedDevice &device);
QString checkSummary(const QVector<CheckedDevice> &devices);
// One line per device not taken and per DHCP device, in batch order, then the summary.
QStringList checkReport(const QVector<CheckedDevice> &devices);

// The devices that do not count as seen.
QVector<CheckedDevice> devicesToResend(const QVector<CheckedDevice> &devices);
QString resendQuestion(const QVector<CheckedDevice> &devices);

} // namespace Batch

#endif // BRELO_CHECKEDDEVICE_H
