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

// Follows the searches after a batch IP change in rounds, pausing between them for devices that
// are still restarting. A round checks a set of the record's devices; a resend starts the next.
class AddressCheck : public QObject
{
    Q_OBJECT

public:
    explicit AddressCheck(QObject *parent = nullptr);

    // A round has one search more than pauses at most.
    void setWaits(const QVector<int> &waitsMs);

    // The record starts when the commands go out, whether a check follows or not.
    void beginRecord(const QVector<CheckedDevice> &commands);
    // Checks every device of the record against the next search's end.
    void start();
    void startResend(const QVector<CheckedDevice> &devices);
    // Ends a running round without another line or search; the record stays.
    void cancel();
    void endRecord();
    // As endRecord, before a new batch's commands go out; a line names the devices the round still
    // waited for, which no search will judge now.
    void endForNewBatch();
    bool isRunning() const { return m_running; }
    bool hasRecord() const { return !m_record.isEmpty(); }

    // A search started by hand during a pause serves as the round's next search.
    void searchStarted();
    // found: the table's rows, in table order.
    void searchEnded(int result, const QVector<DeviceAddress> &found);

    // Nothing outside the batch, nor while a round still waits for the device.
    DeviceOutcome shownOutcome(const QString &mac) const;

signals:
    void message(const QString &text);
    // To be started exactly as the refresh button starts one.
    void searchWanted();
    void outcomesChanged();
    // Comes only after the end of the round's last search has been handled.
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
