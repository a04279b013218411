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

#endif // BRELO_DEVICECOMMAND_H
