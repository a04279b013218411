#include "batch/addresscheck.h"

QStringList addressCheckReport(const AddressCheck &check, const QVector<DeviceAddress> &found)
{
    QStringList lines;
    int taken = 0;
    for (int i = 0; i < check.macs.size(); ++i) {
        const QString &mac = check.macs.at(i);
        if (!check.sent.value(i, true)) {
            lines.append(mac + QStringLiteral(" 未生效: 命令发送失败"));
            continue;
        }
        const QString planned = plainDecimalAddress(check.addresses.value(i));
        QString seenAt;
        bool seen = false;
        bool took = false;
        for (const DeviceAddress &device : found) {
            if (device.mac != mac) {
                continue;
            }
            if (plainDecimalAddress(device.ip) == planned) {
                took = true;
                break;
            }
            if (!seen) {
                seen = true;
                seenAt = device.ip;
            }
        }
        if (took) {
            ++taken;
        } else if (seen) {
            lines.append(mac + QStringLiteral(" 未生效: 搜索到的 IP 为 ") + seenAt);
        } else {
            lines.append(mac + QStringLiteral(" 未生效: 本次搜索未发现该设备"));
        }
    }
    lines.append(QStringLiteral("核对结果: %1 台设备中 %2 台已生效, %3 台未生效")
                     .arg(check.macs.size())
                     .arg(taken)
                     .arg(check.macs.size() - taken));
    return lines;
}
