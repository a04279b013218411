#ifndef BRELO_DEVICEROW_H
#define BRELO_DEVICEROW_H

#include <QString>

struct VSOneDev;

// The six texts that describe one discovered device, in signal order.
struct DeviceRow
{
    QString p2pid;
    QString ip;
    QString version;
    QString model;
    QString mac;
    QString hid;
};

namespace App {

// Deep-copies a library record into texts. A text ends at its first NUL or at the end of its span,
// whichever comes first, so a record without terminators is never read past a field.
DeviceRow deviceRowFromRecord(const VSOneDev &dev);

// Six bytes as upper-case hex pairs joined by ":", each byte taken as unsigned.
QString macToText(const unsigned char *mac);

} // namespace App

#endif // BRELO_DEVICEROW_H
