#ifndef VSNET_PROTOCOL_H
#define VSNET_PROTOCOL_H

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include "VSDevNetSDK.h"

// The datagrams exchanged by the stand-in library and the device simulator, and the environment
// settings both read. Pure functions only: no sockets, so malformed input can be fed in directly.
namespace VsnetProtocol {

constexpr quint16 DefaultPort = 37020;
constexpr int DefaultSearchMs = 2000;
constexpr int MaxSearchMs = 600000;
// Larger answers are dropped unread; a well-formed one needs well under 400 bytes.
constexpr int MaxAnswerSize = 1024;
extern const char DefaultBroadcast[];

extern const char ProbeMagic[];
extern const char AnswerMagic[];

// The texts one device reports, as raw bytes. mac is the "AA:BB:CC:DD:EE:FF" text.
struct AnswerFields
{
    QByteArray mac;
    QByteArray ip;
    QByteArray p2pid;
    QByteArray version;
    QByteArray model;
    QByteArray hid;
};

QByteArray encodeProbe(quint64 nonce);
bool decodeProbe(const QByteArray &datagram, quint64 *nonce);

// Writes every field, even one that would not fit the record, so the simulator can send bad answers.
QByteArray encodeAnswer(quint64 nonce, const AnswerFields &fields);
// Fills dev (zeroed first) from an answer to the probe carrying nonce. Returns false, leaving dev
// zeroed, for anything but a complete, well-formed answer with a valid mac whose every text fits its
// span with its NUL. Never reads past the end of datagram.
bool decodeAnswer(const QByteArray &datagram, quint64 nonce, VSOneDev *dev);

// Accepts upper or lower case hex pairs joined by ':'.
bool parseMac(const QByteArray &text, unsigned char mac[VSNET_MAC_LEN]);
QByteArray macText(const unsigned char mac[VSNET_MAC_LEN]);
// Four decimal parts of 0..255, nothing else.
bool isDottedIPv4(const QByteArray &text);

// The encoding of text that fits maxBytes, cut after a whole character: an encoding may take more
// bytes than the UTF-8 it came from (each invalid byte becomes a 3-byte replacement in UTF-8).
QByteArray encodeWithin(const QString &text, int maxBytes, QByteArray (*encode)(const QString &));

// Raises a socket's receive buffer past the system limit where the process may (Linux, privileged).
// Returns false when it could not; the caller then asks for it within the limit.
bool forceReceiveBuffer(qintptr descriptor, int bytes);

// Environment settings; unset or empty means the default, anything unparsable fails with ok false.
QString broadcastAddress(bool *ok);
quint16 port(bool *ok);
int searchMs(bool *ok);

// VSNET_INTERFACES: unset or empty keeps loopback mode; "all", or names separated by commas, selects
// the real-link mode on those interfaces. Which of them exist and are usable is the caller's check.
struct InterfaceChoice
{
    bool realLink = false;
    bool all = false;
    QStringList names;
};
InterfaceChoice interfaceChoice();

// VSNET_TEST_LINKS, for tests only: in loopback mode, local IPv4 addresses separated by commas, each
// given a socket of its own bound to it, as Windows binds one per adapter on real links. An address
// the machine does not have, or one with a port that is taken ("127.0.0.2:40000"), stands for an
// adapter that lost its address after it was listed.
struct TestLink
{
    QString address;
    quint16 port = 0; // 0: any
};
QVector<TestLink> testLinks(bool *ok);

} // namespace VsnetProtocol

#endif // VSNET_PROTOCOL_H
