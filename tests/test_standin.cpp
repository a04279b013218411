#include <QTest>

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QVector>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#ifndef Q_OS_WIN
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include "VSDevNetSDK.h"
#include "answerqueue.h"
#include "devicenetwork.h"
#include "protocol.h"
#include "recordtext.h"
#include "scopeguards.h"
#include "signalwatcher.h"
#include "standin_devsimprocess.h"

namespace {

constexpr quint64 Nonce = 0x00c0ffee12345678ULL;
const QByteArray Mac1 = "02:B7:9E:00:00:01";

// Asks the simulator to end as its user would: with a signal on Linux, by closing its input on Windows,
// where a console program gets no signal from another process.
void askToEnd(QProcess &process, int signalNumber)
{
#ifdef Q_OS_WIN
    Q_UNUSED(signalNumber)
    process.closeWriteChannel();
#else
    ::kill(pid_t(process.processId()), signalNumber);
#endif
}

// The hid as the simulator sent it, in UTF-8: the library hands it over in the local 8-bit encoding,
// the ANSI code page on Windows.
QByteArray hidText(const VSOneDev &dev)
{
    return QString::fromLocal8Bit(dev.hid, int(qstrnlen(dev.hid, VSNET_HID_LEN))).toUtf8();
}

QByteArray answer(const QByteArray &body, quint64 nonce = Nonce)
{
    return VsnetProtocol::AnswerMagic + QByteArray::number(nonce, 16).rightJustified(16, '0') + '\n' + body;
}

QByteArray json(const QJsonObject &command)
{
    return QJsonDocument(command).toJson();
}

QByteArray algoCommand(const QByteArray &mac, int type, int reboot)
{
    return json({{QStringLiteral("cmd"), QStringLiteral("brl_algo_config")},
                 {QStringLiteral("mac"), QString::fromLatin1(mac)},
                 {QStringLiteral("brl_algo_type"), type},
                 {QStringLiteral("brl_reboot"), reboot}});
}

QByteArray ipCommand(const QByteArray &mac, int dhcp, const QByteArray &ip = {}, const QByteArray &dns = {})
{
    QJsonObject command {{QStringLiteral("cmd"), QStringLiteral("ip_config_bc")},
                         {QStringLiteral("mac"), QString::fromLatin1(mac)},
                         {QStringLiteral("dev"), QStringLiteral("eth0")},
                         {QStringLiteral("dhcp"), dhcp}};
    if (!dhcp) {
        command.insert(QStringLiteral("ip"), QString::fromLatin1(ip));
        command.insert(QStringLiteral("netmask"), QStringLiteral("255.255.255.0"));
        command.insert(QStringLiteral("gateway"), QStringLiteral("10.1.2.1"));
    }
    if (!dns.isEmpty()) {
        command.insert(QStringLiteral("dns"), QString::fromLatin1(dns));
    }
    return json(command);
}

// The address each device answers with at that time, by MAC.
QMap<QByteArray, QByteArray> answering(const DeviceNetwork &network, qint64 nowMs)
{
    QMap<QByteArray, QByteArray> ips;
    for (const QByteArray &datagram : network.answersFor(VsnetProtocol::encodeProbe(Nonce), nowMs)) {
        VSOneDev dev;
        if (VsnetProtocol::decodeAnswer(datagram, Nonce, &dev)) {
            ips.insert(VsnetProtocol::macText(dev.mac), spanText(dev.ip, VSNET_IP_LEN));
        }
    }
    return ips;
}

// std::mutex rather than QMutex: ThreadSanitizer does not see a contended QMutex synchronise.
struct Collected
{
    std::mutex mutex;
    std::condition_variable changed;
    QMap<QByteArray, VSOneDev> byMac;
    std::atomic<int> calls {0};

    // However loaded the machine, within a generous limit.
    bool waitFor(int count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [&] { return calls.load() >= count; });
    }
};

void collect(VSOneDev *dev, void *context)
{
    auto *collected = static_cast<Collected *>(context);
    std::lock_guard<std::mutex> lock(collected->mutex);
    collected->byMac.insert(VsnetProtocol::macText(dev->mac), *dev);
    ++collected->calls;
    collected->changed.notify_all();
}

// No answer has to arrive inside a short window: the search gets a long one and is ended through
// vsnet_uninit once count devices have been reported (or the limit has passed). Returns the number of
// reports.
int searchUntil(quint16 port, Collected *collected, int count)
{
    const ScopedEnv portSetting("VSNET_PORT", QByteArray::number(port));
    const ScopedEnv window("VSNET_SEARCH_MS", "600000");
    {
        ScopedThread searcher([collected] { vsnet_search(collect, collected); }, &vsnet_uninit);
        collected->waitFor(count);
    }
    vsnet_init();
    return collected->calls;
}

int send(quint16 port, const QByteArray &command, const char *address = "255.255.255.255")
{
    const ScopedEnv portSetting("VSNET_PORT", QByteArray::number(port));
    return vsnet_send_json_msg(address, command.constData());
}

#ifndef Q_OS_WIN
// Shuts down, both ways, every IPv4 socket of this process bound to one of addresses: the system then
// reports it hung up, as it may a socket whose network went away.
void hangUp(const QList<QHostAddress> &addresses)
{
    for (int descriptor = 3; descriptor < 1024; ++descriptor) {
        sockaddr_in local {};
        socklen_t size = sizeof local;
        if (::getsockname(descriptor, reinterpret_cast<sockaddr *>(&local), &size) == 0 && local.sin_family == AF_INET
            && addresses.contains(QHostAddress(ntohl(local.sin_addr.s_addr)))) {
            ::shutdown(descriptor, SHUT_RDWR);
        }
    }
}
#endif

} // namespace

class TestStandin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void decodeAnswer_data();
    void decodeAnswer();
    void decodeAnswerDropsEveryTruncation();
    void hidFitsAfterEncoding_data();
    void hidFitsAfterEncoding();
    void applyCommand_data();
    void applyCommand();
    void rebootSilencesAndLeasesStay();
    void rebindSilencesProbesOnly();
    void dhcpPoolRunsDry();
    void commandFaultInjection();
    void subnetWalk_data();
    void subnetWalk();
    void devsimRefusesRanges_data();
    void devsimRefusesRanges();
    void seedsNeverShareMacs();
    void answerQueueWaitsPerProbeAndDevice();

    void argumentsAndLibraryState();
    void searchReportsSimulatedDevices();
    void commandsChangeNextSearch();
    void faultyAnswersDroppedOverTheWire();
    void garbageFromThreeInTenOfAThousand();
    void concurrentSearchesSeeAllDevices();
    void uninitEndsRunningSearch();
    void commandsBackToBackAllArrive();
    void devsimLifecycle();
    void oneSignalWatcherAtATime();
    void noUsableInterfaceFails_data();
    void noUsableInterfaceFails();
    void linkThatCannotBind_data();
    void linkThatCannotBind();
    void searchOnSocketsThatHangUp_data();
    void searchOnSocketsThatHangUp();
};

void TestStandin::initTestCase()
{
    // Loopback only, whatever the calling environment says.
    qunsetenv("VSNET_BROADCAST");
    qunsetenv("VSNET_INTERFACES");
    qputenv("VSNET_SEARCH_MS", "500");
}

void TestStandin::init()
{
    vsnet_init();
}

void TestStandin::decodeAnswer_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QByteArray>("ip"); // null: the answer is dropped

    const QByteArray mac = "mac=02:B7:9E:00:00:01\n";
    const QByteArray none;
    QTest::newRow("full") << answer(mac + "ip=192.168.1.100\np2pid=P\nversion=V1\nmodel=M\nhid=H1\n")
                          << QByteArray("192.168.1.100");
    QTest::newRow("lower-case mac, unknown key") << answer("colour=red\nmac=02:b7:9e:00:00:01\n") << QByteArray("");
    QTest::newRow("8-bit hid") << answer(mac + "hid=\xe9\x97\xa8\n") << QByteArray("");
    QTest::newRow("texts at span") << answer(mac + "ip=" + QByteArray(31, '1') + "\nhid=" + QByteArray(63, 'h') + "\n")
                                   << QByteArray(31, '1');
    const QByteArray padding = "x=" + QByteArray(VsnetProtocol::MaxAnswerSize, 'x') + '\n';
    QTest::newRow("datagram at size limit") << answer(mac + padding).left(VsnetProtocol::MaxAnswerSize - 1) + '\n'
                                            << QByteArray("");

    QTest::newRow("datagram over size limit") << answer(mac + padding) << none;
    QTest::newRow("empty") << QByteArray() << none;
    QTest::newRow("wrong nonce") << answer(mac, Nonce + 1) << none;
    QTest::newRow("nonce not hex") << VsnetProtocol::AnswerMagic + QByteArray("00c0ffee1234567g\n") + mac << none;
    QTest::newRow("no closing line feed") << answer(mac.chopped(1)) << none;
    QTest::newRow("mac missing") << answer("ip=192.168.1.100\n") << none;
    QTest::newRow("mac not hex") << answer("mac=02:B7:9E:00:00:0G\n") << none;
    QTest::newRow("duplicate key") << answer(mac + "ip=1.1.1.1\nip=2.2.2.2\n") << none;
    QTest::newRow("line without =") << answer(mac + "hello\n") << none;
    QTest::newRow("NUL in text") << answer(mac + QByteArray("model=a\0b\n", 10)) << none;
    QTest::newRow("control byte in text") << answer(mac + "model=a\x01z\n") << none;
    QTest::newRow("ip over span") << answer(mac + "ip=" + QByteArray(32, '1') + "\n") << none;
    QTest::newRow("hid over span") << answer(mac + "hid=" + QByteArray(64, 'h') + "\n") << none;
}

void TestStandin::decodeAnswer()
{
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, ip);

    // A copy of exactly its own size, so a read past the end leaves the buffer.
    const QByteArray exact(datagram.constData(), datagram.size());
    VSOneDev dev;
    std::memset(&dev, 0x5a, sizeof dev);
    QCOMPARE(VsnetProtocol::decodeAnswer(exact, Nonce, &dev), !ip.isNull());
    QVERIFY(terminatedInSpans(dev));
    QVERIFY(std::all_of(dev.reserved, dev.reserved + sizeof dev.reserved, [](char c) { return c == 0; }));
    QCOMPARE(VsnetProtocol::macText(dev.mac), ip.isNull() ? QByteArray("00:00:00:00:00:00") : Mac1);
    QCOMPARE(spanText(dev.ip, VSNET_IP_LEN), ip.isNull() ? QByteArray() : ip);
}

void TestStandin::decodeAnswerDropsEveryTruncation()
{
    const VsnetProtocol::AnswerFields fields {Mac1, "192.168.1.100", "BRL-1", "V2.1.0-A1", "BR-CAM200", "\xe9\x97\xa8"};
    const QByteArray full = VsnetProtocol::encodeAnswer(Nonce, fields);
    VSOneDev dev;
    QVERIFY(VsnetProtocol::decodeAnswer(full, Nonce, &dev));
    QCOMPARE(spanText(dev.p2pid, VSNET_P2PID_LEN), fields.p2pid);
    QCOMPARE(spanText(dev.version, VSNET_VERSION_LEN), fields.version);
    QCOMPARE(spanText(dev.model, VSNET_MODEL_LEN), fields.model);
    QCOMPARE(spanText(dev.hid, VSNET_HID_LEN), fields.hid);
    const int macLineEnd = full.indexOf('\n', full.indexOf("mac=")) + 1;
    for (int size = 0; size < full.size(); ++size) {
        const QByteArray cut(full.constData(), size);
        // Only a cut right after a complete line that follows the mac line leaves a shorter answer.
        const bool wholeLines = size >= macLineEnd && cut.endsWith('\n');
        QVERIFY2(VsnetProtocol::decodeAnswer(cut, Nonce, &dev) == wholeLines, cut.constData());
    }
}

// Windows hands hid over in the ANSI code page; under code page 65001 each invalid UTF-8 byte becomes
// a 3-byte replacement character, so the text grows and must be cut to its span again.
void TestStandin::hidFitsAfterEncoding_data()
{
    QTest::addColumn<QByteArray>("hid");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray replacement = "\xEF\xBF\xBD";
    const QByteArray emoji = "\xF0\x9F\x93\xB7";
    const QByteArray han = "\xE4\xB8\xAD";
    QTest::newRow("fits") << QByteArray(63, 'x') << QByteArray(63, 'x');
    QTest::newRow("invalid bytes grow threefold") << QByteArray(63, '\xFF') << replacement.repeated(21);
    QTest::newRow("cut before a surrogate pair")
        << QByteArray(2, '\xFF') + emoji.repeated(15) << replacement.repeated(2) + emoji.repeated(14);
    QTest::newRow("grows to the span exactly") << '\xFF' + han.repeated(20) << replacement + han.repeated(20);
}

void TestStandin::hidFitsAfterEncoding()
{
    QFETCH(QByteArray, hid);
    QFETCH(QByteArray, expected);

    const QByteArray encoded = VsnetProtocol::encodeWithin(QString::fromUtf8(hid), VSNET_HID_LEN - 1,
                                                           [](const QString &text) { return text.toUtf8(); });
    QCOMPARE(encoded, expected);
}

void TestStandin::applyCommand_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QString>("journal");
    QTest::addColumn<QByteArray>("ip"); // empty: unchanged
    QTest::addColumn<QByteArray>("version");

    const QByteArray same;
    const QString applied = QStringLiteral("applied %1 to 02:B7:9E:00:00:01: ");
    const QString ipApplied = applied.arg(QLatin1String("ip_config_bc"));
    const QString algoApplied = applied.arg(QLatin1String("brl_algo_config"));
    QTest::newRow("static, dns, lower-case mac")
        << ipCommand(Mac1.toLower(), 0, "10.1.2.4", "8.8.8.8;1.1.1.1")
        << ipApplied + "eth0 static ip 10.1.2.4 netmask 255.255.255.0 gateway 10.1.2.1 dns 8.8.8.8;1.1.1.1"
        << QByteArray("10.1.2.4") << same;
    QTest::newRow("dhcp") << ipCommand(Mac1, 1) << ipApplied + "eth0 dhcp lease 172.16.0.10"
                          << QByteArray("172.16.0.10") << same;
    QTest::newRow("algo") << algoCommand(Mac1, 3, 0) << algoApplied + "algorithm 3, no reboot" << same
                          << QByteArray("V2.1.3-A3");
    QTest::newRow("algo, reboot") << algoCommand(Mac1, 1, 1) << algoApplied + "algorithm 1, rebooting for 3000 ms"
                                  << same << QByteArray("V2.1.3-A1");

    QTest::newRow("unknown mac") << algoCommand("02:B7:9E:00:00:99", 2, 0)
                                 << "refused brl_algo_config: unknown MAC 02:B7:9E:00:00:99" << same << same;
    QTest::newRow("mac five bytes") << algoCommand("02:B7:9E:00:01", 1, 0)
                                    << "refused brl_algo_config: member \"mac\" is not a MAC address" << same << same;
    QTest::newRow("malformed json") << QByteArray("{\"cmd\": \"ip_config_bc\",") << "refused: malformed JSON (" << same
                                    << same;
    QTest::newRow("unknown cmd") << QByteArray("{\"cmd\": \"reset\"}") << "refused: unknown cmd \"reset\"" << same
                                 << same;

    QJsonObject base = QJsonDocument::fromJson(ipCommand(Mac1, 0, "10.1.2.3")).object();
    const QJsonValue removed(QJsonValue::Undefined);
    const auto edited = [&base](const char *key, const QJsonValue &value) {
        QJsonObject command = base;
        command.insert(QLatin1String(key), value);
        if (value.isUndefined()) {
            command.remove(QLatin1String(key));
        }
        return json(command);
    };
    const QString refused = QStringLiteral("refused %1 for 02:B7:9E:00:00:01: member ");
    const QString ipRefused = refused.arg(QLatin1String("ip_config_bc"));
    QTest::newRow("dhcp boolean") << edited("dhcp", false) << ipRefused + "\"dhcp\" is not an integer 0..1" << same
                                  << same;
    QTest::newRow("gateway missing") << edited("gateway", removed) << ipRefused + "\"gateway\" is missing" << same
                                     << same;
    QTest::newRow("ip octet 256") << edited("ip", QStringLiteral("10.1.2.256"))
                                  << ipRefused + "\"ip\" is not an IPv4 address" << same << same;
    QTest::newRow("dns number") << edited("dns", 8) << ipRefused + "\"dns\" is not a string" << same << same;
    // Every command is one journal line, whatever line breaks its texts carry.
    QJsonObject withBreaks = base;
    withBreaks.insert(QStringLiteral("dev"), QStringLiteral("eth\n0"));
    withBreaks.insert(QStringLiteral("dns"), QStringLiteral("8.8.8.8\r\n1.1.1.1"));
    QTest::newRow("line breaks in dev and dns") << json(withBreaks)
                                                << ipApplied
            + "eth\\x0a0 static ip 10.1.2.3 netmask 255.255.255.0 gateway 10.1.2.1 dns 8.8.8.8\\x0d\\x0a1.1.1.1"
                                                << QByteArray("10.1.2.3") << same;
    QTest::newRow("line break in cmd") << QByteArray("{\"cmd\": \"re\\nset\", \"mac\": \"") + Mac1 + "\"}"
                                       << "refused: unknown cmd \"re\\x0aset\"" << same << same;
    base = QJsonDocument::fromJson(algoCommand(Mac1, 2, 0)).object();
    const QString algoRefused = refused.arg(QLatin1String("brl_algo_config"));
    QTest::newRow("algo 4") << edited("brl_algo_type", 4) << algoRefused + "\"brl_algo_type\" is not an integer 1..3"
                            << same << same;
    QTest::newRow("algo 1.5") << edited("brl_algo_type", 1.5) << algoRefused + "\"brl_algo_type\" is not an integer"
                              << same << same;
    QTest::newRow("reboot null") << edited("brl_reboot", QJsonValue()) << algoRefused + "\"brl_reboot\" is not an"
                                 << same << same;
}

void TestStandin::applyCommand()
{
    QFETCH(QByteArray, command);
    QFETCH(QString, journal);
    QFETCH(QByteArray, ip);
    QFETCH(QByteArray, version);

    DeviceNetwork network(DeviceNetwork::Options {});
    const DeviceNetwork::Device before = network.devices().at(1);
    const QString line = network.applyCommand(command, 0);
    QVERIFY2(line.startsWith(journal) && !line.contains(QLatin1Char('\n')), qPrintable(line));
    const DeviceNetwork::Device &after = network.devices().at(1);
    QCOMPARE(after.ip, ip.isEmpty() ? before.ip : ip);
    QCOMPARE(DeviceNetwork::versionText(after), version.isEmpty() ? DeviceNetwork::versionText(before) : version);
    if (line.startsWith(QLatin1String("refused"))) {
        QCOMPARE(after.dns, before.dns);
        QCOMPARE(after.silentUntilMs, before.silentUntilMs);
    }
}

void TestStandin::rebootSilencesAndLeasesStay()
{
    DeviceNetwork network(DeviceNetwork::Options {});
    QVERIFY(network.applyCommand(algoCommand(Mac1, 2, 1), 1000).startsWith(QLatin1String("applied")));
    QCOMPARE(answering(network, 1000 + 2999).size(), 15);
    QVERIFY(!answering(network, 1000 + 2999).contains(Mac1));
    QVERIFY(network.applyCommand(ipCommand(Mac1, 1), 2000).endsWith(QLatin1String("device is rebooting")));
    QVERIFY(answering(network, 1000 + 3000).contains(Mac1));

    const QByteArray mac0 = network.devices().at(0).mac;
    QVERIFY(network.applyCommand(ipCommand(mac0, 1), 5000).startsWith(QLatin1String("applied")));
    QVERIFY(network.applyCommand(ipCommand(Mac1, 1), 5000).startsWith(QLatin1String("applied")));
    const QByteArray lease0 = network.devices().at(0).ip;
    QVERIFY(lease0 != network.devices().at(1).ip);
    QVERIFY(network.applyCommand(ipCommand(mac0, 1), 5000).startsWith(QLatin1String("applied")));
    QCOMPARE(network.devices().at(0).ip, lease0);
}

void TestStandin::rebindSilencesProbesOnly()
{
    DeviceNetwork::Options options;
    options.applyMs = 2500;
    DeviceNetwork network(options);
    QVERIFY(network.applyCommand(ipCommand(Mac1, 0, "10.1.2.4"), 1000).startsWith(QLatin1String("applied")));
    QCOMPARE(answering(network, 1000).size(), 15);
    // Still re-binding, it takes a second command, and the later one decides where it comes back.
    QCOMPARE(network.applyCommand(ipCommand(Mac1, 0, "10.1.2.5"), 2000),
             QStringLiteral("applied ip_config_bc to 02:B7:9E:00:00:01: eth0 static ip 10.1.2.5 netmask 255.255.255.0 "
                            "gateway 10.1.2.1"));
    QVERIFY(!answering(network, 2000 + 2499).contains(Mac1));
    QCOMPARE(answering(network, 2000 + 2500).value(Mac1), QByteArray("10.1.2.5"));

    DevsimProcess devsim;
    QVERIFY(devsim.start(
        {QStringLiteral("--count"), QStringLiteral("4"), QStringLiteral("--apply-ms"), QStringLiteral("600000")}));
    const QByteArray mac2 = network.devices().at(2).mac;
    QCOMPARE(send(devsim.port(), ipCommand(mac2, 1)), 0);
    QVERIFY(devsim.waitForJournal(1));
    // Answers leave in device order, so the silent device's would have come before the last one.
    Collected collected;
    QCOMPARE(searchUntil(devsim.port(), &collected, 3), 3);
    QVERIFY(!collected.byMac.contains(mac2));
}

void TestStandin::dhcpPoolRunsDry()
{
    DeviceNetwork::Options options;
    QVERIFY(DeviceNetwork::parseSubnet(QStringLiteral("10.9.9.253/30"), &options.dhcpPool));
    DeviceNetwork network(options);
    const auto dhcp = [&network](int index) {
        return network.applyCommand(ipCommand(network.devices().at(index).mac, 1), 0);
    };
    QVERIFY(dhcp(0).endsWith(QLatin1String("dhcp lease 10.9.9.253")));
    QVERIFY(dhcp(1).endsWith(QLatin1String("dhcp lease 10.9.9.254")));
    const QByteArray before = network.devices().at(2).ip;
    QCOMPARE(dhcp(2),
             QStringLiteral("applied ip_config_bc to %1: eth0 dhcp, no lease: the pool 10.9.9.253/30 has run "
                            "dry, keeps ip %2")
                 .arg(QString::fromLatin1(network.devices().at(2).mac), QString::fromLatin1(before)));
    QCOMPARE(answering(network, 0).value(network.devices().at(2).mac), before);
    // A device back from a static address gets its old lease, which leaves none for the others.
    QVERIFY(network.applyCommand(ipCommand(network.devices().at(0).mac, 0, "10.1.2.4"), 0)
                .startsWith(QLatin1String("applied")));
    QVERIFY(dhcp(0).endsWith(QLatin1String("dhcp lease 10.9.9.253")));
    QVERIFY(dhcp(3).contains(QLatin1String("no lease")));
}

void TestStandin::commandFaultInjection()
{
    DeviceNetwork::Options options;
    options.dropCommands = 0.3;
    options.refuseCommands = 0.3;
    DeviceNetwork network(options);
    int dropped = 0;
    int refused = 0;
    for (int i = 0; i < 300; ++i) {
        const QString line = network.applyCommand(algoCommand(Mac1, 1 + i % 3, 0), 0);
        dropped += line.isEmpty() ? 1 : 0;
        refused += line.startsWith(QLatin1String("refused: fault injection")) ? 1 : 0;
    }
    QVERIFY(dropped > 30 && refused > 30 && dropped + refused < 270);
}

void TestStandin::subnetWalk_data()
{
    QTest::addColumn<QString>("subnet");
    QTest::addColumn<bool>("realLink"); // the walk stays in the subnet
    QTest::addColumn<int>("count");
    QTest::addColumn<QByteArray>("address"); // the last device's; null: refused

    const QByteArray refused;
    QTest::newRow("default, first") << "192.168.1.100/24" << false << 1 << QByteArray("192.168.1.100");
    QTest::newRow("default, last of the /24") << "192.168.1.100/24" << false << 155 << QByteArray("192.168.1.254");
    QTest::newRow("default, past the broadcast") << "192.168.1.100/24" << false << 156 << QByteArray("192.168.2.1");
    QTest::newRow("start on the network address") << "10.20.0.0/24" << false << 1 << QByteArray("10.20.0.1");
    QTest::newRow("start on the broadcast address") << "10.20.0.255/24" << false << 2 << QByteArray("10.20.1.2");
    QTest::newRow("/16 keeps .255 and .0 inside") << "172.16.0.10/16" << false << 247 << QByteArray("172.16.1.0");
    QTest::newRow("/30 has two hosts") << "10.0.0.1/30" << false << 3 << QByteArray("10.0.0.5");
    QTest::newRow("up to the last unicast address")
        << "223.255.255.100/24" << false << 155 << QByteArray("223.255.255.254");
    QTest::newRow("one past the last unicast address") << "223.255.255.100/24" << false << 156 << refused;
    QTest::newRow("/30, one past the last unicast address") << "223.255.255.249/30" << false << 5 << refused;
    QTest::newRow("start in multicast") << "224.0.0.1/24" << false << 1 << refused;
    QTest::newRow("start in 0.0.0.0/8") << "0.0.0.1/24" << false << 1 << refused;
    QTest::newRow("real link, last host") << "192.168.1.100/24" << true << 155 << QByteArray("192.168.1.254");
    QTest::newRow("real link, one host too many") << "192.168.1.100/24" << true << 156 << refused;
    QTest::newRow("real link, start on the broadcast address") << "10.20.0.255/24" << true << 1 << refused;
    QTest::newRow("no prefix") << "10.0.0.1" << false << 1 << refused;
    QTest::newRow("prefix 31") << "10.0.0.1/31" << false << 1 << refused;
    QTest::newRow("prefix 0") << "10.0.0.1/0" << false << 1 << refused;
    QTest::newRow("octet 256") << "10.0.0.256/24" << false << 1 << refused;
}

void TestStandin::subnetWalk()
{
    QFETCH(QString, subnet);
    QFETCH(bool, realLink);
    QFETCH(int, count);
    QFETCH(QByteArray, address);

    DeviceNetwork::Options options;
    const bool fits =
        DeviceNetwork::parseSubnet(subnet, &options.first) && count <= DeviceNetwork::walkRoom(options.first, realLink);
    QCOMPARE(fits, !address.isNull());
    if (!fits) {
        return;
    }
    options.count = count;
    const DeviceNetwork network(options);
    const int last = count - 1;
    QCOMPARE(network.devices().at(last).ip, address);
    const int prefix = subnet.section(QLatin1Char('/'), 1).toInt();
    QCOMPARE(network.devices().at(last).netmask, DeviceNetwork::addressText(~quint32(0) << (32 - prefix)));
    // The device answers by unicast only to a prober in its own subnet.
    const quint32 own = DeviceNetwork::hostAfter(options.first, last);
    QVERIFY(network.sharesSubnet(last, own ^ 1u));
    QVERIFY(!network.sharesSubnet(last, own ^ (1u << (32 - prefix))));
}

void TestStandin::devsimRefusesRanges_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("walk past the unicast addresses")
        << QStringList {QStringLiteral("--subnet"), QStringLiteral("223.255.255.100/24"), QStringLiteral("--count"),
                        QStringLiteral("156")}
        << QStringLiteral("would pass 223.255.255.254, the last unicast address; there is room for 155 devices");
    QTest::newRow("subnet in multicast") << QStringList {QStringLiteral("--subnet"), QStringLiteral("239.1.1.1/24")}
                                         << QStringLiteral("starts outside the unicast addresses");
    QTest::newRow("pool from its broadcast address")
        << QStringList {QStringLiteral("--dhcp-pool"), QStringLiteral("10.0.0.255/24")}
        << QStringLiteral("--dhcp-pool 10.0.0.255/24 holds no unicast host address");
}

void TestStandin::devsimRefusesRanges()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    QProcess devsim;
    devsim.start(QStringLiteral(DEVSIM_PATH), QStringList {QStringLiteral("--port"), QStringLiteral("0")} + arguments);
    QVERIFY(devsim.waitForFinished(10000));
    QCOMPARE(devsim.exitStatus(), QProcess::NormalExit);
    QVERIFY(devsim.exitCode() != 0);
    const QString error = QString::fromUtf8(devsim.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(devsim.readAllStandardOutput().isEmpty());
}

void TestStandin::seedsNeverShareMacs()
{
    const quint32 seeds[] = {0, 1, 2, 3, 0xFFFFFF, 1u << 24, DeviceNetwork::MaxSeed};
    QSet<QByteArray> macs;
    for (const quint32 seed : seeds) {
        DeviceNetwork::Options options;
        options.seed = seed;
        options.count = 257;
        const DeviceNetwork network(options);
        for (const int index : {0, 1, 255, 256}) {
            unsigned char mac[VSNET_MAC_LEN];
            QVERIFY(VsnetProtocol::parseMac(network.devices().at(index).mac, mac));
            QCOMPARE(mac[0] & 0x03, 0x02);
            macs.insert(network.devices().at(index).mac);
        }
    }
    QCOMPARE(macs.size(), int(std::size(seeds)) * 4);
    // Seed 1, the default, keeps the addresses of old.
    QCOMPARE(DeviceNetwork(DeviceNetwork::Options {}).devices().at(1).mac, Mac1);
}

void TestStandin::answerQueueWaitsPerProbeAndDevice()
{
    AnswerQueue queue;
    const AnswerQueue::Probe probe {0x7F000001, 40000, Nonce};
    queue.add(probe, 0, 20, {"late", probe.prober, probe.port}, 1);
    queue.add(probe, 1, 10, {"early", probe.prober, probe.port}, 2);
    QCOMPARE(queue.size(), 3);
    // Another nonce or another port of the same prober is another probe.
    QVERIFY(!queue.isWaiting({probe.prober, probe.port, Nonce + 1}, 0));
    QVERIFY(!queue.isWaiting({probe.prober, 40001, Nonce}, 0));
    QVERIFY(!queue.isWaiting(probe, 2));

    // A device waits until the last copy of its answer is out; answers leave earliest due first.
    const QByteArray expected[] = {"early", "early", "late"};
    const bool stillWaiting[][2] = {{true, true}, {true, false}, {false, false}};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(queue.next().datagram, expected[i]);
        queue.removeNext();
        QCOMPARE(queue.isWaiting(probe, 0), stillWaiting[i][0]);
        QCOMPARE(queue.isWaiting(probe, 1), stillWaiting[i][1]);
    }
    QVERIFY(queue.isEmpty());
}

void TestStandin::argumentsAndLibraryState()
{
    Collected collected;
    QCOMPARE(vsnet_search(nullptr, &collected), int(VSNET_ERR_INVALID_ARGUMENT));
    QCOMPARE(vsnet_send_json_msg(nullptr, "{}"), int(VSNET_ERR_INVALID_ARGUMENT));
    QCOMPARE(vsnet_send_json_msg("255.255.255.255", nullptr), int(VSNET_ERR_INVALID_ARGUMENT));
    QCOMPARE(vsnet_send_json_msg("127.0.0.256", "{}"), int(VSNET_ERR_INVALID_ARGUMENT));
    const QList<QPair<const char *, QByteArray>> badSettings {{"VSNET_PORT", "seventy"},
                                                              {"VSNET_PORT", "70000"},
                                                              {"VSNET_BROADCAST", "127.255.255"},
                                                              {"VSNET_SEARCH_MS", "-1"}};
    for (const auto &setting : badSettings) {
        const ScopedEnv bad(setting.first, setting.second);
        QCOMPARE(vsnet_search(collect, &collected), int(VSNET_ERR_INVALID_ARGUMENT));
    }

    QCOMPARE(vsnet_init(), 0);
    QCOMPARE(vsnet_uninit(), 0);
    QCOMPARE(vsnet_uninit(), 0);
    QCOMPARE(vsnet_search(collect, &collected), int(VSNET_ERR_NOT_INITIALISED));
    QCOMPARE(vsnet_send_json_msg("255.255.255.255", "{}"), int(VSNET_ERR_NOT_INITIALISED));
    QCOMPARE(collected.calls.load(), 0);
}

void TestStandin::searchReportsSimulatedDevices()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start({QStringLiteral("--count"), QStringLiteral("40")}));
    Collected collected;
    // The one search that runs its whole window, to see its result count the reports: long enough
    // for forty answers on loopback however loaded the machine.
    {
        const ScopedEnv portSetting("VSNET_PORT", QByteArray::number(devsim.port()));
        const ScopedEnv window("VSNET_SEARCH_MS", "3000");
        QCOMPARE(vsnet_search(collect, &collected), 40);
    }
    QCOMPARE(collected.byMac.size(), 40);

    DeviceNetwork::Options options;
    options.count = 40;
    const DeviceNetwork expected(options);
    QSet<QByteArray> hids;
    for (const DeviceNetwork::Device &device : expected.devices()) {
        QVERIFY2(collected.byMac.contains(device.mac), device.mac.constData());
        const VSOneDev &dev = collected.byMac.value(device.mac);
        QVERIFY(terminatedInSpans(dev));
        QCOMPARE(spanText(dev.ip, VSNET_IP_LEN), device.ip);
        QCOMPARE(spanText(dev.p2pid, VSNET_P2PID_LEN), device.p2pid);
        QCOMPARE(spanText(dev.version, VSNET_VERSION_LEN), DeviceNetwork::versionText(device));
        QCOMPARE(spanText(dev.model, VSNET_MODEL_LEN), device.model);
        QCOMPARE(hidText(dev), device.hid);
        // Locally administered unicast, with a byte that a signed char would turn negative.
        QVERIFY((dev.mac[0] & 0x03) == 0x02);
        QVERIFY(std::any_of(dev.mac, dev.mac + VSNET_MAC_LEN, [](unsigned char b) { return b >= 0x80; }));
        hids.insert(device.hid);
    }
    QVERIFY(hids.contains(QByteArray()) && hids.size() > 2);
    const unsigned char mac1[VSNET_MAC_LEN] = {0x02, 0xB7, 0x9E, 0x00, 0x00, 0x01};
    QCOMPARE(std::memcmp(collected.byMac.value(Mac1).mac, mac1, VSNET_MAC_LEN), 0);
}

void TestStandin::commandsChangeNextSearch()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start({QStringLiteral("--count"), QStringLiteral("8")}));
    const DeviceNetwork initial(DeviceNetwork::Options {});
    const QByteArray mac2 = initial.devices().at(2).mac;
    const QByteArray mac3 = initial.devices().at(3).mac;
    const QByteArray mac4 = initial.devices().at(4).mac;

    QCOMPARE(send(devsim.port(), "not json at all"), 0);
    QCOMPARE(send(devsim.port(), ipCommand(mac2.toLower(), 0, "10.20.30.40")), 0);
    QCOMPARE(send(devsim.port(), algoCommand(mac3, 3, 0)), 0);
    QCOMPARE(send(devsim.port(), ipCommand(mac4, 1, {}, "10.0.0.53")), 0);
    QVERIFY(devsim.waitForJournal(4));
    QVERIFY2(devsim.journal().at(0).startsWith(QLatin1String("refused: malformed JSON")),
             qPrintable(devsim.journal().at(0)));
    QCOMPARE(devsim.journal().filter(QRegularExpression(QStringLiteral("^applied"))).size(), 3);

    Collected collected;
    QCOMPARE(searchUntil(devsim.port(), &collected, 8), 8);
    QCOMPARE(spanText(collected.byMac.value(mac2).ip, VSNET_IP_LEN), QByteArray("10.20.30.40"));
    QVERIFY(spanText(collected.byMac.value(mac3).version, VSNET_VERSION_LEN).endsWith("-A3"));
    QCOMPARE(spanText(collected.byMac.value(mac4).ip, VSNET_IP_LEN), QByteArray("172.16.0.10"));
    QCOMPARE(spanText(collected.byMac.value(initial.devices().at(5).mac).ip, VSNET_IP_LEN), initial.devices().at(5).ip);
}

void TestStandin::faultyAnswersDroppedOverTheWire()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start({QStringLiteral("--count"), QStringLiteral("60"), QStringLiteral("--garbage-share"),
                          QStringLiteral("0.25"), QStringLiteral("--oversize"), QStringLiteral("--duplicates"),
                          QStringLiteral("3"), QStringLiteral("--jitter-ms"), QStringLiteral("40"),
                          QStringLiteral("--burst")}));
    DeviceNetwork::Options options;
    options.count = 60;
    options.garbageShare = 0.25;
    options.oversize = true;
    const DeviceNetwork network(options);
    QSet<QByteArray> expected;
    QSet<QByteArray> atSpan;
    for (const DeviceNetwork::Device &device : network.devices()) {
        if (device.kind == DeviceNetwork::AnswerKind::Normal || device.kind == DeviceNetwork::AnswerKind::AtSpan) {
            expected.insert(device.mac);
        }
        if (device.kind == DeviceNetwork::AnswerKind::AtSpan) {
            atSpan.insert(device.mac);
        }
    }
    QVERIFY(expected.size() > 20 && expected.size() < 60 && !atSpan.isEmpty());

    Collected collected;
    QCOMPARE(searchUntil(devsim.port(), &collected, expected.size()), expected.size());
    QCOMPARE(collected.calls.load(), expected.size());
    const QList<QByteArray> macs = collected.byMac.keys();
    QCOMPARE(QSet<QByteArray>(macs.begin(), macs.end()), expected);
    for (const QByteArray &mac : std::as_const(atSpan)) {
        const VSOneDev &dev = collected.byMac.value(mac);
        QCOMPARE(qstrnlen(dev.p2pid, VSNET_P2PID_LEN), uint(VSNET_P2PID_LEN - 1));
        QCOMPARE(hidText(dev).size(), VSNET_HID_LEN - 1);
    }
}

void TestStandin::garbageFromThreeInTenOfAThousand()
{
    DeviceNetwork::Options options;
    options.count = 1000;
    options.garbageShare = 0.3;
    const DeviceNetwork network(options);
    QSet<QByteArray> valid;
    for (const DeviceNetwork::Device &device : network.devices()) {
        if (device.kind == DeviceNetwork::AnswerKind::Normal) {
            valid.insert(device.mac);
        }
    }
    QCOMPARE(valid.size(), 700);

    // The 300 malformed answers cycle through every form, not only through those whose device index
    // happens to fit: an empty one and one for another probe are among them.
    int accepted = 0;
    bool empty = false;
    bool otherNonce = false;
    for (const QByteArray &datagram : network.answersFor(VsnetProtocol::encodeProbe(Nonce), 0)) {
        VSOneDev dev;
        accepted += VsnetProtocol::decodeAnswer(datagram, Nonce, &dev) ? 1 : 0;
        empty = empty || datagram.isEmpty();
        otherNonce = otherNonce || VsnetProtocol::decodeAnswer(datagram, Nonce + 1, &dev);
    }
    QCOMPARE(accepted, 700);
    QVERIFY(empty && otherNonce);

    DevsimProcess devsim;
    QVERIFY(devsim.start({QStringLiteral("--count"), QStringLiteral("1000"), QStringLiteral("--garbage-share"),
                          QStringLiteral("0.3"),
                          // Spread out, the answers fit the receive buffer that an unprivileged searcher gets.
                          QStringLiteral("--jitter-ms"), QStringLiteral("200")}));
    for (int round = 0; round < 2; ++round) {
        Collected collected;
        QCOMPARE(searchUntil(devsim.port(), &collected, 700), 700);
        QCOMPARE(collected.calls.load(), 700);
        const QList<QByteArray> macs = collected.byMac.keys();
        QCOMPARE(QSet<QByteArray>(macs.begin(), macs.end()), valid);
        for (const QByteArray &mac : macs) {
            QCOMPARE(spanText(collected.byMac.value(mac).ip, VSNET_IP_LEN),
                     network.devices().at(network.indexOfMac(mac)).ip);
        }
    }
}

void TestStandin::concurrentSearchesSeeAllDevices()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start(
        {QStringLiteral("--count"), QStringLiteral("500"), QStringLiteral("--jitter-ms"), QStringLiteral("100")}));
    const ScopedEnv port("VSNET_PORT", QByteArray::number(devsim.port()));
    const ScopedEnv window("VSNET_SEARCH_MS", "600000");
    Collected first;
    Collected second;
    {
        ScopedThread a([&first] { vsnet_search(collect, &first); }, &vsnet_uninit);
        ScopedThread b([&second] { vsnet_search(collect, &second); }, &vsnet_uninit);
        QVERIFY(first.waitFor(500));
        QVERIFY(second.waitFor(500));
    }
    vsnet_init();
    QCOMPARE(first.byMac.size(), 500);
    QCOMPARE(second.byMac.size(), 500);
    QCOMPARE(first.calls.load() + second.calls.load(), 1000);
}

void TestStandin::uninitEndsRunningSearch()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start({QStringLiteral("--count"), QStringLiteral("16")}));
    const ScopedEnv port("VSNET_PORT", QByteArray::number(devsim.port()));
    const ScopedEnv window("VSNET_SEARCH_MS", "600000");

    // The last callback is still running when vsnet_uninit is called, and watches a while for that
    // call to return, which must not happen before the search has ended.
    struct Context
    {
        std::atomic<int> calls {0};
        std::atomic<bool> uninitReturned {false};
        std::atomic<bool> sawUninitReturned {false};
    } context;
    const auto callback = [](VSOneDev *, void *opaque) {
        auto *c = static_cast<Context *>(opaque);
        if (++c->calls < 16) {
            return;
        }
        const QDeadlineTimer deadline(300);
        while (!deadline.hasExpired() && !c->uninitReturned) {
            std::this_thread::yield();
        }
        c->sawUninitReturned = c->uninitReturned.load();
    };
    std::atomic<int> result {1};
    ScopedThread searcher([&result, &context, callback] { result = vsnet_search(callback, &context); }, &vsnet_uninit);
    QTRY_COMPARE_WITH_TIMEOUT(context.calls.load(), 16, 30000);
    vsnet_uninit();
    context.uninitReturned = true;
    searcher.join();
    QVERIFY(!context.sawUninitReturned);
    QCOMPARE(result.load(), int(VSNET_ERR_ABORTED));
    QCOMPARE(context.calls.load(), 16);

    Collected collected;
    QCOMPARE(vsnet_search(collect, &collected), int(VSNET_ERR_NOT_INITIALISED));
    vsnet_init();
    QCOMPARE(searchUntil(devsim.port(), &collected, 16), 16);
}

void TestStandin::commandsBackToBackAllArrive()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start({QStringLiteral("--count"), QStringLiteral("2000")}));
    DeviceNetwork::Options options;
    options.count = 2000;
    const DeviceNetwork network(options);
    // Back to back in runs of 50, each awaited: a run fits the default receive buffer that an
    // unprivileged simulator gets, while the sends within it still come faster than it reads.
    int sent = 0;
    for (const DeviceNetwork::Device &device : network.devices()) {
        QCOMPARE(send(devsim.port(), algoCommand(device.mac, 1 + device.algorithm % 3, 0)), 0);
        if (++sent % 50 == 0) {
            QVERIFY(devsim.waitForJournal(sent, 30000));
        }
    }
    QCOMPARE(devsim.journal().size(), 2000);
    QCOMPARE(devsim.journal().filter(QStringLiteral("applied brl_algo_config")).size(), 2000);
}

void TestStandin::devsimLifecycle()
{
    // A port the system handed out and that stays held, so no simulator of a parallel test is on it.
    QUdpSocket silent;
    QVERIFY(silent.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 silentPort = silent.localPort();
    const auto probe = [](quint16 probedPort) {
        QProcess prober;
        prober.start(QStringLiteral(DEVSIM_PATH),
                     {QStringLiteral("--probe"), QStringLiteral("--port"), QString::number(probedPort)});
        return prober.waitForFinished(10000) && prober.exitStatus() == QProcess::NormalExit ? prober.exitCode() : -1;
    };

    DevsimProcess devsim;
    QVERIFY(devsim.start());
    const quint16 port = devsim.port();
    QCOMPARE(probe(port), 0);
    QVERIFY(probe(silentPort) > 0);
    DevsimProcess sameport(port);
    QVERIFY(!sameport.start());
    QVERIFY(sameport.process().exitCode() != 0);
    // Asked to, two simulators share a port, and one search reaches both: the second's devices at the
    // first's addresses, as a hand check of address conflicts needs.
    DevsimProcess first;
    QVERIFY(first.start({QStringLiteral("--share-port"), QStringLiteral("--count"), QStringLiteral("3")}));
    DevsimProcess second(first.port());
    QVERIFY(second.start({QStringLiteral("--share-port"), QStringLiteral("--count"), QStringLiteral("3"),
                          QStringLiteral("--seed"), QStringLiteral("2")}));
    {
        const ScopedEnv portSetting("VSNET_PORT", QByteArray::number(first.port()));
        Collected collected;
        QCOMPARE(vsnet_search(collect, &collected), 6);
        QSet<QByteArray> addresses;
        for (const VSOneDev &dev : std::as_const(collected.byMac)) {
            addresses.insert(spanText(dev.ip, VSNET_IP_LEN));
        }
        QCOMPARE(addresses.size(), 3);
    }
    DevsimProcess badOption(silentPort);
    QVERIFY(!badOption.start({QStringLiteral("--garbage-share"), QStringLiteral("1.5")}));

    askToEnd(devsim.process(), SIGINT);
    QVERIFY(devsim.process().waitForFinished(10000));
    QCOMPARE(devsim.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(devsim.process().exitCode(), 0);

    // Also: an address other than the broadcast one is used as given.
    DevsimProcess unicast;
    QVERIFY(unicast.start({QStringLiteral("--address"), QStringLiteral("127.0.0.1")}));
    QCOMPARE(send(unicast.port(), algoCommand(Mac1, 2, 0), "127.0.0.1"), 0);
    QVERIFY(unicast.waitForJournal(1));
    QVERIFY(unicast.journal().at(0).startsWith(QLatin1String("applied brl_algo_config to 02:B7:9E:00:00:01")));
    askToEnd(unicast.process(), SIGTERM);
    QVERIFY(unicast.process().waitForFinished(10000));
    QCOMPARE(unicast.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(unicast.process().exitCode(), 0);
}

void TestStandin::oneSignalWatcherAtATime()
{
    auto first = std::make_unique<SignalWatcher>();
    QVERIFY(first->isWatching());
    {
        const SignalWatcher second;
        QVERIFY(!second.isWatching());
    }
#ifndef Q_OS_WIN
    // The second one's end left the first one's handler in place.
    QSignalSpy received(first.get(), &SignalWatcher::received);
    std::raise(SIGTERM);
    QVERIFY(received.wait(10000));
    QCOMPARE(received.first().first().toInt(), SIGTERM);
#endif
    first.reset();
    const SignalWatcher next;
    QVERIFY(next.isWatching());
}

void TestStandin::noUsableInterfaceFails_data()
{
    QTest::addColumn<QByteArray>("interfaces");

    // Each fails while choosing interfaces, before anything is sent. No machine can have the unknown
    // name: it is longer than the kernel's interface names.
    QTest::newRow("unknown name") << QByteArray("no-such-interface");
    QTest::newRow("unknown name after loopback") << QByteArray("lo,no-such-interface");
    QTest::newRow("loopback alone") << QByteArray("lo");
    QTest::newRow("commas only") << QByteArray(" , ");
}

void TestStandin::noUsableInterfaceFails()
{
    QFETCH(QByteArray, interfaces);

    QUdpSocket silent;
    QVERIFY(silent.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const ScopedEnv port("VSNET_PORT", QByteArray::number(silent.localPort()));
    const ScopedEnv realLink("VSNET_INTERFACES", interfaces);
    Collected collected;
    QCOMPARE(vsnet_search(collect, &collected), int(VSNET_ERR_NO_INTERFACE));
    QCOMPARE(vsnet_send_json_msg("255.255.255.255", algoCommand(Mac1, 2, 0).constData()), int(VSNET_ERR_NO_INTERFACE));
    QCOMPARE(collected.calls.load(), 0);
}

// A socket per link, as Windows binds one per adapter: one link's socket cannot be bound, as when an
// adapter loses its address between the list and the bind, and the other still serves.
void TestStandin::linkThatCannotBind_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<bool>("portHeld");

    // Reserved for documentation, so on no machine.
    QTest::newRow("address on no machine") << QByteArray("192.0.2.1") << false;
    // Loopback only, so that it runs under Wine too.
    QTest::newRow("port held by another socket") << QByteArray("127.0.0.2") << true;
}

void TestStandin::linkThatCannotBind()
{
    QFETCH(QByteArray, address);
    QFETCH(bool, portHeld);

    QUdpSocket holder;
    QByteArray failing = address;
    if (portHeld) {
        QVERIFY(holder.bind(QHostAddress(QString::fromLatin1(address)), 0, QUdpSocket::DontShareAddress));
        failing += ':' + QByteArray::number(holder.localPort());
    } else if (holder.bind(QHostAddress(QString::fromLatin1(address)), 0)) {
        QSKIP("this system binds an address it does not have, as Wine does");
    }
    DevsimProcess devsim;
    QVERIFY(devsim.start({QStringLiteral("--count"), QStringLiteral("8")}));
    {
        const ScopedEnv links("VSNET_TEST_LINKS", failing + ",127.0.0.1");
        Collected collected;
        QCOMPARE(searchUntil(devsim.port(), &collected, 8), 8);
        QCOMPARE(send(devsim.port(), algoCommand(Mac1, 2, 0)), 0);
        QVERIFY(devsim.waitForJournal(1));
    }
    const ScopedEnv links("VSNET_TEST_LINKS", failing);
    Collected collected;
    QCOMPARE(vsnet_search(collect, &collected), int(VSNET_ERR_SOCKET));
    QCOMPARE(send(devsim.port(), algoCommand(Mac1, 3, 0)), int(VSNET_ERR_SOCKET));
    QCOMPARE(devsim.journal().size(), 1);
}

void TestStandin::searchOnSocketsThatHangUp_data()
{
    QTest::addColumn<QByteArray>("hungUp");
    QTest::addColumn<bool>("fails");

    QTest::newRow("one of two") << QByteArray("127.0.0.3") << false;
    QTest::newRow("every one") << QByteArray("127.0.0.3,127.0.0.4") << true;
}

// Once no socket is left to hear answers, what the search reported is only part of them.
void TestStandin::searchOnSocketsThatHangUp()
{
#ifdef Q_OS_WIN
    QSKIP("reaching the library's sockets takes the descriptors of Linux");
#else
    QFETCH(QByteArray, hungUp);
    QFETCH(bool, fails);

    DevsimProcess devsim;
    QVERIFY(devsim.start({QStringLiteral("--count"), QStringLiteral("8")}));
    const ScopedEnv portSetting("VSNET_PORT", QByteArray::number(devsim.port()));
    const ScopedEnv window("VSNET_SEARCH_MS", "3000");
    const ScopedEnv links("VSNET_TEST_LINKS", "127.0.0.3,127.0.0.4");
    struct Context
    {
        QList<QHostAddress> hungUp;
        int calls = 0;
    } context;
    for (const QByteArray &address : hungUp.split(',')) {
        context.hungUp.append(QHostAddress(QString::fromLatin1(address)));
    }
    const auto callback = [](VSOneDev *, void *opaque) {
        auto *c = static_cast<Context *>(opaque);
        if (c->calls++ == 0) {
            hangUp(c->hungUp);
        }
    };
    const int result = vsnet_search(callback, &context);
    QVERIFY(context.calls > 0);
    QCOMPARE(result, fails ? int(VSNET_ERR_SOCKET) : context.calls);
#endif
}

QTEST_GUILESS_MAIN(TestStandin)
#include "test_standin.moc"
