#include "batch/addressplan.h"

#include "batch/checkeddevice.h"

#include <QHash>
#include <QSet>

namespace Batch {

QStringList planAddresses(const QString &startIp, int count)
{
    int counter = startIp.split(QLatin1Char('.')).value(3).toInt();
    const QString prefix = startIp.left(startIp.lastIndexOf(QLatin1Char('.')) + 1);

    QStringList plan;
    plan.reserve(count);
    for (int i = 0; i < count; ++i) {
        plan.append(prefix + QString::number(counter));
        ++counter;
        if (counter >= 255) {
            counter = 254;
        }
    }
    return plan;
}

int distinctAddressCount(const QStringList &plan)
{
    return QSet<QString>(plan.constBegin(), plan.constEnd()).size();
}

bool isUsableDeviceAddress(const QString &ip)
{
    const int first = ip.left(ip.indexOf(QLatin1Char('.'))).toInt();
    return first != 0 && first != 127 && first < 224;
}

bool parseAddress(const QString &text, quint32 *address)
{
    // By hand rather than split: a pasted plan reads tens of thousands of addresses at a keystroke.
    quint32 value = 0;
    int parts = 0;
    int digits = 0;
    uint octet = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('.')) {
            if (digits == 0 || octet > 255 || ++parts == 4) {
                return false;
            }
            value = value << 8 | octet;
            digits = 0;
            octet = 0;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9') && digits < 3) {
            octet = octet * 10 + uint(c.unicode() - '0');
            ++digits;
        } else {
            return false;
        }
    }
    if (parts != 3 || digits == 0 || octet > 255) {
        return false;
    }
    *address = value << 8 | octet;
    return true;
}

QString dottedAddress(quint32 address)
{
    char text[16];
    char *end = text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const uint octet = address >> shift & 0xff;
        if (octet >= 100) {
            *end++ = char('0' + octet / 100);
        }
        if (octet >= 10) {
            *end++ = char('0' + octet / 10 % 10);
        }
        *end++ = char('0' + octet % 10);
        *end++ = '.';
    }
    return QString::fromLatin1(text, int(end - text) - 1);
}

int prefixLength(quint32 mask)
{
    const quint32 hosts = ~mask;
    if ((hosts & (hosts + 1)) != 0) {
        return -1;
    }
    int length = 0;
    while (length < 32 && (mask & (0x80000000u >> length))) {
        ++length;
    }
    return length;
}

QString plainDecimalAddress(const QString &text)
{
    quint32 address = 0;
    return parseAddress(text, &address) ? dottedAddress(address) : text;
}

QString plainDecimalDns(const QString &dns)
{
    QStringList parts = dns.split(QLatin1Char(';'));
    for (QString &part : parts) {
        part = plainDecimalAddress(part);
    }
    return parts.join(QLatin1Char(';'));
}

QHash<quint32, int> addressHolders(const QVector<DeviceAddress> &devices, const QSet<QString> &leaving)
{
    QHash<quint32, int> holders;
    holders.reserve(devices.size());
    for (int i = 0; i < devices.size(); ++i) {
        quint32 held = 0;
        if (parseAddress(devices.at(i).ip, &held) && !holders.contains(held) && !leaving.contains(devices.at(i).mac)) {
            holders.insert(held, i);
        }
    }
    return holders;
}

QString addressPlanRefusal(const QStringList &plan, const QString &netmask, const QString &gateway,
                           const QVector<DeviceAddress> &others)
{
    quint32 mask = 0;
    const int prefix = parseAddress(netmask, &mask) ? prefixLength(mask) : -1;
    if (prefix < 1 || prefix > 30) {
        return QStringLiteral("子网掩码 %1 无效").arg(plainDecimalAddress(netmask));
    }

    const int distinct = distinctAddressCount(plan);
    if (distinct < plan.size()) {
        return QStringLiteral("可分配的IP地址不足: 选中 %1 台设备, 从起始IP地址起只能分配 %2 个不重复的地址")
            .arg(plan.size())
            .arg(distinct);
    }

    QVector<quint32> addresses;
    addresses.reserve(plan.size());
    for (const QString &text : plan) {
        quint32 address = 0;
        parseAddress(text, &address);
        addresses.append(address);
    }
    if (addresses.isEmpty()) {
        return {};
    }

    // Counting up can leave the subnet, or land on its network or broadcast address.
    const quint32 network = addresses.first() & mask;
    const quint32 broadcast = network | ~mask;
    for (int i = 0; i < addresses.size(); ++i) {
        const quint32 address = addresses.at(i);
        if ((address & mask) != network || address == network || address == broadcast) {
            return QStringLiteral("IP地址 %1 不是子网 %2/%3 内可分配的主机地址")
                .arg(plan.at(i), dottedAddress(network))
                .arg(prefix);
        }
    }

    quint32 gatewayAddress = 0;
    if (parseAddress(gateway, &gatewayAddress)) {
        for (int i = 0; i < addresses.size(); ++i) {
            if (addresses.at(i) == gatewayAddress) {
                return QStringLiteral("IP地址 %1 与默认网关相同").arg(plan.at(i));
            }
        }
    }

    // One pass over the other devices, however large the plan; the first in table order is named.
    const QHash<quint32, int> holders = addressHolders(others);
    for (int i = 0; i < addresses.size(); ++i) {
        const auto holder = holders.constFind(addresses.at(i));
        if (holder != holders.constEnd()) {
            return QStringLiteral("IP地址 %1 已被设备 %2 使用").arg(plan.at(i), others.at(holder.value()).mac);
        }
    }
    return {};
}

QString sendRefusal(const QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &table)
{
    QSet<QString> moving;
    QStringList plan;
    const CheckedDevice *first = nullptr;
    bool oneSubnet = true;
    for (const CheckedDevice &device : devices) {
        moving.insert(device.mac);
        if (device.dhcp) {
            continue;
        }
        plan.append(device.address);
        if (!first) {
            first = &device;
        } else if (device.netmask != first->netmask || device.gateway != first->gateway) {
            oneSubnet = false;
        }
    }
    if (!first) {
        return {};
    }
    QVector<DeviceAddress> others;
    for (const DeviceAddress &row : table) {
        if (!moving.contains(row.mac)) {
            others.append(row);
        }
    }
    if (oneSubnet) {
        return addressPlanRefusal(plan, first->netmask, first->gateway, others);
    }

    const QHash<quint32, int> holders = addressHolders(others);
    QSet<quint32> planned;
    for (const CheckedDevice &device : devices) {
        quint32 address = 0;
        if (device.dhcp || !parseAddress(device.address, &address)) {
            continue;
        }
        if (planned.contains(address)) {
            return QStringLiteral("IP地址 %1 分配给了多台设备").arg(device.address);
        }
        planned.insert(address);
        QVector<DeviceAddress> holder;
        const auto held = holders.constFind(address);
        if (held != holders.constEnd()) {
            holder.append(others.at(held.value()));
        }
        const QString refusal = addressPlanRefusal({device.address}, device.netmask, device.gateway, holder);
        if (!refusal.isEmpty()) {
            return refusal;
        }
    }
    return {};
}

} // namespace Batch
