#include "app/devicerow.h"

#include "sdk/VSDevNetSDK.h"

#include <cstring>

namespace {

int boundedLength(const char *text, int span)
{
    const void *nul = std::memchr(text, '\0', static_cast<size_t>(span));
    return nul ? static_cast<int>(static_cast<const char *>(nul) - text) : span;
}

QString utf8Field(const char *text, int span)
{
    return QString::fromUtf8(text, boundedLength(text, span));
}

} // namespace

namespace App {

QString macToText(const unsigned char *mac)
{
    return QString::asprintf("%02X:%02X:%02X:%02X:%02X:%02X", unsigned(mac[0]), unsigned(mac[1]), unsigned(mac[2]),
                             unsigned(mac[3]), unsigned(mac[4]), unsigned(mac[5]));
}

DeviceRow deviceRowFromRecord(const VSOneDev &dev)
{
    DeviceRow row;
    row.p2pid = utf8Field(dev.p2pid, VSNET_P2PID_LEN);
    row.ip = utf8Field(dev.ip, VSNET_IP_LEN);
    row.version = utf8Field(dev.version, VSNET_VERSION_LEN);
    row.model = utf8Field(dev.model, VSNET_MODEL_LEN);
    row.mac = macToText(dev.mac);
    row.hid = QString::fromLocal8Bit(dev.hid, boundedLength(dev.hid, VSNET_HID_LEN));
    return row;
}

} // namespace App
