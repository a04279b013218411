#include "batch/batchrecord.h"

#include "batch/addressplan.h"

void BatchRecord::begin(const QVector<CheckedDevice> &commands)
{
    clear();
    m_devices = checkedDevicesOf(commands);
    for (int i = 0; i < m_devices.size(); ++i) {
        m_devices[i].taken = false;
        m_devices[i].seenAt.clear();
        m_index.insert(m_devices.at(i).mac, i);
    }
}

void BatchRecord::clear()
{
    m_devices.clear();
    m_index.clear();
    m_reasons.clear();
}

void BatchRecord::recordResend(const QVector<CheckedDevice> &devices)
{
    for (const CheckedDevice &device : devices) {
        const auto at = m_index.constFind(device.mac);
        if (at != m_index.constEnd()) {
            m_devices[at.value()].sent = device.sent;
        }
    }
}

void BatchRecord::recordSearch(const QVector<DeviceAddress> &found)
{
    ::recordSearch(m_devices, found);
}

void BatchRecord::recordCheck(const QVector<CheckedDevice> &checked)
{
    for (const CheckedDevice &device : checked) {
        if (!device.taken && contains(device.mac) && !isTaken(device.mac)) {
            m_reasons.insert(device.mac, checkOutcome(device));
        }
    }
}

bool BatchRecord::isTaken(const QString &mac) const
{
    const auto at = m_index.constFind(mac);
    return at != m_index.constEnd() && m_devices.at(at.value()).taken;
}

DeviceOutcome BatchRecord::outcome(const QString &mac) const
{
    if (isTaken(mac)) {
        return {QStringLiteral("已生效"), true};
    }
    return {m_reasons.value(mac), false};
}
