#ifndef BRELO_DEVICEHINTS_H
#define BRELO_DEVICEHINTS_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

struct DeviceAddress;

// What the table tells an installer about the devices a search found: addresses two devices show,
// devices this PC cannot reach, and what changed since the search before.
namespace DeviceHints {

// What a row's address says needs doing, as flags; the table shows them.
enum Mark { NoMark = 0, Conflict = 1, OwnAddress = 2, Unreachable = 4, New = 8 };

// One of this PC's IPv4 addresses with the prefix length of its network.
struct Network
{
    quint32 address = 0;
    int prefix = 32;
};

// This PC's networks, from the interfaces that are up and running, loopback aside; the injected ones
// while a test has given some.
QVector<Network> localNetworks();
// The seam through which tests give the networks, so that nothing depends on the machine.
void injectNetworks(const QVector<Network> &networks);
void clearInjectedNetworks();

// "192.168.1.2/24, 10.0.0.5/8", or "无" for none.
QString networksText(const QVector<Network> &networks);
bool inNetworks(quint32 address, const QVector<Network> &networks);
bool isOwnAddress(quint32 address, const QVector<Network> &networks);
// Whether this PC can still reach every address of a plan (plain decimal) under netmask: each lies
// in one of its networks, and that network's address of this PC lies in the address's subnet.
bool planReachable(const QStringList &plan, const QString &netmask, const QVector<Network> &networks);
// The longest netmask, as a prefix length, that a device at address may take with this PC still in its
// subnet; -1 when the address lies in none of this PC's networks.
int reachablePrefix(quint32 address, const QVector<Network> &networks);

// The distinct MACs seen at each address during one search; one device answering twice is one.
struct AddressHolders
{
    struct Holder
    {
        QString firstMac;
        QSet<QString> others;
    };
    QHash<quint32, Holder> byAddress;
};

// Counts mac at address. True when the address has just gained its second device, so that the rows
// already there become conflicts.
bool addHolder(AddressHolders &holders, quint32 address, const QString &mac);
int devicesAt(const AddressHolders &holders, quint32 address);

// The tooltip lines of a row's marks, conflicts first; devicesThere counts the distinct devices at ip.
QStringList markLines(int marks, int devicesThere, const QString &ip, const QVector<Network> &networks);

// What changed from one search's rows, in table order, to the next's: the new, the gone with their last
// address (ten at most), the moved.
QString comparisonLine(const QVector<DeviceAddress> &previous, const QVector<DeviceAddress> &now);

} // namespace DeviceHints

#endif // BRELO_DEVICEHINTS_H
