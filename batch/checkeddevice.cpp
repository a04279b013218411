#include "batch/checkeddevice.h"

#include "batch/addressplan.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <iterator>

namespace Batch {

namespace {

constexpr int MaxMacsNamed = 10;

// A DHCP client that no server answered shows a link-local address, or none.
bool isLease(const QString &ip)
{
    quint32 address = 0;
    return parseAddress(ip, &address) && address != 0 && (address >> 16) != 0xa9fe;
}

} // namespace

void noteAddressesBefore(QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &table)
{
    QHash<QString, QString> before;
    for (const DeviceAddress &row : table) {
        if (!before.contains(row.mac)) {
            before.insert(row.mac, plainDecimalAddress(row.ip));
        }
    }
    for (CheckedDevice &device : devices) {
        if (device.dhcp) {
            device.addressBefore = before.value(device.mac);
        }
    }
}

void updateFromSearch(QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &found)
{
    QHash<QString, int> index;
    for (int i = 0; i < devices.size(); ++i) {
        index.insert(devices.at(i).mac, i);
    }
    QSet<int> seenHere;
    for (const DeviceAddress &row : found) {
        const auto at = index.constFind(row.mac);
        if (at == index.constEnd()) {
            continue;
        }
        CheckedDevice &device = devices[at.value()];
        const QString shown = plainDecimalAddress(row.ip);
        if (device.dhcp && isLease(row.ip) && shown != device.addressBefore) {
            device.taken = true;
            device.takenAt = row.ip;
        } else if (!device.dhcp && shown == device.address) {
            device.taken = true;
        } else if (!seenHere.contains(at.value())) {
            seenHere.insert(at.value());
            device.seenAt = row.ip;
        }
    }
}

bool isWaitedFor(const CheckedDevice &device)
{
    return device.sent && !device.taken;
}

int waitingCount(const QVector<CheckedDevice> &devices)
{
    return int(std::count_if(devices.cbegin(), devices.cend(), isWaitedFor));
}

int takenCount(const QVector<CheckedDevice> &devices)
{
    return int(
        std::count_if(devices.cbegin(), devices.cend(), [](const CheckedDevice &device) { return device.taken; }));
}

bool keptAddressBefore(const CheckedDevice &device)
{
    // One that had no lease before and still has none got none.
    return device.dhcp && device.sent && !device.taken && isLease(device.seenAt)
        && plainDecimalAddress(device.seenAt) == device.addressBefore;
}

bool countsAsSeen(const CheckedDevice &device)
{
    return device.taken || keptAddressBefore(device);
}

int unsentCount(const QVector<CheckedDevice> &devices)
{
    return int(std::count_if(devices.cbegin(), devices.cend(),
                             [](const CheckedDevice &device) { return !device.sent && !device.taken; }));
}

int nextCheckWait(const QVector<CheckedDevice> &devices, const QVector<int> &waitsMs, int searches)
{
    if (waitingCount(devices) == 0 || searches < 1 || searches > waitsMs.size()) {
        return -1;
    }
    return waitsMs.at(searches - 1);
}

QString checkProgress(const QVector<CheckedDevice> &devices, int waitMs)
{
    const int unsent = unsentCount(devices);
    const QString line = unsent > 0
        ? QStringLiteral("核对中: %1 台设备中 %2 台已生效, %5 台命令发送失败, %3 秒后再次搜索其余 %4 台!")
        : QStringLiteral("核对中: %1 台设备中 %2 台已生效, %3 秒后再次搜索其余 %4 台!");
    const QString filled =
        line.arg(devices.size()).arg(takenCount(devices)).arg((waitMs + 999) / 1000).arg(waitingCount(devices));
    return unsent > 0 ? filled.arg(unsent) : filled;
}

QString checkAborted(const QVector<CheckedDevice> &devices)
{
    const int unsent = unsentCount(devices);
    if (unsent > 0) {
        return QStringLiteral("核对中止: 搜索失败, %1 台设备未能核对, %2 台命令发送失败!")
            .arg(waitingCount(devices))
            .arg(unsent);
    }
    return QStringLiteral("核对中止: 搜索失败, %1 台设备未能核对!").arg(waitingCount(devices));
}

QString checkSuperseded(const QVector<CheckedDevice> &devices)
{
    QStringList macs;
    for (const CheckedDevice &device : devices) {
        if (isWaitedFor(device)) {
            macs.append(device.mac);
        }
    }
    QString named = macs.mid(0, MaxMacsNamed).join(QStringLiteral(", "));
    if (macs.size() > MaxMacsNamed) {
        named += QStringLiteral(" 等");
    }
    return QStringLiteral("核对中止: %1 台设备未核对 (新的批量修改已发出): %2")
        .arg(QString::number(macs.size()), named);
}

QString checkOutcome(const CheckedDevice &device)
{
    if (device.taken) {
        return device.dhcp ? QStringLiteral("DHCP: ") + device.takenAt : QStringLiteral("已生效");
    }
    if (!device.sent) {
        return QStringLiteral("未生效: 命令发送失败");
    }
    if (device.dhcp) {
        if (device.seenAt.isEmpty()) {
            return QStringLiteral("未生效: 没有再出现");
        }
        return keptAddressBefore(device) ? QStringLiteral("DHCP: 地址未变 ") + device.seenAt
                                         : QStringLiteral("未生效: 没有获得DHCP地址 (%1)").arg(device.seenAt);
    }
    if (!device.seenAt.isEmpty()) {
        return QStringLiteral("未生效: 搜索到的 IP 为 ") + device.seenAt;
    }
    return QStringLiteral("未生效: 本次搜索未发现该设备");
}

QString checkSummary(const QVector<CheckedDevice> &devices)
{
    const int seen = int(std::count_if(devices.cbegin(), devices.cend(), countsAsSeen));
    return QStringLiteral("核对结果: %1 台设备中 %2 台已生效, %3 台未生效")
        .arg(devices.size())
        .arg(seen)
        .arg(devices.size() - seen);
}

QStringList checkReport(const QVector<CheckedDevice> &devices)
{
    QStringList lines;
    for (const CheckedDevice &device : devices) {
        if (!device.taken || device.dhcp) {
            lines.append(device.mac + QLatin1Char(' ') + checkOutcome(device));
        }
    }
    lines.append(checkSummary(devices));
    return lines;
}

QVector<CheckedDevice> devicesToResend(const QVector<CheckedDevice> &devices)
{
    QVector<CheckedDevice> left;
    std::copy_if(devices.cbegin(), devices.cend(), std::back_inserter(left),
                 [](const CheckedDevice &device) { return !countsAsSeen(device); });
    return left;
}

QString resendQuestion(const QVector<CheckedDevice> &devices)
{
    const int left = devicesToResend(devices).size();
    return QStringLiteral("%1! 需要向未生效的 %2 台设备重新发送吗？").arg(checkSummary(devices), QString::number(left));
}

} // namespace Batch
