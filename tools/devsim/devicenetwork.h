#ifndef DEVSIM_DEVICENETWORK_H
#define DEVSIM_DEVICENETWORK_H

#include <QByteArray>
#include <QHash>
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
        // How long a device answers no probe after taking an IP command, re-binding its network.
        int applyMs = 0;
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
        // Index of the address the DHCP pool granted it, kept for good as a DHCP server keeps its
        // clients' leases; -1 until it is granted one.
        int lease = -1;
        // Rebooting: no answers, and commands are refused.
        qint64 silentUntilMs = 0;
        // Re-binding its network after an IP command: no answers, yet commands are taken.
        qint64 rebindingUntilMs = 0;
        AnswerKind kind = AnswerKind::Normal;
    };

    static constexpr int MaxCount = 60000;
    // Seeds of up to 30 bits give every simulator a MAC prefix of its own.
    static constexpr int MaxSeed = (1 << 30) - 1;

    // "A/P" with a dotted address and a prefix length of 1..30.
    static bool parseSubnet(const QString &text, Subnet *subnet);
    // The address n hosts after the given one, skipping the network and broadcast addresses of each
    // subnet of that prefix length on the way; walkRoom says how far it stays a unicast address.
    static quint32 hostAfter(const Subnet &start, int n);
    // How many addresses a walk from start holds before it would pass 223.255.255.254, the last
    // unicast address, or with withinSubnet the last host of start's own subnet; none when its first
    // address lies outside 1.0.0.0..223.255.255.254.
    static qint64 walkRoom(const Subnet &start, bool withinSubnet);
    static QString subnetText(const Subnet &subnet);
    static QByteArray addressText(quint32 address);

    explicit DeviceNetwork(const Options &options);

    const QVector<Device> &devices() const { return m_devices; }
    int indexOfMac(const QByteArray &mac) const;
    // The version text a device reports: firmware, then "-A" and the running algorithm.
    static QByteArray versionText(const Device &device);

    // One answer per device that is up, in device order; nothing for anything but a valid probe.
    QList<QByteArray> answersFor(const QByteArray &probe, qint64 nowMs) const;
    bool isUp(int index, qint64 nowMs) const
    {
        return m_devices.at(index).silentUntilMs <= nowMs && m_devices.at(index).rebindingUntilMs <= nowMs;
    }
    QByteArray answerOf(int index, quint64 nonce) const;
    // Whether address lies in the subnet the device's own address and netmask make.
    bool sharesSubnet(int index, quint32 address) const;
    // Applies a command datagram and returns the journal line saying what was done or why not.
    // An empty line means the command was dropped on purpose and nothing is to be written.
    QString applyCommand(const QByteArray &datagram, qint64 nowMs);

private:
    QByteArray garbageOf(int index, quint64 nonce) const;
    QString applyIpConfig(const QJsonObject &command, Device *device, qint64 nowMs);
    QString applyAlgoConfig(const QJsonObject &command, Device *device, qint64 nowMs);

    Options m_options;
    QVector<Device> m_devices;
    // A device's MAC never changes; every command looks it up.
    QHash<QByteArray, int> m_indexOfMac;
    QRandomGenerator m_random;
    int m_leases = 0;
    int m_leaseCapacity = 0;
};

#endif // DEVSIM_DEVICENETWORK_H
