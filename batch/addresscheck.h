#ifndef BRELO_ADDRESSCHECK_H
#define BRELO_ADDRESSCHECK_H

#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include "batch/batchrecord.h"
#include "batch/checkeddevice.h"

class QTimer;
struct DeviceAddress;

// Follows the searches after a batch IP change in rounds. A round ends when every device shows its
// planned address or its searches run out, waiting between them for devices that are still
// restarting; it then reports and offers to send the devices not taken their command again, and a
// resend starts the next round. The batch's record keeps each device's outcome meanwhile and after;
// a round is the set of devices it checks, read from the record.
class AddressCheck : public QObject
{
    Q_OBJECT

public:
    explicit AddressCheck(QObject *parent = nullptr);

    // The pauses before the second, third... search of a round; one search more than pauses at most.
    void setWaits(const QVector<int> &waitsMs);

    // A batch's commands went out, in batch order: its record starts, whether a check follows or not.
    void beginRecord(const QVector<CheckedDevice> &commands);
    // A round that checks every device of the record against the next search's end.
    void start();
    // The devices of an offer were sent their command again: the next round checks them.
    void startResend(const QVector<CheckedDevice> &devices);
    // Ends a running round at once, without another line or search; the record stays.
    void cancel();
    // Ends the record too, before a new batch IP change goes out or when the window closes.
    void endRecord();
    bool isRunning() const { return m_running; }
    bool hasRecord() const { return !m_record.isEmpty(); }

    // A search started by hand during a pause serves as the round's next search.
    void searchStarted();
    // The newest search has ended with the library's result and found these rows, in table order.
    void searchEnded(int result, const QVector<DeviceAddress> &found);

    // What the rows of a device show: nothing outside the batch, nor while a round still waits for it.
    DeviceOutcome shownOutcome(const QString &mac) const;

signals:
    void message(const QString &text);
    // The round needs a search, started exactly as the refresh button starts one.
    void searchWanted();
    // A device's shown outcome may have changed.
    void outcomesChanged();
    // Once the end of the search that ended a round has been handled and no dialog or box is open:
    // the devices a resend would send their command again, and the question to ask first.
    void resendOffered(const QString &question, const QVector<CheckedDevice> &devices);

private:
    void setRound(const QSet<QString> &macs);
    void finish(const QVector<CheckedDevice> &round);
    void searchWhenFree();
    void offerWhenFree();

    QVector<int> m_waits;
    BatchRecord m_record;
    QSet<QString> m_round;
    QVector<CheckedDevice> m_offer;
    QString m_question;
    QTimer *m_pause;
    QTimer *m_offerDelay;
    int m_searches = 0;
    bool m_running = false;
};

#endif // BRELO_ADDRESSCHECK_H
