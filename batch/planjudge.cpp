#include "batch/planjudge.h"

#include "batch/addressplan.h"
#include "batch/planreader.h"
#include "hints/devicehints.h"

#include <QHash>
#include <QSet>
#include <QStringList>

namespace Batch {

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

PlanSetting addressSetting(const QString &text)
{
    PlanSetting setting;
    setting.valid = parseAddress(text, &setting.value);
    setting.text = setting.valid ? dottedAddress(setting.value) : text;
    return setting;
}

PlanSetting netmaskSetting(const QString &text)
{
    PlanSetting setting = addressSetting(text);
    const int prefix = setting.valid ? prefixLength(setting.value) : -1;
    setting.valid = prefix >= 1 && prefix <= 30;
    return setting;
}

// Addresses a device can use, separated by ",", ";" or spaces; they go out joined by ";".
PlanSetting dnsSetting(const QString &text)
{
    PlanSetting setting;
    setting.text = text;
    QStringList plain;
    int from = 0;
    for (int at = 0; at <= text.size(); ++at) {
        if (at < text.size() && text.at(at) != QLatin1Char(',') && text.at(at) != QLatin1Char(';')
            && !text.at(at).isSpace()) {
            continue;
        }
        if (at > from) {
            quint32 address = 0;
            const QString part = text.mid(from, at - from);
            if (!parseAddress(part, &address) || !isUsableDeviceAddress(dottedAddress(address))) {
                return setting;
            }
            plain.append(dottedAddress(address));
        }
        from = at + 1;
    }
    setting.valid = !plain.isEmpty();
    setting.text = plain.join(QLatin1Char(';'));
    return setting;
}

// A line's warnings, side by side.
QString withNote(const QString &note, const QString &more)
{
    return note.isEmpty() ? more : note + QStringLiteral("; ") + more;
}

QString withCutNote(const QString &note)
{
    return withNote(note, QStringLiteral("单元格过长: 只读了前 %1 个字符").arg(MaxPlanCellLength));
}

// Why the address cannot go out in the subnet of mask with gateway, as a batch would word it.
QString subnetRefusal(const PreparedLine &line, const PlanSetting &mask, const PlanSetting &gateway)
{
    const QString address = line.verdict.address;
    if (!mask.valid) {
        return QStringLiteral("子网掩码 %1 无效").arg(mask.text);
    }
    const int prefix = prefixLength(mask.value);
    const quint32 network = line.address & mask.value;
    const quint32 broadcast = network | ~mask.value;
    if (line.address == network || line.address == broadcast) {
        return QStringLiteral("IP地址 %1 不是子网 %2/%3 内可分配的主机地址")
            .arg(address, dottedAddress(network))
            .arg(prefix);
    }
    if (gateway.valid && gateway.value == line.address) {
        return QStringLiteral("IP地址 %1 与默认网关相同").arg(address);
    }
    if (!line.holder.isEmpty()) {
        return QStringLiteral("IP地址 %1 已被设备 %2 使用").arg(address, line.holder);
    }
    if (!gateway.valid) {
        return QStringLiteral("默认网关 %1 无效").arg(gateway.text);
    }
    if ((gateway.value & mask.value) != network) {
        return QStringLiteral("默认网关 %1 不在子网 %2/%3 内").arg(gateway.text, dottedAddress(network)).arg(prefix);
    }
    // A slip in a per-line gateway that no device could route through.
    if (gateway.value == network || gateway.value == broadcast) {
        return QStringLiteral("默认网关 %1 是子网 %2/%3 的%4")
            .arg(gateway.text, dottedAddress(network))
            .arg(prefix)
            .arg(gateway.value == network ? QStringLiteral("网络地址") : QStringLiteral("广播地址"));
    }
    if (line.sameAddressRow > 0) {
        return QStringLiteral("IP地址 %1 与第 %2 行相同").arg(address).arg(line.sameAddressRow);
    }
    return {};
}

} // namespace

QVector<PreparedLine> preparePlan(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table,
                                  const QVector<DeviceHints::Network> &networks)
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
        reading.plain = reading.readable ? dottedAddress(reading.address) : line.address;
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

    // What the devices that stay where they are hold; the first in table order is named. The rows of a
    // device that moves leave under their own MAC texts, whatever notation the lines use.
    QSet<QString> leaving;
    for (int row = 0; row < table.size(); ++row) {
        if (moving.contains(rowKeys.at(row))) {
            leaving.insert(table.at(row).mac);
        }
    }
    const QHash<quint32, int> holders = addressHolders(table, leaving);

    QVector<PreparedLine> prepared(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        const PlanLine &line = lines.at(i);
        const Reading &reading = readings.at(i);
        PreparedLine &out = prepared[i];
        JudgedLine &verdict = out.verdict;
        verdict.row = line.row;
        verdict.mac = reading.row >= 0 ? table.at(reading.row).mac : line.mac;
        verdict.current = reading.row >= 0 ? table.at(reading.row).ip : QString();
        verdict.address = reading.dhcp ? QStringLiteral("DHCP") : reading.plain;
        out.cut = line.cut;

        const auto settle = [&out](PlanState state, const QString &note) {
            out.verdict.state = state;
            out.verdict.note = out.cut ? withCutNote(note) : note;
        };
        if (line.macKey.isEmpty()) {
            settle(PlanState::Error,
                   line.mac.isEmpty() ? QStringLiteral("没有MAC地址")
                                      : QStringLiteral("MAC地址 %1 无效").arg(line.mac));
            continue;
        }
        const Pair &sameMac = linesOfMac.value(line.macKey);
        if (sameMac.second >= 0) {
            settle(PlanState::Error, QStringLiteral("MAC地址与第 %1 行相同").arg(lines.at(sameMac.other(i)).row));
            continue;
        }
        if (line.address.isEmpty()) {
            settle(PlanState::Empty, QStringLiteral("未填写新IP"));
            continue;
        }
        if (!reading.dhcp && !reading.readable) {
            settle(PlanState::Error, QStringLiteral("新IP %1 无效").arg(line.address));
            continue;
        }
        if (reading.unchanged) {
            settle(PlanState::Unchanged, QStringLiteral("地址不变"));
            continue;
        }
        if (reading.readable && !isUsableDeviceAddress(verdict.address)) {
            settle(PlanState::Error, QStringLiteral("IP地址 %1 不是可用的设备地址").arg(verdict.address));
            continue;
        }
        if (!line.dns.isEmpty()) {
            out.dns = dnsSetting(line.dns);
            if (!out.dns.valid) {
                settle(PlanState::Error, QStringLiteral("DNS %1 无效").arg(line.dns));
                continue;
            }
        }
        out.fieldsDecide = true;
        out.dhcp = reading.dhcp;
        out.listed = reading.row >= 0;
        out.address = reading.address;
        if (!line.netmask.isEmpty()) {
            out.netmask = netmaskSetting(line.netmask);
        }
        if (!line.gateway.isEmpty()) {
            out.gateway = addressSetting(line.gateway);
        }
        if (reading.readable) {
            out.reachablePrefix = DeviceHints::reachablePrefix(reading.address, networks);
            const auto held = holders.constFind(reading.address);
            if (held != holders.constEnd() && rowKeys.at(held.value()) != line.macKey) {
                out.holder = table.at(held.value()).mac;
            }
            const Pair &sameAddress = linesOfAddress.value(reading.address);
            if (sameAddress.second >= 0) {
                out.sameAddressRow = lines.at(sameAddress.other(i)).row;
            }
            if (line.address != verdict.address) {
                // A device that reads a leading zero as octal would take another address.
                verdict.note = QStringLiteral("%1 按 %2 发送").arg(line.address, verdict.address);
            }
        }
    }
    return prepared;
}

QVector<JudgedLine> judgePreparedPlan(const QVector<PreparedLine> &prepared, const PlanDefaults &defaults)
{
    const PlanSetting netmask = netmaskSetting(defaults.netmask.trimmed());
    const PlanSetting gateway = addressSetting(defaults.gateway.trimmed());
    PlanSetting dns;
    if (!defaults.dns.trimmed().isEmpty()) {
        dns = dnsSetting(defaults.dns);
        dns.text = dns.valid ? dns.text : defaults.dns.trimmed();
    } else {
        dns.valid = true;
    }
    const int fieldPrefix = netmask.valid ? prefixLength(netmask.value) : -1;
    const QString notListed = QStringLiteral("不在设备列表中");
    const QString unreachable = QStringLiteral("不在本机网段");

    QVector<JudgedLine> judged;
    judged.reserve(prepared.size());
    for (const PreparedLine &line : prepared) {
        judged.append(line.verdict);
        if (!line.fieldsDecide) {
            continue;
        }
        JudgedLine &out = judged.last();
        const PlanSetting &lineDns = line.dns.text.isEmpty() ? dns : line.dns;
        const PlanSetting &lineNetmask = line.netmask.text.isEmpty() ? netmask : line.netmask;
        const PlanSetting &lineGateway = line.gateway.text.isEmpty() ? gateway : line.gateway;
        QString refusal;
        if (!lineDns.valid) {
            refusal = QStringLiteral("DNS %1 无效").arg(lineDns.text);
        } else if (!line.dhcp) {
            refusal = subnetRefusal(line, lineNetmask, lineGateway);
        }
        if (!refusal.isEmpty()) {
            out.state = PlanState::Error;
            out.note = line.cut ? withCutNote(refusal) : refusal;
            continue;
        }
        if (!line.listed) {
            out.state = PlanState::NotListed;
            out.note = line.cut ? withCutNote(notListed) : notListed;
            continue;
        }
        out.state = PlanState::Sent;
        out.dns = lineDns.text;
        if (!line.dhcp) {
            out.netmask = lineNetmask.text;
            out.gateway = lineGateway.text;
            const int prefix = line.netmask.text.isEmpty() ? fieldPrefix : prefixLength(line.netmask.value);
            if (prefix > line.reachablePrefix) {
                out.note = withNote(out.note, unreachable);
            }
        }
        if (line.cut) {
            out.note = withCutNote(out.note);
        }
    }
    return judged;
}

QVector<JudgedLine> judgeAddressPlan(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table,
                                     const PlanDefaults &defaults, const QVector<DeviceHints::Network> &networks)
{
    return judgePreparedPlan(preparePlan(lines, table, networks), defaults);
}

PlanCounts planCounts(const QVector<JudgedLine> &judged)
{
    PlanCounts counts;
    counts.lines = judged.size();
    for (const JudgedLine &line : judged) {
        counts.sent += line.state == PlanState::Sent ? 1 : 0;
        counts.unchanged += line.state == PlanState::Unchanged ? 1 : 0;
        counts.empty += line.state == PlanState::Empty ? 1 : 0;
        counts.notListed += line.state == PlanState::NotListed ? 1 : 0;
        counts.errors += line.state == PlanState::Error ? 1 : 0;
    }
    return counts;
}

QString planSummary(const PlanCounts &counts)
{
    return QStringLiteral("共 %1 行: %2 台设备将修改, %3 行地址不变, %4 行未填写新IP, %5 行不在设备列表中, %6 行有错误")
        .arg(counts.lines)
        .arg(counts.sent)
        .arg(counts.unchanged)
        .arg(counts.empty)
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

} // namespace Batch
