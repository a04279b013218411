#ifndef BRELO_CHECKEDDEVICE_H
#define BRELO_CHECKEDDEVICE_H

#include <QString>
#include <QStringList>
#include <QVector>

struct DeviceAddress;

// One device of a batch IP change: what it was told, whether the library took the command, and
// what the searches after it showed.
struct CheckedDevice
{
    QString mac;
    // The command's settings, plain decimal, kept so that a resend repeats it exactly.
    QString address;
    QString netmask;
    QString gateway;
    QString dns;
    // Whether the library took the last command sent to it.
    bool sent = true;
    // Some search showed the device at its planned address; no later miss undoes that.
    bool taken = false;
    // Where the last search that showed it elsewhere than planned showed it.
    QString seenAt;
};

// Marks the devices that found shows at their planned address as taken, whatever became of the
// sends, and remembers where it shows the others. found holds a search's rows in table order.
void recordSearch(QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &found);

// Sent its command and not yet seen at its address.
bool isWaitedFor(const CheckedDevice &device);
int waitingCount(const QVector<CheckedDevice> &devices);
int takenCount(const QVector<CheckedDevice> &devices);

// The pause before the next search of a check that has had searches searches, or -1 when the check
// ends: every device taken, or one search more than there are pauses.
int nextCheckWait(const QVector<CheckedDevice> &devices, const QVector<int> &waitsMs, int searches);
// The line that says a check goes on after waitMs.
QString checkProgress(const QVector<CheckedDevice> &devices, int waitMs);

// "已生效", or why not: "未生效: " and the reason, as the log gives it after the MAC.
QString checkOutcome(const CheckedDevice &device);

// How many of the devices are taken and how many not.
QString checkSummary(const QVector<CheckedDevice> &devices);
// The closing lines: one per device not taken, in batch order, then the summary.
QStringList checkReport(const QVector<CheckedDevice> &devices);

// The devices a resend would send their command again, in batch order.
QVector<CheckedDevice> devicesNotTaken(const QVector<CheckedDevice> &devices);
// Whether to send them again, asked after the report.
QString resendQuestion(const QVector<CheckedDevice> &devices);

#endif // BRELO_CHECKEDDEVICE_H
