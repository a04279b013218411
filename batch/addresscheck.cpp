#include "batch/addresscheck.h"

#include "app/messagebox.h"
#include "batch/devicecommand.h"
#include "sdk/VSDevNetSDK.h"

#include <QBrush>
#include <QColor>
#include <QHash>
#include <QSet>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <utility>

QVector<CheckedDevice> checkedDevicesOf(const QVector<CheckedDevice> &commands)
{
    QVector<CheckedDevice> devices;
    QHash<QString, int> index;
    for (const CheckedDevice &command : commands) {
        const auto found = index.constFind(command.mac);
        if (found != index.constEnd()) {
            devices[found.value()] = command;
        } else {
            index.insert(command.mac, devices.size());
            devices.append(command);
        }
    }
    return devices;
}

void recordSearch(QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &found)
{
    QHash<QString, int> index;
    for (int i = 0; i < devices.size(); ++i) {
        index.insert(devices.at(i).mac, i);
    }
    // A device may answer more than once in a search; any answer at its address counts.
    QSet<int> seenHere;
    for (const DeviceAddress &row : found) {
        const auto at = index.constFind(row.mac);
        if (at == index.constEnd()) {
            continue;
        }
        CheckedDevice &device = devices[at.value()];
        if (!device.sent) {
            continue;
        }
        if (plainDecimalAddress(row.ip) == device.address) {
            device.taken = true;
        } else if (!seenHere.contains(at.value())) {
            seenHere.insert(at.value());
            device.seenAt = row.ip;
        }
    }
}

int waitingCount(const QVector<CheckedDevice> &devices)
{
    return int(std::count_if(devices.cbegin(), devices.cend(),
                             [](const CheckedDevice &device) { return device.sent && !device.taken; }));
}

int takenCount(const QVector<CheckedDevice> &devices)
{
    return int(
        std::count_if(devices.cbegin(), devices.cend(), [](const CheckedDevice &device) { return device.taken; }));
}

QString checkOutcome(const CheckedDevice &device)
{
    if (device.taken) {
        return QStringLiteral("已生效");
    }
    if (!device.sent) {
        return QStringLiteral("未生效: 命令发送失败");
    }
    if (!device.seenAt.isEmpty()) {
        return QStringLiteral("未生效: 搜索到的 IP 为 ") + device.seenAt;
    }
    return QStringLiteral("未生效: 本次搜索未发现该设备");
}

QStringList checkReport(const QVector<CheckedDevice> &devices)
{
    QStringList lines;
    for (const CheckedDevice &device : devices) {
        if (!device.taken) {
            lines.append(device.mac + QLatin1Char(' ') + checkOutcome(device));
        }
    }
    const int taken = takenCount(devices);
    lines.append(QStringLiteral("核对结果: %1 台设备中 %2 台已生效, %3 台未生效")
                     .arg(devices.size())
                     .arg(taken)
                     .arg(devices.size() - taken));
    return lines;
}

QVector<DeviceAddress> tableDevices(const QTableWidget *table)
{
    QVector<DeviceAddress> devices;
    devices.reserve(table->rowCount());
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *mac = table->item(row, 5);
        const QTableWidgetItem *ip = table->item(row, 2);
        if (mac && ip) {
            devices.append({mac->text(), ip->text()});
        }
    }
    return devices;
}

namespace {

// Every row of a checked device shows its outcome; a device no search showed has no row.
void markRows(QTableWidget *table, const QVector<CheckedDevice> &devices)
{
    QHash<QString, const CheckedDevice *> byMac;
    for (const CheckedDevice &device : devices) {
        byMac.insert(device.mac, &device);
    }
    const QBrush taken(QColor(0xd4, 0xf4, 0xd4));
    const QBrush notTaken(QColor(0xf8, 0xd4, 0xd4));
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *mac = table->item(row, 5);
        const CheckedDevice *device = mac ? byMac.value(mac->text()) : nullptr;
        if (!device) {
            continue;
        }
        const QString outcome = checkOutcome(*device);
        for (int column = 0; column < table->columnCount(); ++column) {
            if (QTableWidgetItem *item = table->item(row, column)) {
                item->setToolTip(outcome);
                item->setBackground(device->taken ? taken : notTaken);
            }
        }
    }
}

} // namespace

AddressCheck::AddressCheck(QObject *parent)
    : QObject(parent)
    , m_waits({3000, 10000, 30000})
    , m_pause(new QTimer(this))
{
    m_pause->setSingleShot(true);
    connect(m_pause, &QTimer::timeout, this, &AddressCheck::searchWanted);
}

void AddressCheck::setWaits(const QVector<int> &waitsMs)
{
    m_waits = waitsMs;
}

void AddressCheck::start(const QVector<CheckedDevice> &commands)
{
    m_pause->stop();
    m_devices = checkedDevicesOf(commands);
    m_searches = 0;
    m_running = true;
}

void AddressCheck::cancel()
{
    m_pause->stop();
    m_running = false;
    m_devices.clear();
}

void AddressCheck::searchStarted()
{
    m_pause->stop();
}

void AddressCheck::searchEnded(int result, QTableWidget *table)
{
    if (!m_running) {
        return;
    }
    m_pause->stop();
    // A failed search says nothing about the devices; its own line tells what happened.
    if (result < 0) {
        cancel();
        return;
    }
    ++m_searches;
    recordSearch(m_devices, tableDevices(table));
    const int waiting = waitingCount(m_devices);
    if (waiting > 0 && m_searches <= m_waits.size()) {
        const int waitMs = m_waits.at(m_searches - 1);
        emit message(QStringLiteral("核对中: %1 台设备中 %2 台已生效, %3 秒后再次搜索其余 %4 台!")
                         .arg(m_devices.size())
                         .arg(takenCount(m_devices))
                         .arg((waitMs + 999) / 1000)
                         .arg(waiting));
        m_pause->start(waitMs);
        return;
    }
    finish(table);
}

void AddressCheck::finish(QTableWidget *table)
{
    m_running = false;
    const QVector<CheckedDevice> devices = std::exchange(m_devices, {});
    for (const QString &line : checkReport(devices)) {
        emit message(line);
    }
    markRows(table, devices);

    QVector<CheckedDevice> left;
    for (const CheckedDevice &device : devices) {
        if (!device.taken) {
            left.append(device);
        }
    }
    if (left.isEmpty()) {
        return;
    }
    const int taken = devices.size() - left.size();
    const QString question =
        QStringLiteral("核对结果: %1 台设备中 %2 台已生效, %3 台未生效! 需要向未生效的 %3 台设备重新发送吗？")
            .arg(devices.size())
            .arg(taken)
            .arg(left.size());
    if (MessageBox::question(question) == QMessageBox::Ok) {
        resend(left, table);
    }
}

void AddressCheck::resend(QVector<CheckedDevice> devices, QTableWidget *table)
{
    // Another device may have come up on one of these addresses since the batch was planned.
    QSet<QString> moving;
    QStringList plan;
    for (const CheckedDevice &device : std::as_const(devices)) {
        moving.insert(device.mac);
        plan.append(device.address);
    }
    QVector<DeviceAddress> others;
    for (const DeviceAddress &device : tableDevices(table)) {
        if (!moving.contains(device.mac)) {
            others.append(device);
        }
    }
    const CheckedDevice &first = devices.constFirst();
    const QString refusal = addressPlanRefusal(plan, first.netmask, first.gateway, others);
    if (!refusal.isEmpty()) {
        MessageBox::information(refusal);
        emit message(refusal + QLatin1Char('!'));
        return;
    }

    for (CheckedDevice &device : devices) {
        const QByteArray command =
            ipConfigCommand(device.mac, 0, device.address, device.netmask, device.gateway, device.dns);
        const int result = vsnet_send_json_msg("255.255.255.255", command.constData());
        emit message(ipCommandLogLine(device.mac, device.address, result));
        device.sent = result >= 0;
        device.taken = false;
        device.seenAt.clear();
    }
    start(devices);
    emit searchWanted();
}
