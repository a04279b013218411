#ifndef BRELO_ADDRESSCHECK_H
#define BRELO_ADDRESSCHECK_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include "batch/addressplan.h"

class QTableWidget;
class QTimer;

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
    bool sent = true;
    // Some search showed the device at its planned address; no later miss undoes that.
    bool taken = false;
    // Where the last search that showed it elsewhere than planned showed it.
    QString seenAt;
};

// One record per MAC in first-seen order: a device planned twice keeps its last command, which
// decides its address.
QVector<CheckedDevice> checkedDevicesOf(const QVector<CheckedDevice> &commands);

// Marks the devices that found shows at their planned address as taken, and remembers where it
// shows the others. found holds a search's rows in table order.
void recordSearch(QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &found);

// Devices sent their command and not yet seen at their address.
int waitingCount(const QVector<CheckedDevice> &devices);
int takenCount(const QVector<CheckedDevice> &devices);

// "已生效", or why not: "未生效: " and the reason, as the log gives it after the MAC.
QString checkOutcome(const CheckedDevice &device);

// The closing lines: one per device not taken, in batch order, then the summary.
QStringList checkReport(const QVector<CheckedDevice> &devices);

// Every row's MAC and address, in table order.
QVector<DeviceAddress> tableDevices(const QTableWidget *table);

// Follows the searches after a batch IP change until every device shows its planned address or
// the rounds run out, waiting between them for devices that are still restarting. Then it reports,
// marks the rows, and offers to send the devices not taken their planned command again.
class AddressCheck : public QObject
{
    Q_OBJECT

public:
    explicit AddressCheck(QObject *parent = nullptr);

    // The pauses before the second, third... search; one search more than pauses at most.
    void setWaits(const QVector<int> &waitsMs);

    // Checks commands (in batch order) against the next search's end.
    void start(const QVector<CheckedDevice> &commands);
    // Ends the check at once, without another line or search.
    void cancel();
    bool isRunning() const { return m_running; }

    // A search started by hand during a pause serves as the check's next search.
    void searchStarted();
    // The newest search has ended with the library's result; table holds what it found.
    void searchEnded(int result, QTableWidget *table);

signals:
    void message(const QString &text);
    // The check needs a search, started exactly as the refresh button starts one.
    void searchWanted();

private:
    void finish(QTableWidget *table);
    void resend(QVector<CheckedDevice> devices, QTableWidget *table);

    QVector<int> m_waits;
    QVector<CheckedDevice> m_devices;
    QTimer *m_pause;
    int m_searches = 0;
    bool m_running = false;
};

#endif // BRELO_ADDRESSCHECK_H
