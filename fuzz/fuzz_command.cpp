// Applies arbitrary datagrams to the simulated devices as commands, several in a row, and checks
// that each gives exactly one journal line, and that afterwards every device still answers a probe
// with an answer the library accepts and that shows the device's current state.
#include "devicenetwork.h"
#include "protocol.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Cannot occur inside a JSON text, so one input can carry several commands.
const QByteArray Separator = "\n--\n";
constexpr int MaxCommands = 16;
constexpr int DeviceCount = 8;
constexpr int RebootMs = 3000;
constexpr quint64 Nonce = 42;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

QByteArray text(const char *span, int size)
{
    return QByteArray(span, int(qstrnlen(span, uint(size))));
}

QList<QByteArray> commandsOf(const QByteArray &input)
{
    QList<QByteArray> commands;
    int from = 0;
    while (commands.size() < MaxCommands) {
        const int at = input.indexOf(Separator, from);
        commands.append(input.mid(from, at < 0 ? -1 : at - from));
        if (at < 0) {
            break;
        }
        from = at + Separator.size();
    }
    return commands;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    DeviceNetwork::Options options;
    options.count = DeviceCount;
    options.rebootMs = RebootMs;
    DeviceNetwork network(options);

    qint64 now = 0;
    for (const QByteArray &command : commandsOf(input)) {
        const QString line = network.applyCommand(command, now);
        check(line.startsWith(QLatin1String("applied ")) || line.startsWith(QLatin1String("refused")));
        // The journal is read line by line: one command, one line.
        check(!line.contains(QLatin1Char('\n')) && !line.contains(QLatin1Char('\r')));
        now += 1000;
    }

    now += RebootMs;
    const QList<QByteArray> answers = network.answersFor(VsnetProtocol::encodeProbe(Nonce), now);
    check(answers.size() == DeviceCount);
    for (int i = 0; i < DeviceCount; ++i) {
        const DeviceNetwork::Device &device = network.devices().at(i);
        VSOneDev dev;
        check(VsnetProtocol::decodeAnswer(answers.at(i), Nonce, &dev));
        check(VsnetProtocol::macText(dev.mac) == device.mac);
        check(text(dev.ip, VSNET_IP_LEN) == device.ip);
        check(text(dev.version, VSNET_VERSION_LEN) == DeviceNetwork::versionText(device));
        check(VsnetProtocol::isDottedIPv4(device.netmask) && VsnetProtocol::isDottedIPv4(device.gateway));
    }

    // The same bytes taken as a probe: answered by every device, or by none.
    quint64 nonce = 0;
    const int expected = VsnetProtocol::decodeProbe(input, &nonce) ? DeviceCount : 0;
    check(network.answersFor(input, now).size() == expected);
    return 0;
}
