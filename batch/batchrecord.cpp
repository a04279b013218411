#include "batch/batchrecord.h"

#include "batch/addressplan.h"

#include <utility>

void BatchRecord::begin(const QVector<CheckedDevice> &sends)
{
    clear();
    for (const CheckedDevice &send : sends) {
        if (!m_index.contains(send.mac)) {
            m_index.insert(send.mac, m_devices.size());
            CheckedDevice device;
            device.mac = send.mac;
            m_devices.append(device);
        }
    }
    recordSends(sends);
}

void BatchRecord::clear()
{
    m_devices.clear();
    m_index.clear();
    m_reasons.clear();
}

const CheckedDevice *BatchRecord::device(const QString &mac) const
{
    const auto at = m_index.constFind(mac);
    return at == m_index.constEnd() ? nullptr : &m_devices.at(at.value());
}

QSet<QString> BatchRecord::macs() const
{
    QSet<QString> macs;
    for (const CheckedDevice &device : m_devices) {
        macs.insert(device.mac);
    }
    return macs;
}

QVector<CheckedDevice> BatchRecord::devices(const QSet<QString> &macs) const
{
    QVector<CheckedDevice> devices;
    for (const CheckedDevice &device : m_devices) {
        if (macs.contains(device.mac)) {
            devices.append(device);
        }
    }
    return devices;
}

void BatchRecord::recordSends(const QVector<CheckedDevice> &sends)
{
    for (const CheckedDevice &send : sends) {
        const auto at = m_index.constFind(send.mac);
        if (at == m_index.constEnd()) {
            continue;
        }
        CheckedDevice &device = m_devices[at.value()];
        // Taken is what a search showed, whatever the sends since.
        const bool taken = device.taken;
        const QString takenAt = device.takenAt;
        device = send;
        device.taken = taken;
        device.takenAt = takenAt;
        device.seenAt.clear();
        // A reason given before the refusal would show again once a later send goes out.
        if (!device.sent) {
            m_reasons.remove(device.mac);
        }
    }
}

void BatchRecord::recordSearch(const QVector<DeviceAddress> &found)
{
    Batch::updateFromSearch(m_devices, found);
}

void BatchRecord::recordCheck(const QSet<QString> &macs)
{
    for (const CheckedDevice &device : std::as_const(m_devices)) {
        if (Batch::isWaitedFor(device) && macs.contains(device.mac)) {
            m_reasons.insert(device.mac, {Batch::checkOutcome(device), Batch::keptAddressBefore(device)});
        }
    }
}

DeviceOutcome BatchRecord::outcome(const QString &mac) const
{
    const CheckedDevice *checked = device(mac);
    if (checked && (checked->taken || !checked->sent)) {
        return {Batch::checkOutcome(*checked), checked->taken};
    }
    return m_reasons.value(mac);
}
