#ifndef BRELO_TESTS_RECORDTEXT_H
#define BRELO_TESTS_RECORDTEXT_H

#include <QByteArray>

#include <cstring>

#include "VSDevNetSDK.h"

// A record's text up to its NUL, never past its span.
inline QByteArray spanText(const char *span, int size)
{
    return QByteArray(span, int(qstrnlen(span, uint(size))));
}

// True when every text of the record ends with a NUL inside its span.
inline bool terminatedInSpans(const VSOneDev &dev)
{
    return std::memchr(dev.ip, 0, VSNET_IP_LEN) && std::memchr(dev.p2pid, 0, VSNET_P2PID_LEN)
        && std::memchr(dev.version, 0, VSNET_VERSION_LEN) && std::memchr(dev.model, 0, VSNET_MODEL_LEN)
        && std::memchr(dev.hid, 0, VSNET_HID_LEN);
}

#endif // BRELO_TESTS_RECORDTEXT_H
