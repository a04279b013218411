#include "batch/planjudge.h"

#include "batch/addressplan.h"
#include "batch/planreader.h"

#include <QHash>
#include <QSet>
#include <QStringList>

namespace {

// Two lines that name the same thing: the first, and one more to point it at.
struct Pair
{
    int first = -1;
    int second = -1;

    void add(int line)
    {
        if (first < 0) {
            first = line;
        } else if (second < 0) {
            second = line;
        }
    }
    int other(int line) const { return line == first ? second : first; }
};

// What a line says before it is set against the others.
struct Reading
{
    int row = -1;
    bool dhcp = false;
    bool readable = false;
    quint32 address = 0;
    QString plain;
    bool unchanged = false;
    bool moves = false;
};

bool isDnsText(const QString &dns)
{
    for (const QChar c : dns) {
        if (!(c.isDigit() && c.unicode() < 128) && c != QLatin1Char('.') && c != QLatin1Char(';')) {
            return false;
        }
    }
    return true;
}

QString lineNumber(int line)
{
    return QString::number(line + 1);
}

} // namespace

QVector<JudgedLine> judgeAddressPlan(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table,
                                     const PlanDefaults &defaults)
{
    QHash<QString, int> rowOf;
    rowOf.reserve(table.size());
    QVector<QString> rowKeys(table.size());
    QVector<quint32> rowAddresses(table.size());
    QVector<bool> rowReadable(table.size());
    for (int row = 0; row < table.size(); ++row) {
        rowKeys[row] = macKey(table.at(row).mac);
        if (!rowKeys.at(row).isEmpty() && !rowOf.contains(rowKeys.at(row))) {
            rowOf.insert(rowKeys.at(row), row);
        }
        rowReadable[row] = parseAddress(table.at(row).ip, &rowAddresses[row]);
    }

    QVector<Reading> readings(lines.size());
    QHash<QString, Pair> linesOfMac;
    QHash<quint32, Pair> linesOfAddress;
    QSet<QString> moving;
    for (int i = 0; i < lines.size(); ++i) {
        const PlanLine &line = lines.at(i);
        Reading &reading = readings[i];
        if (line.macKey.isEmpty()) {
            continue;
        }
        linesOfMac[line.macKey].add(i);
        reading.row = rowOf.value(line.macKey, -1);
        reading.dhcp = line.address.compare(QLatin1String("DHCP"), Qt::CaseInsensitive) == 0;
        reading.readable = !reading.dhcp && parseAddress(line.address, &reading.address);
        reading.plain = reading.readable ? plainDecimalAddress(line.address) : line.address;
        if (reading.row >= 0) {
            const bool ownSettings = !line.netmask.isEmpty() || !line.gateway.isEmpty() || !line.dns.isEmpty();
            reading.unchanged = reading.readable && !ownSettings && rowReadable.at(reading.row)
                && reading.address == rowAddresses.at(reading.row);
            reading.moves = reading.dhcp || (reading.readable && !reading.unchanged);
        }
        if (reading.moves) {
            moving.insert(line.macKey);
        }
        if (reading.readable && !reading.unchanged) {
            linesOfAddress[reading.address].add(i);
        }
    }

    // What the devices that stay where they are hold; the first in table order is named.
    QHash<quint32, int> holders;
    for (int row = 0; row < table.size(); ++row) {
        if (rowReadable.at(row) && !moving.contains(rowKeys.at(row)) && !holders.contains(rowAddresses.at(row))) {
            holders.insert(rowAddresses.at(row), row);
        }
    }

    const QString defaultNetmask = plainDecimalAddress(defaults.netmask);
    const QString defaultGateway = plainDecimalAddress(defaults.gateway);
    const QString defaultDns = plainDecimalDns(defaults.dns.trimmed());
    QVector<JudgedLine> judged(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const PlanLine &line = lines.at(i);
        const Reading &reading = readings.at(i);
        JudgedLine &out = judged[i];
        out.mac = reading.row >= 0 ? table.at(reading.row).mac : line.mac;
        out.current = reading.row >= 0 ? table.at(reading.row).ip : QString();
        out.address = reading.dhcp ? QStringLiteral("DHCP") : reading.plain;
        const bool sendable = reading.dhcp || reading.readable;
        if (sendable) {
            out.dns = line.dns.isEmpty() ? defaultDns : plainDecimalDns(line.dns);
        }
        if (reading.readable) {
            out.netmask = line.netmask.isEmpty() ? defaultNetmask : plainDecimalAddress(line.netmask);
            out.gateway = line.gateway.isEmpty() ? defaultGateway : plainDecimalAddress(line.gateway);
        }

        const auto error = [&out](const QString &reason) {
            out.state = PlanState::Error;
            out.note = reason;
        };
        if (line.macKey.isEmpty()) {
            error(line.mac.isEmpty() ? QStringLiteral("没有MAC地址") : QStringLiteral("MAC地址 %1 无效").arg(line.mac));
            continue;
        }
        const Pair &sameMac = linesOfMac.value(line.macKey);
        if (sameMac.second >= 0) {
            error(QStringLiteral("MAC地址与第 %1 行相同").arg(lineNumber(sameMac.other(i))));
            continue;
        }
        if (line.address.isEmpty()) {
            out.state = PlanState::Empty;
            out.note = QStringLiteral("未填写新IP");
            continue;
        }
        if (!sendable) {
            error(QStringLiteral("新IP %1 无效").arg(line.address));
            continue;
        }
        if (reading.unchanged) {
            out.state = PlanState::Unchanged;
            out.note = QStringLiteral("地址不变");
            continue;
        }
        if (!isDnsText(line.dns)) {
            error(QStringLiteral("DNS %1 无效").arg(line.dns));
            continue;
        }
        if (reading.readable) {
            if (!isUsableDeviceAddress(out.address)) {
                error(QStringLiteral("IP地址 %1 不是可用的设备地址").arg(out.address));
                continue;
            }
            QVector<DeviceAddress> holder;
            const auto held = holders.constFind(reading.address);
            if (held != holders.constEnd() && rowKeys.at(held.value()) != line.macKey) {
                holder.append(table.at(held.value()));
            }
            QString refusal = addressPlanRefusal({out.address}, out.netmask, out.gateway, holder);
            if (refusal.isEmpty()) {
                refusal = gatewayRefusal(out.address, out.netmask, out.gateway);
            }
            const Pair &sameAddress = linesOfAddress.value(reading.address);
            if (refusal.isEmpty() && sameAddress.second >= 0) {
                refusal = QStringLiteral("IP地址 %1 与第 %2 行相同").arg(out.address, lineNumber(sameAddress.other(i)));
            }
            if (!refusal.isEmpty()) {
                error(refusal);
                continue;
            }
        }
        if (reading.row < 0) {
            out.state = PlanState::NotListed;
            out.note = QStringLiteral("不在设备列表中");
            continue;
        }
        out.state = PlanState::Sent;
        if (reading.readable && line.address != out.address) {
            // A device that reads a leading zero as octal would take another address.
            out.note = QStringLiteral("%1 按 %2 发送").arg(line.address, out.address);
        }
    }
    return judged;
}

PlanCounts planCounts(const QVector<JudgedLine> &judged)
{
    PlanCounts counts;
    counts.lines = judged.size();
    for (const JudgedLine &line : judged) {
        counts.sent += line.state == PlanState::Sent ? 1 : 0;
        counts.notListed += line.state == PlanState::NotListed ? 1 : 0;
        counts.errors += line.state == PlanState::Error ? 1 : 0;
    }
    return counts;
}

QString planSummary(const PlanCounts &counts)
{
    return QStringLiteral("共 %1 行: %2 台设备将修改, %3 行不在设备列表中, %4 行有错误")
        .arg(counts.lines)
        .arg(counts.sent)
        .arg(counts.notListed)
        .arg(counts.errors);
}

QVector<CheckedDevice> planCommands(const QVector<JudgedLine> &judged)
{
    QVector<CheckedDevice> devices;
    for (const JudgedLine &line : judged) {
        if (line.state != PlanState::Sent) {
            continue;
        }
        CheckedDevice device;
        device.mac = line.mac;
        device.dhcp = line.address == QLatin1String("DHCP");
        device.address = device.dhcp ? QString() : line.address;
        device.netmask = line.netmask;
        device.gateway = line.gateway;
        device.dns = line.dns;
        devices.append(device);
    }
    return devices;
}
