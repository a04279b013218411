#include "devicenetwork.h"
#include "deviceserver.h"
#include "protocol.h"
#include "signalwatcher.h"

#include "compat/qtcompat.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QStringList>
#include <QTextStream>
#include <QUdpSocket>

namespace {

constexpr int ProbeWaitMs = 1000;

int fail(const QString &message)
{
    QTextStream(stderr) << "devsim: " << message << '\n';
    return 2;
}

bool readFraction(const QCommandLineParser &parser, const QCommandLineOption &option, double *out)
{
    bool ok = false;
    *out = parser.value(option).toDouble(&ok);
    return ok && *out >= 0.0 && *out <= 1.0;
}

bool readInt(const QCommandLineParser &parser, const QCommandLineOption &option, int low, int high, int *out)
{
    bool ok = false;
    *out = parser.value(option).toInt(&ok);
    return ok && *out >= low && *out <= high;
}

// Sends one probe, as a limited broadcast out of the interface when one is given, and waits for the
// first valid answer: 0 when a device answered, 1 when none did.
int probe(const QHostAddress &address, quint16 port, int interfaceIndex)
{
    QTextStream out(stdout);
    QUdpSocket socket;
    const quint64 nonce = QRandomGenerator::global()->generate64();
    QNetworkDatagram datagram(VsnetProtocol::encodeProbe(nonce), address, port);
    if (interfaceIndex != 0) {
        datagram.setInterfaceIndex(uint(interfaceIndex));
    }
    if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0)
        || socket.writeDatagram(datagram) != datagram.data().size()) {
        return fail(QStringLiteral("cannot send a probe: %1").arg(socket.errorString()));
    }
    const QDeadlineTimer deadline(ProbeWaitMs);
    QByteArray buffer(VsnetProtocol::MaxAnswerSize + 1, Qt::Uninitialized);
    while (!deadline.hasExpired()) {
        socket.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        while (socket.hasPendingDatagrams()) {
            const qint64 size = socket.readDatagram(buffer.data(), buffer.size());
            VSOneDev dev;
            if (size >= 0 && VsnetProtocol::decodeAnswer(buffer.left(int(size)), nonce, &dev)) {
                out << "devsim: a device answered on " << address.toString() << ':' << port << '\n';
                return 0;
            }
        }
    }
    out << "devsim: no device answered on " << address.toString() << ':' << port << '\n';
    return 1;
}

// Why the devices' addresses or the DHCP pool would leave their range, or an empty text. On loopback
// the walk may go on into the next subnets, which is how tens of thousands of devices get addresses
// of their own; on a real link the subnet is the devices' real one.
QString rangeProblem(const DeviceNetwork::Options &options, bool realLink)
{
    const QString subnet = DeviceNetwork::subnetText(options.first);
    const qint64 unicastRoom = DeviceNetwork::walkRoom(options.first, false);
    if (unicastRoom == 0) {
        return QStringLiteral("--subnet %1 starts outside the unicast addresses 1.0.0.0 to 223.255.255.254")
            .arg(subnet);
    }
    if (options.count > unicastRoom) {
        return QStringLiteral("--count %1 from --subnet %2 would pass 223.255.255.254, the last unicast address; "
                              "there is room for %3 devices")
            .arg(options.count)
            .arg(subnet)
            .arg(unicastRoom);
    }
    const qint64 subnetRoom = DeviceNetwork::walkRoom(options.first, true);
    if (realLink && options.count > subnetRoom) {
        return QStringLiteral("--count %1 does not fit --subnet %2 on a real link: it has %3 host addresses from "
                              "there to its end")
            .arg(options.count)
            .arg(subnet)
            .arg(subnetRoom);
    }
    if (DeviceNetwork::walkRoom(options.dhcpPool, true) == 0) {
        return QStringLiteral("--dhcp-pool %1 holds no unicast host address from there to the end of its subnet")
            .arg(DeviceNetwork::subnetText(options.dhcpPool));
    }
    return QString();
}

// What VSNET_INTERFACES and --interface take, one interface a line: its name, whether it is up, its
// IPv4 addresses and the name the system shows (on Windows the adapter's, such as "Ethernet 2").
int listInterfaces()
{
    QTextStream out(stdout);
    QtCompat::setUtf8(out);
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        QStringList addresses;
        const QList<QNetworkAddressEntry> entries = nic.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                addresses << entry.ip().toString() + QLatin1Char('/') + QString::number(entry.prefixLength());
            }
        }
        out << nic.name() << '\t'
            << (nic.flags().testFlag(QNetworkInterface::IsUp) ? QStringLiteral("up") : QStringLiteral("down")) << '\t'
            << (addresses.isEmpty() ? QStringLiteral("-") : addresses.join(QLatin1Char(','))) << '\t'
            << nic.humanReadableName() << '\n';
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("devsim"));

    bool envOk = false;
    const QString defaultAddress = VsnetProtocol::broadcastAddress(&envOk);
    if (!envOk) {
        return fail(QStringLiteral("VSNET_BROADCAST is not an IPv4 address"));
    }
    const quint16 defaultPort = VsnetProtocol::port(&envOk);
    if (!envOk) {
        return fail(QStringLiteral("VSNET_PORT is not a port number"));
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulates devices that answer the device library's probes, over loopback or on one "
                       "network interface, and apply its ip_config_bc and brl_algo_config commands. Writes one "
                       "journal line per command."));
    parser.addHelpOption();
    const QCommandLineOption countOption(
        QStringLiteral("count"), QStringLiteral("Number of devices, 1..%1 (default 16).").arg(DeviceNetwork::MaxCount),
        QStringLiteral("n"), QStringLiteral("16"));
    const QCommandLineOption addressOption(
        QStringLiteral("address"),
        QStringLiteral("Address to listen on; with --probe, the address probed (default VSNET_BROADCAST or "
                       "%1). A socket on 127.0.0.1 does not receive loopback broadcasts.")
            .arg(QLatin1String(VsnetProtocol::DefaultBroadcast)),
        QStringLiteral("address"), defaultAddress);
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("UDP port (default VSNET_PORT or %1); 0 lets the system choose one, which the ready line "
                       "gives as \"port N\".")
            .arg(VsnetProtocol::DefaultPort),
        QStringLiteral("port"), QString::number(defaultPort));
    const QCommandLineOption interfaceOption(
        QStringLiteral("interface"),
        QStringLiteral("Serve the devices on this network interface instead of loopback: hear the probes and "
                       "commands broadcast there, answer a prober in a device's own subnet by unicast and any "
                       "other by a limited broadcast. With --probe, probe by a limited broadcast there."),
        QStringLiteral("name"));
    const QCommandLineOption subnetOption(
        QStringLiteral("subnet"),
        QStringLiteral("The first device's address and the prefix length of its subnet; the other devices count "
                       "up from it, on loopback into the next subnets, never past 223.255.255.254, and with "
                       "--interface within this subnet (default 192.168.1.100/24)."),
        QStringLiteral("A/P"), QStringLiteral("192.168.1.100/24"));
    const QCommandLineOption dhcpPoolOption(
        QStringLiteral("dhcp-pool"),
        QStringLiteral("The first address a device set to DHCP leases, and the prefix length of the pool's "
                       "subnet; further leases count up to the subnet's last host, and a device keeps its lease. "
                       "Once the pool has run dry, a device keeps its address (default 172.16.0.10/16)."),
        QStringLiteral("A/P"), QStringLiteral("172.16.0.10/16"));
    const QCommandLineOption probeOption(
        QStringLiteral("probe"),
        QStringLiteral("Send one probe instead of simulating; exit 0 if a device answers within 1 s, else 1."));
    const QCommandLineOption journalOption(QStringLiteral("journal"),
                                           QStringLiteral("Write the journal to file instead of standard output."),
                                           QStringLiteral("file"));
    const QCommandLineOption rebootOption(
        QStringLiteral("reboot-ms"),
        QStringLiteral("How long a device stays silent after brl_reboot 1 (default 3000)."), QStringLiteral("ms"),
        QStringLiteral("3000"));
    const QCommandLineOption applyOption(
        QStringLiteral("apply-ms"),
        QStringLiteral("How long a device answers no probe after taking an ip_config_bc command, as it re-binds "
                       "its network (default 0)."),
        QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("Seed of every random choice below, 0..%1 (default 1). It also sets the MAC addresses: "
                       "simulators with different seeds never share one.")
            .arg(DeviceNetwork::MaxSeed),
        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption garbageOption(
        QStringLiteral("garbage-share"),
        QStringLiteral("Fraction 0..1 of devices, evenly spread, whose answers are malformed (default 0)."),
        QStringLiteral("p"), QStringLiteral("0"));
    const QCommandLineOption oversizeOption(
        QStringLiteral("oversize"),
        QStringLiteral("One device in five fills each text to the last byte of its span; another one in five "
                       "sends texts too long for their span, some in datagrams too long to be an answer."));
    const QCommandLineOption duplicatesOption(QStringLiteral("duplicates"),
                                              QStringLiteral("Send every answer n times (default 1)."),
                                              QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption burstOption(QStringLiteral("burst"),
                                         QStringLiteral("Send all answers at once instead of paced."));
    const QCommandLineOption jitterOption(QStringLiteral("jitter-ms"),
                                          QStringLiteral("Delay each answer by a random 0..ms (default 0)."),
                                          QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption dropOption(QStringLiteral("drop-commands"),
                                        QStringLiteral("Fraction 0..1 of commands ignored without a journal line."),
                                        QStringLiteral("p"), QStringLiteral("0"));
    const QCommandLineOption refuseOption(QStringLiteral("refuse-commands"),
                                          QStringLiteral("Fraction 0..1 of commands refused with a journal line."),
                                          QStringLiteral("p"), QStringLiteral("0"));
    const QCommandLineOption dropProbesOption(
        QStringLiteral("drop-probes"),
        QStringLiteral("Chance 0..1 that a device does not hear a probe, drawn for each device and probe."),
        QStringLiteral("p"), QStringLiteral("0"));
    const QCommandLineOption dropAnswersOption(
        QStringLiteral("drop-answers"), QStringLiteral("Chance 0..1 that an answer is lost, drawn for each answer."),
        QStringLiteral("p"), QStringLiteral("0"));
    const QCommandLineOption listOption(
        QStringLiteral("list-interfaces"),
        QStringLiteral("List the interfaces by the names that --interface and VSNET_INTERFACES take, and exit."));
    const QCommandLineOption shareOption(
        QStringLiteral("share-port"),
        QStringLiteral("Listen beside other simulators started with --share-port on the same port, so that one "
                       "search reaches the devices of all (give each another --seed; an overlapping --subnet "
                       "makes address conflicts)."));
    const QCommandLineOption inputEndOption(
        QStringLiteral("until-input-closes"),
        QStringLiteral("Also end when standard input closes, for a parent that cannot send a signal."));
    parser.addOptions({countOption,    addressOption, portOption,     interfaceOption,  subnetOption,
                       dhcpPoolOption, probeOption,   journalOption,  rebootOption,     applyOption,
                       seedOption,     garbageOption, oversizeOption, duplicatesOption, burstOption,
                       jitterOption,   dropOption,    refuseOption,   dropProbesOption, dropAnswersOption,
                       listOption,     shareOption,   inputEndOption});
    parser.process(app);
    if (parser.isSet(listOption)) {
        return listInterfaces();
    }

    const bool realLink = parser.isSet(interfaceOption);
    if (realLink && parser.isSet(addressOption)) {
        return fail(QStringLiteral("--address and --interface exclude each other"));
    }
    int interfaceIndex = 0;
    if (realLink) {
        const QNetworkInterface nic = QNetworkInterface::interfaceFromName(parser.value(interfaceOption));
        if (!nic.isValid() || nic.index() == 0) {
            return fail(QStringLiteral("no network interface \"%1\"").arg(parser.value(interfaceOption)));
        }
        interfaceIndex = nic.index();
    }
    const QHostAddress address(realLink ? QHostAddress(QHostAddress::Broadcast)
                                        : QHostAddress(parser.value(addressOption)));
    if (address.protocol() != QAbstractSocket::IPv4Protocol) {
        return fail(QStringLiteral("--address is not an IPv4 address"));
    }
    int port = 0;
    const bool probing = parser.isSet(probeOption);
    if (!readInt(parser, portOption, probing ? 1 : 0, 65535, &port)) {
        return fail(QStringLiteral("--port is not a port number"));
    }
    if (probing) {
        return probe(address, quint16(port), interfaceIndex);
    }

    DeviceNetwork::Options networkOptions;
    DeviceServer::Options serverOptions;
    int seed = 0;
    if (!readInt(parser, countOption, 1, DeviceNetwork::MaxCount, &networkOptions.count)
        || !readInt(parser, rebootOption, 0, 3600000, &networkOptions.rebootMs)
        || !readInt(parser, applyOption, 0, 3600000, &networkOptions.applyMs)
        || !readInt(parser, seedOption, 0, DeviceNetwork::MaxSeed, &seed)
        || !readInt(parser, duplicatesOption, 1, 100, &serverOptions.duplicates)
        || !readInt(parser, jitterOption, 0, 60000, &serverOptions.jitterMs)) {
        return fail(QStringLiteral("a count, time or seed is not a number in its range; see --help"));
    }
    if (!readFraction(parser, garbageOption, &networkOptions.garbageShare)
        || !readFraction(parser, dropOption, &networkOptions.dropCommands)
        || !readFraction(parser, refuseOption, &networkOptions.refuseCommands)
        || !readFraction(parser, dropProbesOption, &serverOptions.dropProbes)
        || !readFraction(parser, dropAnswersOption, &serverOptions.dropAnswers)) {
        return fail(QStringLiteral("a fraction is not a number from 0 to 1"));
    }
    if (!DeviceNetwork::parseSubnet(parser.value(subnetOption), &networkOptions.first)
        || !DeviceNetwork::parseSubnet(parser.value(dhcpPoolOption), &networkOptions.dhcpPool)) {
        return fail(QStringLiteral("--subnet and --dhcp-pool take an IPv4 address and a prefix length 1..30, "
                                   "as in 192.168.1.100/24"));
    }
    const QString rangeError = rangeProblem(networkOptions, realLink);
    if (!rangeError.isEmpty()) {
        return fail(rangeError);
    }
    networkOptions.oversize = parser.isSet(oversizeOption);
    networkOptions.seed = quint32(seed);
    serverOptions.burst = parser.isSet(burstOption);
    serverOptions.sharePort = parser.isSet(shareOption);
    serverOptions.address = address;
    serverOptions.port = quint16(port);
    serverOptions.interfaceIndex = interfaceIndex;
    serverOptions.seed = quint32(seed);

    QFile journalFile;
    QTextStream journal(stdout);
    if (parser.isSet(journalOption)) {
        journalFile.setFileName(parser.value(journalOption));
        if (!journalFile.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            return fail(QStringLiteral("cannot write %1: %2").arg(journalFile.fileName(), journalFile.errorString()));
        }
        journal.setDevice(&journalFile);
    }
    QtCompat::setUtf8(journal);

    SignalWatcher signalWatcher;
    if (!signalWatcher.isWatching()) {
        return fail(QStringLiteral("cannot watch for signals"));
    }
    QObject::connect(&signalWatcher, &SignalWatcher::received, &app, &QCoreApplication::quit);
    if (parser.isSet(inputEndOption)) {
        signalWatcher.watchInputEnd();
    }

    DeviceNetwork network(networkOptions);
    DeviceServer server(&network, serverOptions, &journal);
    QString error;
    if (!server.start(&error)) {
        return fail(error);
    }
    // Read by scripts and tests: "port N" is the port really listened on, also when 0 was asked for.
    QTextStream(stdout) << "devsim: " << networkOptions.count << " devices on "
                        << (realLink ? parser.value(interfaceOption) : address.toString()) << " port " << server.port()
                        << Qt::endl;
    return app.exec();
}
