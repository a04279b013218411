#include "devicenetwork.h"

#include "protocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QStringList>

#include <cmath>

namespace {

const char *const Firmwares[] = {"V2.1.0", "V2.1.3", "V2.2.0", "V3.0.1"};
const char *const Models[] = {"BR-CAM200", "BR-CAM210", "BR-EDGE3", "BR-BOX4", "BR-CAM200-IR"};

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

quint32 maskOf(int prefixLength)
{
    return prefixLength <= 0 ? 0 : ~quint32(0) << (32 - prefixLength);
}

constexpr quint64 FirstUnicast = 0x01000000; // 1.0.0.0
constexpr quint64 LastUnicast = 0xDFFFFFFE; // 223.255.255.254

// A start's place among the hosts of its subnet, counted from its first host; a start on the network
// address counts as its first host, one on the broadcast address as the first host of the next subnet.
quint64 hostPosition(const DeviceNetwork::Subnet &start)
{
    const quint64 hosts = (quint64(1) << (32 - start.prefixLength)) - 2;
    const quint64 offset = start.address - (start.address & maskOf(start.prefixLength));
    return offset == 0 ? 0 : qMin(offset - 1, hosts);
}

// The address n hosts after start, skipping the network and broadcast addresses of each subnet on the
// way; past 255.255.255.255 it goes on counting instead of wrapping to 0.0.0.0.
quint64 walkAddress(const DeviceNetwork::Subnet &start, quint64 n)
{
    const quint64 size = quint64(1) << (32 - start.prefixLength);
    const quint64 hosts = size - 2;
    const quint64 target = hostPosition(start) + n;
    return (start.address & maskOf(start.prefixLength)) + target / hosts * size + target % hosts + 1;
}

// Fills in an address of the subnet and the settings that come with it: netmask, and the subnet's
// first host as gateway and name server.
void placeIn(const DeviceNetwork::Subnet &subnet, DeviceNetwork::Device *device)
{
    const quint32 mask = maskOf(subnet.prefixLength);
    device->ip = DeviceNetwork::addressText(subnet.address);
    device->netmask = DeviceNetwork::addressText(mask);
    device->gateway = DeviceNetwork::addressText((subnet.address & mask) + 1);
    device->dns = device->gateway;
}

bool parseAddress(const QByteArray &text, quint32 *address)
{
    if (!VsnetProtocol::isDottedIPv4(text)) {
        return false;
    }
    *address = 0;
    for (const QByteArray &part : text.split('.')) {
        *address = *address << 8 | part.toUInt();
    }
    return true;
}

DeviceNetwork::Device makeDevice(int index, const DeviceNetwork::Options &options)
{
    DeviceNetwork::Device device;
    // Locally administered unicast, with high bytes so that signed-char slips show up. Seed 1 keeps
    // the prefix 02:B7:9E:00 of old; any other seed up to 30 bits flips bits of it no other seed flips.
    const quint32 flip = (options.seed ^ 1u) & quint32(DeviceNetwork::MaxSeed);
    const quint32 prefix = 0xB79E00u ^ (flip & 0xFFFFFFu);
    const unsigned char mac[VSNET_MAC_LEN] = {static_cast<unsigned char>(0x02 | (flip >> 24) << 2),
                                              static_cast<unsigned char>(prefix >> 16),
                                              static_cast<unsigned char>(prefix >> 8),
                                              static_cast<unsigned char>(prefix),
                                              static_cast<unsigned char>(index >> 8),
                                              static_cast<unsigned char>(index)};
    device.mac = VsnetProtocol::macText(mac);
    placeIn({DeviceNetwork::hostAfter(options.first, index), options.first.prefixLength}, &device);
    device.firmware = Firmwares[index % 4];
    device.model = Models[index % 5];
    if (index % 3 != 2) {
        QByteArray letters;
        quint32 code = quint32(index) * 2654435761u;
        for (int i = 0; i < 5; ++i) {
            letters += char('A' + code % 26);
            code /= 26;
        }
        device.p2pid = "BRL-" + number(index).rightJustified(9, '0') + '-' + letters;
    }
    if (index % 4 == 0) {
        device.hid = "HID" + QByteArray::number(quint32(index) * 2246822519u, 16).rightJustified(8, '0').toUpper();
    } else if (index % 4 == 2) {
        device.hid = QStringLiteral("门口%1").arg(index).toUtf8();
    }
    device.algorithm = 1 + index % 3;
    return device;
}

// Picks round(count * share) devices, spread evenly over the indexes.
bool isPicked(int index, double share)
{
    return std::floor((index + 1) * share + 1e-9) > std::floor(index * share + 1e-9);
}

// How many devices are picked before index.
int pickedBefore(int index, double share)
{
    return int(std::floor(index * share + 1e-9));
}

QByteArray padded(const QByteArray &text, int length)
{
    return text.leftJustified(length, '#', true);
}

// Texts from a command go into the journal with control characters escaped, so that each command
// stays one journal line whatever it carries.
QString journalText(const QByteArray &utf8)
{
    QString text;
    for (const QChar c : QString::fromUtf8(utf8)) {
        if (c.category() == QChar::Other_Control) {
            text += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        } else {
            text += c;
        }
    }
    return text;
}

QString refusal(const QByteArray &mac, const QString &cmd, const QString &reason)
{
    return QStringLiteral("refused %1 for %2: %3").arg(cmd, QString::fromLatin1(mac), reason);
}

// Reads a string member, or says in error why it cannot.
bool readString(const QJsonObject &command, const QString &key, QByteArray *out, QString *error)
{
    const QJsonValue value = command.value(key);
    if (value.isUndefined()) {
        *error = QStringLiteral("member \"%1\" is missing").arg(key);
        return false;
    }
    if (!value.isString()) {
        *error = QStringLiteral("member \"%1\" is not a string").arg(key);
        return false;
    }
    *out = value.toString().toUtf8();
    return true;
}

bool readAddress(const QJsonObject &command, const QString &key, QByteArray *out, QString *error)
{
    if (!readString(command, key, out, error)) {
        return false;
    }
    if (!VsnetProtocol::isDottedIPv4(*out)) {
        *error = QStringLiteral("member \"%1\" is not an IPv4 address").arg(key);
        return false;
    }
    return true;
}

// A JSON number without a fraction within [low, high]; true and false do not count.
bool readInt(const QJsonObject &command, const QString &key, int low, int high, int *out, QString *error)
{
    const QJsonValue value = command.value(key);
    if (value.isUndefined()) {
        *error = QStringLiteral("member \"%1\" is missing").arg(key);
        return false;
    }
    const double number = value.toDouble(-1.0);
    if (!value.isDouble() || number != std::floor(number) || number < low || number > high) {
        *error = QStringLiteral("member \"%1\" is not an integer %2..%3").arg(key).arg(low).arg(high);
        return false;
    }
    *out = int(number);
    return true;
}

} // namespace

DeviceNetwork::DeviceNetwork(const Options &options)
    : m_options(options)
    , m_random(options.seed)
    , m_leaseCapacity(int(qMin<qint64>(walkRoom(options.dhcpPool, true), MaxCount)))
{
    const int count = qBound(0, options.count, MaxCount);
    m_devices.reserve(count);
    m_indexOfMac.reserve(count);
    for (int i = 0; i < count; ++i) {
        Device device = makeDevice(i, options);
        if (isPicked(i, options.garbageShare)) {
            device.kind = AnswerKind::Garbage;
        } else if (options.oversize && i % 5 == 1) {
            device.kind = AnswerKind::AtSpan;
        } else if (options.oversize && i % 5 == 3) {
            device.kind = AnswerKind::BeyondSpan;
        }
        m_indexOfMac.insert(device.mac, i);
        m_devices.append(device);
    }
}

bool DeviceNetwork::parseSubnet(const QString &text, Subnet *subnet)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    bool ok = false;
    const int prefixLength = parts.size() == 2 ? parts.at(1).toInt(&ok) : 0;
    if (!ok || prefixLength < 1 || prefixLength > 30 || !parseAddress(parts.at(0).toLatin1(), &subnet->address)) {
        return false;
    }
    subnet->prefixLength = prefixLength;
    return true;
}

quint32 DeviceNetwork::hostAfter(const Subnet &start, int n)
{
    return quint32(walkAddress(start, quint64(n)));
}

qint64 DeviceNetwork::walkRoom(const Subnet &start, bool withinSubnet)
{
    if (walkAddress(start, 0) < FirstUnicast) {
        return 0;
    }
    // The walk only rises, and a count of 2^32 passes the end whatever the prefix length.
    quint64 low = 0;
    quint64 high = quint64(1) << 32;
    while (low < high) {
        const quint64 middle = (low + high + 1) / 2;
        if (walkAddress(start, middle - 1) <= LastUnicast) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    if (withinSubnet) {
        const quint64 hosts = (quint64(1) << (32 - start.prefixLength)) - 2;
        low = qMin(low, hosts - hostPosition(start));
    }
    return qint64(low);
}

QString DeviceNetwork::subnetText(const Subnet &subnet)
{
    return QStringLiteral("%1/%2").arg(QString::fromLatin1(addressText(subnet.address))).arg(subnet.prefixLength);
}

QByteArray DeviceNetwork::addressText(quint32 address)
{
    return number(address >> 24) + '.' + number(address >> 16 & 0xFF) + '.' + number(address >> 8 & 0xFF) + '.'
        + number(address & 0xFF);
}

bool DeviceNetwork::sharesSubnet(int index, quint32 address) const
{
    const Device &device = m_devices.at(index);
    quint32 ip = 0;
    quint32 mask = 0;
    return parseAddress(device.ip, &ip) && parseAddress(device.netmask, &mask) && (ip & mask) == (address & mask);
}

int DeviceNetwork::indexOfMac(const QByteArray &mac) const
{
    return m_indexOfMac.value(mac.toUpper(), -1);
}

QByteArray DeviceNetwork::versionText(const Device &device)
{
    return device.firmware + "-A" + number(device.algorithm);
}

QList<QByteArray> DeviceNetwork::answersFor(const QByteArray &probe, qint64 nowMs) const
{
    QList<QByteArray> answers;
    quint64 nonce = 0;
    if (!VsnetProtocol::decodeProbe(probe, &nonce)) {
        return answers;
    }
    answers.reserve(m_devices.size());
    for (int i = 0; i < m_devices.size(); ++i) {
        if (isUp(i, nowMs)) {
            answers.append(answerOf(i, nonce));
        }
    }
    return answers;
}

QByteArray DeviceNetwork::answerOf(int index, quint64 nonce) const
{
    const Device &device = m_devices.at(index);
    VsnetProtocol::AnswerFields fields;
    fields.mac = device.mac;
    fields.ip = device.ip;
    fields.p2pid = device.p2pid;
    fields.version = versionText(device);
    fields.model = device.model;
    fields.hid = device.hid;

    switch (device.kind) {
    case AnswerKind::Normal:
        break;
    case AnswerKind::Garbage:
        return garbageOf(index, nonce);
    case AnswerKind::AtSpan:
    case AnswerKind::BeyondSpan: {
        // At span: the longest texts that still leave room for the NUL. Beyond: one byte more, and
        // for every second such device far more, so the whole datagram is too big as well.
        const int extra = device.kind == AnswerKind::AtSpan ? -1 : (index % 10 == 8 ? 1000 : 0);
        fields.ip = padded(fields.ip, VSNET_IP_LEN + extra);
        fields.p2pid = padded(fields.mac + fields.p2pid, VSNET_P2PID_LEN + extra);
        fields.version = padded(fields.version, VSNET_VERSION_LEN + extra);
        fields.model = padded(fields.model, VSNET_MODEL_LEN + extra);
        fields.hid = padded(fields.hid, VSNET_HID_LEN + extra);
        break;
    }
    }
    return VsnetProtocol::encodeAnswer(nonce, fields);
}

QByteArray DeviceNetwork::garbageOf(int index, quint64 nonce) const
{
    const Device &device = m_devices.at(index);
    VsnetProtocol::AnswerFields fields;
    fields.mac = device.mac;
    fields.ip = device.ip;
    fields.version = versionText(device);
    fields.model = device.model;
    const QByteArray valid = VsnetProtocol::encodeAnswer(nonce, fields);

    // By the device's place among the garbage answers, not by its index: at a share such as 0.3
    // the picked indexes all end in the same few digits, and most kinds would never be sent.
    switch (pickedBefore(index, m_options.garbageShare) % 10) {
    case 0: {
        QRandomGenerator random(m_options.seed ^ quint32(index));
        QByteArray noise(200, Qt::Uninitialized);
        for (char &c : noise) {
            c = char(random.bounded(256));
        }
        return noise;
    }
    case 1:
        return valid.left(valid.indexOf("ip=") + 5);
    case 2:
        return VsnetProtocol::encodeAnswer(nonce + 1, fields);
    case 3:
        return QByteArray(valid).replace("mac=" + device.mac + '\n', QByteArray());
    case 4:
        return QByteArray(valid).replace("mac=" + device.mac, "mac=" + device.mac.left(15) + "G0");
    case 5:
        return QByteArray(valid).replace("model=", QByteArray("model=\0", 7));
    case 6:
        return valid + "ip=10.0.0.1\n";
    case 7:
        return valid + "no separator here\n";
    case 8:
        return QByteArray();
    default:
        return VsnetProtocol::AnswerMagic + QByteArray("\nmac=") + device.mac + '\n';
    }
}

QString DeviceNetwork::applyCommand(const QByteArray &datagram, qint64 nowMs)
{
    const bool drop = m_random.generateDouble() < m_options.dropCommands;
    const bool refuse = m_random.generateDouble() < m_options.refuseCommands;
    if (drop) {
        return QString();
    }
    if (refuse) {
        return QStringLiteral("refused: fault injection (%1 bytes)").arg(datagram.size());
    }

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(datagram, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return QStringLiteral("refused: malformed JSON (%1 at offset %2)")
            .arg(parseError.errorString())
            .arg(parseError.offset);
    }
    if (!document.isObject()) {
        return QStringLiteral("refused: malformed JSON (not an object)");
    }
    const QJsonObject command = document.object();

    QByteArray cmd;
    QString error;
    if (!readString(command, QStringLiteral("cmd"), &cmd, &error)) {
        return QStringLiteral("refused: ") + error;
    }
    const QString cmdText = journalText(cmd);
    if (cmd != "ip_config_bc" && cmd != "brl_algo_config") {
        return QStringLiteral("refused: unknown cmd \"%1\"").arg(cmdText);
    }
    QByteArray mac;
    if (!readString(command, QStringLiteral("mac"), &mac, &error)) {
        return QStringLiteral("refused %1: %2").arg(cmdText, error);
    }
    unsigned char macBytes[VSNET_MAC_LEN];
    if (!VsnetProtocol::parseMac(mac, macBytes)) {
        return QStringLiteral("refused %1: member \"mac\" is not a MAC address").arg(cmdText);
    }
    const int index = indexOfMac(VsnetProtocol::macText(macBytes));
    if (index < 0) {
        return QStringLiteral("refused %1: unknown MAC %2").arg(cmdText, QString::fromUtf8(mac));
    }
    Device *device = &m_devices[index];
    if (device->silentUntilMs > nowMs) {
        return refusal(device->mac, cmdText, QStringLiteral("device is rebooting"));
    }
    return cmd == "ip_config_bc" ? applyIpConfig(command, device, nowMs) : applyAlgoConfig(command, device, nowMs);
}

QString DeviceNetwork::applyIpConfig(const QJsonObject &command, Device *device, qint64 nowMs)
{
    const QString cmd = QStringLiteral("ip_config_bc");
    QByteArray dev;
    QString error;
    int dhcp = 0;
    if (!readString(command, QStringLiteral("dev"), &dev, &error)
        || !readInt(command, QStringLiteral("dhcp"), 0, 1, &dhcp, &error)) {
        return refusal(device->mac, cmd, error);
    }
    QByteArray dns;
    const bool hasDns = command.contains(QStringLiteral("dns"));
    if (hasDns && !readString(command, QStringLiteral("dns"), &dns, &error)) {
        return refusal(device->mac, cmd, error);
    }

    QString line;
    if (dhcp) {
        if (device->lease < 0 && m_leases < m_leaseCapacity) {
            device->lease = m_leases++;
        }
        if (device->lease < 0) {
            line = QStringLiteral("applied ip_config_bc to %1: %2 dhcp, no lease: the pool %3 has run dry, keeps ip %4")
                       .arg(QString::fromLatin1(device->mac), journalText(dev), subnetText(m_options.dhcpPool),
                            QString::fromLatin1(device->ip));
        } else {
            // Renewing keeps the lease a device holds, and the settings that came with it.
            const quint32 leased = hostAfter(m_options.dhcpPool, device->lease);
            if (!device->dhcp || device->ip != addressText(leased)) {
                placeIn({leased, m_options.dhcpPool.prefixLength}, device);
            }
            line = QStringLiteral("applied ip_config_bc to %1: %2 dhcp lease %3")
                       .arg(QString::fromLatin1(device->mac), journalText(dev), QString::fromLatin1(device->ip));
        }
        device->dhcp = true;
    } else {
        QByteArray ip;
        QByteArray netmask;
        QByteArray gateway;
        if (!readAddress(command, QStringLiteral("ip"), &ip, &error)
            || !readAddress(command, QStringLiteral("netmask"), &netmask, &error)
            || !readAddress(command, QStringLiteral("gateway"), &gateway, &error)) {
            return refusal(device->mac, cmd, error);
        }
        device->dhcp = false;
        device->ip = ip;
        device->netmask = netmask;
        device->gateway = gateway;
        line = QStringLiteral("applied ip_config_bc to %1: %2 static ip %3 netmask %4 gateway %5")
                   .arg(QString::fromLatin1(device->mac), journalText(dev), QString::fromLatin1(ip),
                        QString::fromLatin1(netmask), QString::fromLatin1(gateway));
    }
    if (hasDns) {
        device->dns = dns;
        line += QStringLiteral(" dns %1").arg(journalText(dns));
    }
    device->rebindingUntilMs = nowMs + m_options.applyMs;
    return line;
}

QString DeviceNetwork::applyAlgoConfig(const QJsonObject &command, Device *device, qint64 nowMs)
{
    int algorithm = 0;
    int reboot = 0;
    QString error;
    if (!readInt(command, QStringLiteral("brl_algo_type"), 1, 3, &algorithm, &error)
        || !readInt(command, QStringLiteral("brl_reboot"), 0, 1, &reboot, &error)) {
        return refusal(device->mac, QStringLiteral("brl_algo_config"), error);
    }
    device->algorithm = algorithm;
    if (reboot) {
        device->silentUntilMs = nowMs + m_options.rebootMs;
    }
    return QStringLiteral("applied brl_algo_config to %1: algorithm %2, %3")
        .arg(QString::fromLatin1(device->mac))
        .arg(algorithm)
        .arg(reboot ? QStringLiteral("rebooting for %1 ms").arg(m_options.rebootMs) : QStringLiteral("no reboot"));
}
