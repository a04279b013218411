// Feeds arbitrary datagrams to the decoders the stand-in library runs on what the network sends,
// and checks what they promise: a refused answer leaves the record zeroed; an accepted one has every
// text ended by a NUL inside its span and decodes the same again after re-encoding.
#include "protocol.h"
#include "recordtext.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The seeds carry this nonce, so that mutations start from answers the decoder accepts.
constexpr quint64 Nonce = 0x00c0ffee12345678ULL;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool isZero(const VSOneDev &dev)
{
    VSOneDev zero;
    std::memset(&zero, 0, sizeof zero);
    return std::memcmp(&dev, &zero, sizeof dev) == 0;
}

void checkAnswer(const QByteArray &datagram)
{
    VSOneDev dev;
    std::memset(&dev, 0x5a, sizeof dev);
    if (!VsnetProtocol::decodeAnswer(datagram, Nonce, &dev)) {
        check(isZero(dev));
        return;
    }
    check(datagram.size() <= VsnetProtocol::MaxAnswerSize);
    check(terminatedInSpans(dev));
    for (char c : dev.reserved) {
        check(c == 0);
    }

    const VsnetProtocol::AnswerFields fields {
        VsnetProtocol::macText(dev.mac),      spanText(dev.ip, VSNET_IP_LEN),
        spanText(dev.p2pid, VSNET_P2PID_LEN), spanText(dev.version, VSNET_VERSION_LEN),
        spanText(dev.model, VSNET_MODEL_LEN), spanText(dev.hid, VSNET_HID_LEN)};
    const QByteArray encoded = VsnetProtocol::encodeAnswer(Nonce, fields);
    VSOneDev again;
    check(VsnetProtocol::decodeAnswer(encoded, Nonce, &again));
    check(std::memcmp(&dev, &again, sizeof dev) == 0);
    // The nonce must match exactly.
    check(!VsnetProtocol::decodeAnswer(datagram, Nonce ^ 1, &again));
}

void checkProbe(const QByteArray &datagram)
{
    quint64 nonce = 0;
    if (!VsnetProtocol::decodeProbe(datagram, &nonce)) {
        return;
    }
    check(datagram.startsWith(static_cast<const char *>(VsnetProtocol::ProbeMagic)));
    quint64 again = ~nonce;
    check(VsnetProtocol::decodeProbe(VsnetProtocol::encodeProbe(nonce), &again) && again == nonce);
}

void checkTexts(const QByteArray &datagram)
{
    unsigned char mac[VSNET_MAC_LEN];
    if (VsnetProtocol::parseMac(datagram, mac)) {
        check(VsnetProtocol::macText(mac) == datagram.toUpper());
    }
    if (VsnetProtocol::isDottedIPv4(datagram)) {
        check(datagram.size() >= 7 && datagram.size() <= 15 && datagram.count('.') == 3);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Not copied, as in the library: a read past the end of the datagram leaves the fuzzer's buffer.
    const QByteArray datagram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    checkAnswer(datagram);
    checkProbe(datagram);
    checkTexts(datagram);
    return 0;
}
