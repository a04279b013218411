#ifndef BRELO_DEVICECOMMAND_H
#define BRELO_DEVICECOMMAND_H

#include <QByteArray>
#include <QString>

// The exact bytes handed to the library: indented JSON with sorted keys, integers, UTF-8.

namespace Batch {

// "ip", "netmask" and "gateway" only without DHCP; "dns" whenever its trimmed text is not empty.
QByteArray ipConfigCommand(const QString &mac, int dhcp, const QString &ip, const QString &netmask,
                           const QString &gateway, const QString &dns);

QByteArray algoConfigCommand(const QString &mac, int algoType, int reboot);

// "<MAC> 设备修改 IP 为 <target>", with the library's refusal if any.
QString ipCommandLogLine(const QString &mac, const QString &target, int sendResult);
// "<MAC> 设备修改算法为 <algorithm>", with the library's refusal if any.
QString algoCommandLogLine(const QString &mac, const QString &algoName, int sendResult);

} // namespace Batch

#endif // BRELO_DEVICECOMMAND_H
