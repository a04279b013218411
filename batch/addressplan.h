#ifndef BRELO_ADDRESSPLAN_H
#define BRELO_ADDRESSPLAN_H

#include <QStringList>

// One address per device, counting up the last octet of startIp: the first device gets the start
// address with its last part normalised, each further one the next number, never above 254 once
// past it. The text up to the last dot is kept as given.
QStringList planAddresses(const QString &startIp, int count);

// How many different addresses a plan holds.
int distinctAddressCount(const QStringList &plan);

// False for addresses that cannot be a device's own: a first octet of 0, 127, or 224 and above.
bool isUsableDeviceAddress(const QString &ip);

#endif // BRELO_ADDRESSPLAN_H
