#ifndef BRELO_ADDRESSPLAN_H
#define BRELO_ADDRESSPLAN_H

#include <QString>
#include <QStringList>
#include <QVector>

// A device as a table row shows it.
struct DeviceAddress
{
    QString mac;
    QString ip;
};

// One address per device, counting up the last octet of startIp: the first device gets the start
// address with its last part normalised, each further one the next number, never above 254 once
// past it. The text up to the last dot is kept as given.
QStringList planAddresses(const QString &startIp, int count);

// How many different addresses a plan holds.
int distinctAddressCount(const QStringList &plan);

// False for addresses that cannot be a device's own: a first octet of 0, 127, or 224 and above.
bool isUsableDeviceAddress(const QString &ip);

// Reads four dot-separated decimal parts of 0..255 (leading zeros allowed, as the editors allow).
bool parseAddress(const QString &text, quint32 *address);

// The address with every part in plain decimal ("010.001.000.007" gives "10.1.0.7"): a device that
// reads a leading zero as octal would take another address. Other texts are returned unchanged.
QString plainDecimalAddress(const QString &text);

// Every ";"-separated part that is a dotted address in plain decimal; the other parts as typed.
QString plainDecimalDns(const QString &dns);

// Why an address plan (plain decimal, one address per device) must not be sent, or an empty text:
// an invalid netmask, two devices on one address, an address that is no host of the start
// address's subnet, the gateway's address, or one that a device outside the batch reports.
QString addressPlanRefusal(const QStringList &plan, const QString &netmask, const QString &gateway,
                           const QVector<DeviceAddress> &others);

#endif // BRELO_ADDRESSPLAN_H
