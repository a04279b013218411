#ifndef BRELO_BATCHRECORD_H
#define BRELO_BATCHRECORD_H

#include <QHash>
#include <QSet>
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
    // The batch's commands went out, in batch order; a device planned twice is held with its last
    // command.
    void begin(const QVector<CheckedDevice> &sends);
    void clear();
    bool isEmpty() const { return m_devices.isEmpty(); }
    // The device as sent and as the searches since have shown it, or null outside the batch.
    const CheckedDevice *device(const QString &mac) const;
    // The MACs of the batch.
    QSet<QString> macs() const;
    // The devices of these MACs as the record holds them, in batch order.
    QVector<CheckedDevice> devices(const QSet<QString> &macs) const;

    // Devices were sent their planned command (again): whether the library took it now counts,
    // where searches showed them before no longer does.
    void recordSends(const QVector<CheckedDevice> &sends);
    // Any search since the batch that shows a device at its planned address makes it taken, for good.
    void recordSearch(const QVector<DeviceAddress> &found);
    // A check has ended about these devices: those not taken keep the reason it gave.
    void recordCheck(const QSet<QString> &macs);

    // "已生效", the reason of the last check that ended about the device, or nothing: outside the
    // batch, or no check has ended about it yet.
    DeviceOutcome outcome(const QString &mac) const;

private:
    QVector<CheckedDevice> m_devices;
    QHash<QString, int> m_index;
    QHash<QString, QString> m_reasons;
};

#endif // BRELO_BATCHRECORD_H
