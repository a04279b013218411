#ifndef BRELO_ADDRESSPLAN_H
#define BRELO_ADDRESSPLAN_H

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

struct CheckedDevice;

// A device as a table row shows it.
struct DeviceAddress
{
    QString mac;
    QString ip;
};

namespace Batch {

// Counts up the last octet, never above 254 once past it; the text up to the last dot is kept as given.
QStringList planAddresses(const QString &startIp, int count);

int distinctAddressCount(const QStringList &plan);

bool isUsableDeviceAddress(const QString &ip);

// Leading zeros allowed, as the editors allow them.
bool parseAddress(const QString &text, quint32 *address);

// A device that reads a leading zero as octal would take another address: "010.001.000.007" goes
// out as "10.1.0.7". Other texts are returned unchanged.
QString plainDecimalAddress(const QString &text);

QString dottedAddress(quint32 address);

// The prefix length of a contiguous netmask, or -1.
int prefixLength(quint32 mask);

// The parts that are no address stay as typed.
QString plainDecimalDns(const QString &dns);

// Which device holds each address: the index in devices of the first, in their order, that shows it,
// leaving out the devices whose MAC is in leaving (those the plan moves away).
QHash<quint32, int> addressHolders(const QVector<DeviceAddress> &devices, const QSet<QString> &leaving = {});

// Why the plan (plain decimal, one address per device) must not be sent, or an empty text.
QString addressPlanRefusal(const QStringList &plan, const QString &netmask, const QString &gateway,
                           const QVector<DeviceAddress> &others);

// Why the commands (a batch, a resend or a pasted plan) must not go out, against the table's rows in
// table order, or an empty text. Devices that share one netmask and gateway are judged as one plan, as
// a batch always was; a plan over several subnets device by device, each in its own.
QString sendRefusal(const QVector<CheckedDevice> &devices, const QVector<DeviceAddress> &table);

} // namespace Batch

#endif // BRELO_ADDRESSPLAN_H
