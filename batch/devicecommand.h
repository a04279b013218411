#ifndef BRELO_DEVICECOMMAND_H
#define BRELO_DEVICECOMMAND_H

#include <QByteArray>
#include <QString>

// The exact bytes handed to the library for one device: indented JSON, keys in ascending order,
// numbers as integers, UTF-8, ending in a line feed.

// "ip", "netmask" and "gateway" go out only without DHCP; "dns" only when its trimmed text is not
// empty, with or without DHCP.
QByteArray ipConfigCommand(const QString &mac, int dhcp, const QString &ip, const QString &netmask,
                           const QString &gateway, const QString &dns);

QByteArray algoConfigCommand(const QString &mac, int algoType, int reboot);

// The log line of one IP command, "<MAC> 设备修改 IP 为 <target>", with the library's refusal if any.
QString ipCommandLogLine(const QString &mac, const QString &target, int sendResult);
// The same for an algorithm command, "<MAC> 设备修改算法为 <algorithm>".
QString algoCommandLogLine(const QString &mac, const QString &algoName, int sendResult);

#endif // BRELO_DEVICECOMMAND_H
