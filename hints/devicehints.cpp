#include "hints/devicehints.h"

#include "batch/addressplan.h"

#include <QHostAddress>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>

#include <algorithm>
#include <optional>
#include <utility>

namespace {

std::optional<QVector<DeviceHints::Network>> &injected()
{
    static std::optional<QVector<DeviceHints::Network>> networks;
    return networks;
}

quint32 maskOf(int prefix)
{
    return prefix <= 0 ? 0 : ~quint32(0) << (32 - qMin(prefix, 32));
}

// Beyond this many, the line names the count alone.
constexpr int ListedGone = 10;

} // namespace

namespace DeviceHints {

QVector<Network> localNetworks()
{
    if (injected()) {
        return *injected();
    }
    QVector<Network> networks;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const QNetworkInterface::InterfaceFlags flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning)
            || (flags & QNetworkInterface::IsLoopBack)) {
            continue;
        }
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            bool ipv4 = false;
            const quint32 address = entry.ip().toIPv4Address(&ipv4);
            if (!ipv4 || entry.ip().isLoopback()) {
                continue;
            }
            const int prefix = entry.prefixLength();
            const Network network {address, prefix < 0 || prefix > 32 ? 32 : prefix};
            const bool known = std::any_of(networks.cbegin(), networks.cend(), [&network](const Network &other) {
                return other.address == network.address && other.prefix == network.prefix;
            });
            if (!known) {
                networks.append(network);
            }
        }
    }
    return networks;
}

void injectNetworks(const QVector<Network> &networks)
{
    injected() = networks;
}

void clearInjectedNetworks()
{
    injected().reset();
}

QString networksText(const QVector<Network> &networks)
{
    if (networks.isEmpty()) {
        return QStringLiteral("无");
    }
    QStringList parts;
    for (const Network &network : networks) {
        parts.append(QHostAddress(network.address).toString() + QLatin1Char('/') + QString::number(network.prefix));
    }
    return parts.join(QStringLiteral(", "));
}

bool inNetworks(quint32 address, const QVector<Network> &networks)
{
    for (const Network &network : networks) {
        const quint32 mask = maskOf(network.prefix);
        if ((address & mask) == (network.address & mask)) {
            return true;
        }
    }
    return false;
}

bool isOwnAddress(quint32 address, const QVector<Network> &networks)
{
    for (const Network &network : networks) {
        if (network.address == address) {
            return true;
        }
    }
    return false;
}

bool planReachable(const QStringList &plan, const QString &netmask, const QVector<Network> &networks)
{
    // A netmask the batch would refuse anyway leaves only this PC's side to judge.
    quint32 deviceMask = 0;
    Batch::parseAddress(netmask, &deviceMask);
    for (const QString &text : plan) {
        quint32 address = 0;
        if (!Batch::parseAddress(text, &address)) {
            continue;
        }
        const bool reached = std::any_of(networks.cbegin(), networks.cend(), [&](const Network &network) {
            const quint32 mask = maskOf(network.prefix);
            return (address & mask) == (network.address & mask)
                && (address & deviceMask) == (network.address & deviceMask);
        });
        if (!reached) {
            return false;
        }
    }
    return true;
}

int reachablePrefix(quint32 address, const QVector<Network> &networks)
{
    int longest = -1;
    for (const Network &network : networks) {
        const quint32 mask = maskOf(network.prefix);
        if ((address & mask) != (network.address & mask)) {
            continue;
        }
        // The device's subnet holds this PC's address while the mask covers only the bits they share.
        const quint32 differing = address ^ network.address;
        int shared = 0;
        while (shared < 32 && !(differing & (0x80000000u >> shared))) {
            ++shared;
        }
        longest = qMax(longest, shared);
    }
    return longest;
}

bool addHolder(AddressHolders &holders, quint32 address, const QString &mac)
{
    const auto found = holders.byAddress.find(address);
    if (found == holders.byAddress.end()) {
        holders.byAddress.insert(address, {mac, {}});
        return false;
    }
    AddressHolders::Holder &holder = found.value();
    if (holder.firstMac == mac || holder.others.contains(mac)) {
        return false;
    }
    holder.others.insert(mac);
    return holder.others.size() == 1;
}

int devicesAt(const AddressHolders &holders, quint32 address)
{
    const auto found = holders.byAddress.constFind(address);
    return found == holders.byAddress.constEnd() ? 0 : 1 + found.value().others.size();
}

QStringList markLines(int marks, int devicesThere, const QString &ip, const QVector<Network> &networks)
{
    QStringList lines;
    if (marks & Conflict) {
        lines.append(QStringLiteral("IP地址冲突: 另有 %1 台设备使用 %2").arg(devicesThere - 1).arg(ip));
    }
    if (marks & OwnAddress) {
        lines.append(QStringLiteral("IP地址与本机相同"));
    }
    if (marks & Unreachable) {
        lines.append(QStringLiteral("不在本机网段 (本机: %1)").arg(networksText(networks)));
    }
    if (marks & New) {
        lines.append(QStringLiteral("新设备"));
    }
    return lines;
}

QString comparisonLine(const QVector<DeviceAddress> &previous, const QVector<DeviceAddress> &now)
{
    // A device that answered at two addresses is where it answered last.
    QHash<QString, QString> lastNow;
    lastNow.reserve(now.size());
    for (const DeviceAddress &device : now) {
        if (!device.mac.isEmpty()) {
            lastNow.insert(device.mac, device.ip);
        }
    }
    QHash<QString, QString> lastBefore;
    QStringList order;
    lastBefore.reserve(previous.size());
    for (const DeviceAddress &device : previous) {
        if (device.mac.isEmpty()) {
            continue;
        }
        if (!lastBefore.contains(device.mac)) {
            order.append(device.mac);
        }
        lastBefore.insert(device.mac, device.ip);
    }

    int added = 0;
    for (auto it = lastNow.cbegin(); it != lastNow.cend(); ++it) {
        added += lastBefore.contains(it.key()) ? 0 : 1;
    }
    QStringList gone;
    int moved = 0;
    for (const QString &mac : std::as_const(order)) {
        const auto found = lastNow.constFind(mac);
        if (found == lastNow.constEnd()) {
            gone.append(mac);
        } else if (found.value() != lastBefore.value(mac)) {
            ++moved;
        }
    }

    QString line = QStringLiteral("与上次搜索相比: 新增 %1 台, %2 台没有应答").arg(added).arg(gone.size());
    if (!gone.isEmpty()) {
        QStringList listed;
        for (int i = 0; i < gone.size() && i < ListedGone; ++i) {
            listed.append(QStringLiteral("%1 (%2)").arg(gone.at(i), lastBefore.value(gone.at(i))));
        }
        line += QStringLiteral(": ") + listed.join(QStringLiteral(", "));
        if (gone.size() > ListedGone) {
            line += QStringLiteral(" 等 %1 台").arg(gone.size());
        }
    }
    if (moved > 0) {
        line += QStringLiteral("; %1 台地址已变").arg(moved);
    }
    return line;
}

} // namespace DeviceHints
