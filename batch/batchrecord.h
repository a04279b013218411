#ifndef BRELO_BATCHRECORD_H
#define BRELO_BATCHRECORD_H

#include <QHash>
#include <QString>
#include <QVector>

#include "batch/checkeddevice.h"

struct DeviceAddress;

// A device's outcome as its rows show it; an empty text shows none.
struct DeviceOutcome
{
    QString text;
    bool taken = false;
};

// The outcome of one batch IP change, device by device, kept across the check's rounds, resends
// and any later search until the next batch replaces it.
class BatchRecord
{
public:
    // The batch's commands in batch order; a device planned twice is held with its last command.
    void begin(const QVector<CheckedDevice> &commands);
    void clear();
    bool isEmpty() const { return m_devices.isEmpty(); }
    bool contains(const QString &mac) const { return m_index.contains(mac); }

    // Devices were sent their planned command again; whether the library took it now counts.
    void recordResend(const QVector<CheckedDevice> &devices);
    // Any search since the batch that shows a device at its planned address makes it taken, for good.
    void recordSearch(const QVector<DeviceAddress> &found);
    // A check has ended about these devices: those not taken keep the reason it gave.
    void recordCheck(const QVector<CheckedDevice> &checked);

    bool isTaken(const QString &mac) const;
    // "已生效", the reason of the last check that ended about the device, or nothing: outside the
    // batch, or no check has ended about it yet.
    DeviceOutcome outcome(const QString &mac) const;

private:
    QVector<CheckedDevice> m_devices;
    QHash<QString, int> m_index;
    QHash<QString, QString> m_reasons;
};

#endif // BRELO_BATCHRECORD_H
