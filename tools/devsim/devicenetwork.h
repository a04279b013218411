#ifndef DEVSIM_DEVICENETWORK_H
#define DEVSIM_DEVICENETWORK_H

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QVector>

class QJsonObject;

// The simulated devices: what each answers to a probe and how each takes a command. No sockets
// and no clock of its own (the caller passes the time), so every rule can be driven directly.
class DeviceNetwork
{
public:
    // An IPv4 address and the prefix length of its subnet, as in "192.168.1.100/24".
    struct Subnet
    {
        quint32 address = 0;
        int prefixLength = 24;
    };

    struct Options
    {
        int count = 16;
        // The first device's address; the others count up from it.
        Subnet first {0xC0A80164, 24}; // 192.168.1.100/24
        // DHCP leases count up from here.
        Subnet dhcpPool {0xAC10000A, 16}; // 172.16.0.10/16
        // Fraction of devices that answer with malformed datagrams.
        double garbageShare = 0.0;
        // Some devices answer with every text exactly filling its span, others with texts too long.
        bool oversize = false;
        int rebootMs = 3000;
        double dropCommands = 0.0;
        double refuseCommands = 0.0;
        quint32 seed = 1;
    };

    enum class AnswerKind { Normal, Garbage, AtSpan, BeyondSpan };

    struct Device
    {
        QByteArray mac; // "AA:BB:CC:DD:EE:FF"
        QByteArray ip;
        QByteArray netmask;
        QByteArray gateway;
        QByteArray dns;
        bool dhcp = false;
        QByteArray p2pid;
        QByteArray firmware;
        QByteArray model;
        QByteArray hid;
        int algorithm = 1;
        qint64 silentUntilMs = 0;
        AnswerKind kind = AnswerKind::Normal;
    };

    static constexpr int MaxCount = 60000;
    // Seeds of up to 30 bits give every simulator a MAC prefix of its own.
    static constexpr int MaxSeed = (1 << 30) - 1;

    // "A/P" with a dotted address and a prefix length of 1..30.
    static bool parseSubnet(const QString &text, Subnet *subnet);
    // The address n hosts after the given one, skipping the network and broadcast addresses of each
    // subnet of that prefix length on the way.
    static quint32 hostAfter(const Subnet &start, int n);
    static QByteArray addressText(quint32 address);

    explicit DeviceNetwork(const Options &options);

    const QVector<Device> &devices() const { return m_devices; }
    int indexOfMac(const QByteArray &mac) const;
    // The version text a device reports: firmware, then "-A" and the running algorithm.
    static QByteArray versionText(const Device &device);

    // One answer per device that is up, in device order; nothing for anything but a valid probe.
    QList<QByteArray> answersFor(const QByteArray &probe, qint64 nowMs) const;
    bool isUp(int index, qint64 nowMs) const { return m_devices.at(index).silentUntilMs <= nowMs; }
    QByteArray answerOf(int index, quint64 nonce) const;
    // Whether address lies in the subnet the device's own address and netmask make.
    bool sharesSubnet(int index, quint32 address) const;
    // Applies a command datagram and returns the journal line saying what was done or why not.
    // An empty line means the command was dropped on purpose and nothing is to be written.
    QString applyCommand(const QByteArray &datagram, qint64 nowMs);

private:
    QByteArray garbageOf(int index, quint64 nonce) const;
    QString applyIpConfig(const QJsonObject &command, Device *device);
    QString applyAlgoConfig(const QJsonObject &command, Device *device, qint64 nowMs);

    Options m_options;
    QVector<Device> m_devices;
    QRandomGenerator m_random;
    int m_leases = 0;
};

#endif // DEVSIM_DEVICENETWORK_H
