#ifndef BRELO_BATCHRECORD_H
#define BRELO_BATCHRECORD_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include "batch/checkeddevice.h"

struct DeviceAddress;

// An empty text shows no outcome.
struct DeviceOutcome
{
    QString text;
    // Counts as seen: the row shows it as a success.
    bool taken = false;
};

// The outcome of one batch IP change, device by device, kept across the check's rounds, resends
// and later searches until the next batch replaces it.
class BatchRecord
{
public:
    // A device planned twice is held with its last command.
    void begin(const QVector<CheckedDevice> &sends);
    void clear();
    bool isEmpty() const { return m_devices.isEmpty(); }
    // Null outside the batch.
    const CheckedDevice *device(const QString &mac) const;
    QSet<QString> macs() const;
    // In batch order.
    QVector<CheckedDevice> devices(const QSet<QString> &macs) const;

    // Where searches showed a device before no longer counts; whether the library took the command
    // does, at once.
    void recordSends(const QVector<CheckedDevice> &sends);
    void recordSearch(const QVector<DeviceAddress> &found);
    // The devices sent and not taken keep the outcome the check ended with.
    void recordCheck(const QSet<QString> &macs);

    // Taken; else a refused last command; else the outcome of the last check that ended about the
    // device since; else nothing.
    DeviceOutcome outcome(const QString &mac) const;

private:
    QVector<CheckedDevice> m_devices;
    QHash<QString, int> m_index;
    QHash<QString, DeviceOutcome> m_reasons;
};

#endif // BRELO_BATCHRECORD_H
