#include "protocol.h"

#include <QList>

#include <cctype>
#include <cstring>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#endif

namespace VsnetProtocol {

const char DefaultBroadcast[] = "127.255.255.255";
const char ProbeMagic[] = "VSNET/1 PROBE ";
const char AnswerMagic[] = "VSNET/1 ANSWER ";

namespace {

constexpr int NonceDigits = 16;

QByteArray nonceText(quint64 nonce)
{
    return QByteArray::number(nonce, 16).rightJustified(NonceDigits, '0');
}

bool parseNonce(const QByteArray &text, quint64 *nonce)
{
    if (text.size() != NonceDigits) {
        return false;
    }
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    bool ok = false;
    *nonce = text.toULongLong(&ok, 16);
    return ok;
}

// The first line of datagram must be magic followed by a nonce; rest gets what follows that line.
bool parseHeader(const QByteArray &datagram, const char *magic, quint64 *nonce, QByteArray *rest)
{
    const int end = datagram.indexOf('\n');
    const QByteArray first = end < 0 ? datagram : datagram.left(end);
    if (!first.startsWith(magic)) {
        return false;
    }
    if (rest) {
        *rest = end < 0 ? QByteArray() : datagram.mid(end + 1);
    }
    return parseNonce(first.mid(int(std::strlen(magic))), nonce);
}

bool isPrintable(const QByteArray &value)
{
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            return false;
        }
    }
    return true;
}

// Leaves room for the NUL, so a reader that stops at the span still finds the end of the text.
bool copyText(const QByteArray &value, char *span, int spanSize)
{
    if (value.size() >= spanSize) {
        return false;
    }
    std::memcpy(span, value.constData(), size_t(value.size()));
    return true;
}

} // namespace

QByteArray encodeProbe(quint64 nonce)
{
    return ProbeMagic + nonceText(nonce) + '\n';
}

bool decodeProbe(const QByteArray &datagram, quint64 *nonce)
{
    return parseHeader(datagram, ProbeMagic, nonce, nullptr);
}

QByteArray encodeAnswer(quint64 nonce, const AnswerFields &fields)
{
    QByteArray out = AnswerMagic + nonceText(nonce) + '\n';
    out += "mac=" + fields.mac + '\n';
    out += "ip=" + fields.ip + '\n';
    out += "p2pid=" + fields.p2pid + '\n';
    out += "version=" + fields.version + '\n';
    out += "model=" + fields.model + '\n';
    out += "hid=" + fields.hid + '\n';
    return out;
}

bool decodeAnswer(const QByteArray &datagram, quint64 nonce, VSOneDev *dev)
{
    std::memset(dev, 0, sizeof(VSOneDev));
    if (datagram.size() > MaxAnswerSize) {
        return false;
    }
    quint64 got = 0;
    QByteArray body;
    if (!parseHeader(datagram, AnswerMagic, &got, &body) || got != nonce) {
        return false;
    }
    // Without its closing line feed the answer was cut short somewhere.
    if (!body.endsWith('\n')) {
        return false;
    }
    body.chop(1);
    const QList<QByteArray> lines = body.split('\n');

    VSOneDev out;
    std::memset(&out, 0, sizeof out);
    bool haveMac = false;
    QList<QByteArray> seen;
    for (const QByteArray &line : std::as_const(lines)) {
        const int eq = line.indexOf('=');
        if (eq <= 0) {
            return false;
        }
        const QByteArray key = line.left(eq);
        const QByteArray value = line.mid(eq + 1);
        if (seen.contains(key) || !isPrintable(value)) {
            return false;
        }
        seen.append(key);

        bool fits = true;
        if (key == "mac") {
            fits = haveMac = parseMac(value, out.mac);
        } else if (key == "ip") {
            fits = copyText(value, out.ip, VSNET_IP_LEN);
        } else if (key == "p2pid") {
            fits = copyText(value, out.p2pid, VSNET_P2PID_LEN);
        } else if (key == "version") {
            fits = copyText(value, out.version, VSNET_VERSION_LEN);
        } else if (key == "model") {
            fits = copyText(value, out.model, VSNET_MODEL_LEN);
        } else if (key == "hid") {
            fits = copyText(value, out.hid, VSNET_HID_LEN);
        }
        // Unknown keys are skipped so that devices may report more than this library shows.
        if (!fits) {
            return false;
        }
    }
    if (!haveMac) {
        return false;
    }
    *dev = out;
    return true;
}

bool parseMac(const QByteArray &text, unsigned char mac[VSNET_MAC_LEN])
{
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != VSNET_MAC_LEN) {
        return false;
    }
    unsigned char bytes[VSNET_MAC_LEN];
    for (int i = 0; i < VSNET_MAC_LEN; ++i) {
        const QByteArray &part = parts.at(i);
        if (part.size() != 2 || !std::isxdigit(static_cast<unsigned char>(part.at(0)))
            || !std::isxdigit(static_cast<unsigned char>(part.at(1)))) {
            return false;
        }
        bytes[i] = static_cast<unsigned char>(part.toUInt(nullptr, 16));
    }
    std::memcpy(mac, bytes, sizeof bytes);
    return true;
}

QByteArray macText(const unsigned char mac[VSNET_MAC_LEN])
{
    return QByteArray(reinterpret_cast<const char *>(mac), VSNET_MAC_LEN).toHex(':').toUpper();
}

bool isDottedIPv4(const QByteArray &text)
{
    const QList<QByteArray> parts = text.split('.');
    if (parts.size() != 4) {
        return false;
    }
    for (const QByteArray &part : parts) {
        if (part.isEmpty() || part.size() > 3) {
            return false;
        }
        for (char c : part) {
            if (c < '0' || c > '9') {
                return false;
            }
        }
        if (part.toInt() > 255) {
            return false;
        }
    }
    return true;
}

QByteArray encodeWithin(const QString &text, int maxBytes, QByteArray (*encode)(const QString &))
{
    QString kept = text;
    QByteArray encoded = encode(kept);
    while (encoded.size() > maxBytes) {
        const int size = kept.size();
        const bool pair = size >= 2 && kept.at(size - 1).isLowSurrogate() && kept.at(size - 2).isHighSurrogate();
        kept.chop(pair ? 2 : 1);
        encoded = encode(kept);
    }
    return encoded;
}

bool forceReceiveBuffer(qintptr descriptor, int bytes)
{
#ifdef Q_OS_LINUX
    return setsockopt(int(descriptor), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) == 0;
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(bytes)
    return false;
#endif
}

QString broadcastAddress(bool *ok)
{
    const QByteArray value = qgetenv("VSNET_BROADCAST").trimmed();
    if (value.isEmpty()) {
        *ok = true;
        return QString::fromLatin1(DefaultBroadcast);
    }
    *ok = isDottedIPv4(value);
    return *ok ? QString::fromLatin1(value) : QString();
}

quint16 port(bool *ok)
{
    const QByteArray value = qgetenv("VSNET_PORT").trimmed();
    if (value.isEmpty()) {
        *ok = true;
        return DefaultPort;
    }
    const uint number = value.toUInt(ok);
    *ok = *ok && number > 0 && number <= 65535;
    return *ok ? quint16(number) : 0;
}

int searchMs(bool *ok)
{
    const QByteArray value = qgetenv("VSNET_SEARCH_MS").trimmed();
    if (value.isEmpty()) {
        *ok = true;
        return DefaultSearchMs;
    }
    const int number = value.toInt(ok);
    *ok = *ok && number >= 0 && number <= MaxSearchMs;
    return *ok ? number : 0;
}

InterfaceChoice interfaceChoice()
{
    InterfaceChoice choice;
    const QString value = QString::fromLocal8Bit(qgetenv("VSNET_INTERFACES")).trimmed();
    if (value.isEmpty()) {
        return choice;
    }
    choice.realLink = true;
    if (value == QLatin1String("all")) {
        choice.all = true;
        return choice;
    }
    for (const QString &name : value.split(QLatin1Char(','))) {
        if (!name.trimmed().isEmpty()) {
            choice.names.append(name.trimmed());
        }
    }
    return choice;
}

QVector<TestLink> testLinks(bool *ok)
{
    QVector<TestLink> links;
    *ok = true;
    for (const QByteArray &part : qgetenv("VSNET_TEST_LINKS").split(',')) {
        const QByteArray link = part.trimmed();
        if (link.isEmpty()) {
            continue;
        }
        const QList<QByteArray> addressAndPort = link.split(':');
        const QByteArray &address = addressAndPort.first();
        uint port = 0;
        bool portOk = true;
        if (addressAndPort.size() == 2) {
            port = addressAndPort.at(1).toUInt(&portOk);
            portOk = portOk && port > 0 && port <= 65535;
        }
        *ok = *ok && addressAndPort.size() <= 2 && portOk && isDottedIPv4(address);
        links.append(TestLink {QString::fromLatin1(address), quint16(port)});
    }
    return *ok ? links : QVector<TestLink>();
}

} // namespace VsnetProtocol
