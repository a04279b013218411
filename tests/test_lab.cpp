#include <QtTest>

#include <QHostAddress>
#include <QMap>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QUdpSocket>

#include <memory>
#include <mutex>
#include <sched.h>
#include <unistd.h>
#include <vector>

#include "VSDevNetSDK.h"
#include "batch/addressplan.h"
#include "batch/devicecommand.h"
#include "devicenetwork.h"
#include "protocol.h"
#include "recordtext.h"
#include "scopeguards.h"
#include "standin_devsimprocess.h"

namespace {

// The simulators' hosts in the lab scripts/lab builds: two on bridge A, one on bridge B.
enum Host { LanA, FactoryA, LanB };

struct Devices
{
    Host host;
    QString subnet;
    int count;
};

const char *const HostNamespaces[] = {"LAB_A", "LAB_FACTORY", "LAB_B"};

QByteArray netnsOfThisProcess()
{
    char target[64] = {};
    const ssize_t size = ::readlink("/proc/self/ns/net", target, sizeof target - 1);
    return size > 0 ? QByteArray(target, int(size)) : QByteArray();
}

DeviceNetwork expectedNetwork(const Devices &devices)
{
    DeviceNetwork::Options options;
    options.count = devices.count;
    options.seed = quint32(10 + devices.host);
    DeviceNetwork::parseSubnet(devices.subnet, &options.first);
    return DeviceNetwork(options);
}

// MAC to address of each device that the entries on the given hosts start.
QMap<QByteArray, QByteArray> addressesByMac(const std::vector<Devices> &devices,
                                            const QVector<int> &hosts = {LanA, FactoryA, LanB})
{
    QMap<QByteArray, QByteArray> addresses;
    for (const Devices &entry : devices) {
        const DeviceNetwork network = expectedNetwork(entry);
        for (const DeviceNetwork::Device &device : network.devices()) {
            if (hosts.contains(entry.host)) {
                addresses.insert(device.mac, device.ip);
            }
        }
    }
    return addresses;
}

struct Collected
{
    std::mutex mutex;
    QMap<QByteArray, QByteArray> ipByMac; // the latest address reported
    QStringList reports; // "MAC address", in the order reported
};

void collect(VSOneDev *dev, void *context)
{
    auto *collected = static_cast<Collected *>(context);
    std::lock_guard<std::mutex> lock(collected->mutex);
    const QByteArray mac = VsnetProtocol::macText(dev->mac);
    const QByteArray ip = spanText(dev->ip, VSNET_IP_LEN);
    collected->ipByMac.insert(mac, ip);
    collected->reports << QString::fromLatin1(mac + ' ' + ip);
}

int search(const QByteArray &interfaces, Collected *collected)
{
    qputenv("VSNET_INTERFACES", interfaces);
    return vsnet_search(collect, collected);
}

int send(const QByteArray &interfaces, const QByteArray &command)
{
    qputenv("VSNET_INTERFACES", interfaces);
    return vsnet_send_json_msg("255.255.255.255", command.constData());
}

} // namespace

class TestLab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchFindsEveryLinkOnce_data();
    void searchFindsEveryLinkOnce();
    void batchIpMovesFactoryDevices();
    void commandsStayOnTheirLink_data();
    void commandsStayOnTheirLink();
    void lossyLinks();
    void deviceMovedDuringSearchShowsAgain();
    void oneRefusingLink_data();
    void oneRefusingLink();
    void noUsableInterfaceFails_data();
    void noUsableInterfaceFails();
    void linkLosesItsAddress();

private:
    // Starts one simulator per entry, all on one port, the first chosen by the system; VSNET_PORT then names it.
    void startDevices(const std::vector<Devices> &devices, const QStringList &extra = {});
    // Probes by a plain socket out of interface and returns, per MAC, the address each answer was
    // sent to: the pc's own for unicast, 255.255.255.255 for a broadcast.
    QMap<QByteArray, QHostAddress> answerDestinations(const QString &interface, int expected);
    DevsimProcess &simulator(Host host);

    std::vector<std::unique_ptr<DevsimProcess>> m_simulators;
    QVector<Host> m_hosts;
    quint16 m_port = 0;
};

void TestLab::initTestCase()
{
    // The guard: real-link traffic only inside the lab's own namespaces, never the machine's.
    const QByteArray hostNetns = qgetenv("LAB_HOST_NETNS");
    if (hostNetns.isEmpty() || netnsOfThisProcess() == hostNetns || qEnvironmentVariableIsEmpty("LAB_PC_A")) {
        QFAIL("not inside the lab; run this through scripts/lab");
    }
    qunsetenv("VSNET_BROADCAST");
    qunsetenv("VSNET_SEARCH_MS");
}

void TestLab::init()
{
    vsnet_init();
}

void TestLab::cleanup()
{
    vsnet_uninit();
    m_simulators.clear();
    m_hosts.clear();
    qunsetenv("VSNET_INTERFACES");
    qunsetenv("VSNET_PORT");
    qunsetenv("VSNET_SEARCH_MS");
    qunsetenv("VSNET_BROADCAST");
    qunsetenv("VSNET_TEST_LINKS");
}

void TestLab::startDevices(const std::vector<Devices> &devices, const QStringList &extra)
{
    // The first simulator takes a port the system chooses; each host being a namespace of its own,
    // the same port is free on the others.
    m_port = 0;
    for (const Devices &entry : devices) {
        auto devsim = std::make_unique<DevsimProcess>(m_port);
        devsim->setNetworkNamespace(qEnvironmentVariable(HostNamespaces[entry.host]));
        QVERIFY(devsim->start(QStringList {QStringLiteral("--interface"), QStringLiteral("eth0"),
                                           QStringLiteral("--subnet"), entry.subnet, QStringLiteral("--count"),
                                           QString::number(entry.count), QStringLiteral("--seed"),
                                           QString::number(10 + entry.host)}
                              + extra));
        QVERIFY(devsim->port() != 0);
        m_port = devsim->port();
        m_simulators.push_back(std::move(devsim));
        m_hosts.append(entry.host);
    }
    qputenv("VSNET_PORT", QByteArray::number(m_port));
}

DevsimProcess &TestLab::simulator(Host host)
{
    return *m_simulators.at(size_t(m_hosts.indexOf(host)));
}

QMap<QByteArray, QHostAddress> TestLab::answerDestinations(const QString &interface, int expected)
{
    QMap<QByteArray, QHostAddress> destinations;
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        return destinations;
    }
    const quint64 nonce = 0x1ab0000000000001ULL;
    QNetworkDatagram probe(VsnetProtocol::encodeProbe(nonce), QHostAddress(QHostAddress::Broadcast), m_port);
    probe.setInterfaceIndex(uint(QNetworkInterface::interfaceIndexFromName(interface)));
    socket.writeDatagram(probe);
    const QDeadlineTimer deadline(5000);
    while (destinations.size() < expected && !deadline.hasExpired()) {
        socket.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)));
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram answer = socket.receiveDatagram();
            VSOneDev dev;
            if (VsnetProtocol::decodeAnswer(answer.data(), nonce, &dev)) {
                destinations.insert(VsnetProtocol::macText(dev.mac), answer.destinationAddress());
            }
        }
    }
    return destinations;
}

void TestLab::searchFindsEveryLinkOnce_data()
{
    QTest::addColumn<QByteArray>("interfaces");
    QTest::addColumn<QVector<int>>("reached");

    const QByteArray a = qgetenv("LAB_PC_A");
    const QByteArray b = qgetenv("LAB_PC_B");
    QTest::newRow("all") << QByteArray("all") << QVector<int> {LanA, FactoryA, LanB};
    QTest::newRow("bridge A only") << a << QVector<int> {LanA, FactoryA};
    QTest::newRow("bridge B only") << b << QVector<int> {LanB};
    QTest::newRow("list with spaces and a repeat")
        << " " + b + " , " + a + "," + b << QVector<int> {LanA, FactoryA, LanB};
}

void TestLab::searchFindsEveryLinkOnce()
{
    QFETCH(QByteArray, interfaces);
    QFETCH(QVector<int>, reached);

    const std::vector<Devices> devices {{LanA, QStringLiteral("192.168.1.100/24"), 20},
                                        {FactoryA, QStringLiteral("10.20.0.100/24"), 10},
                                        {LanB, QStringLiteral("172.16.0.100/24"), 15}};
    startDevices(devices);
    const QMap<QByteArray, QByteArray> expected = addressesByMac(devices, reached);

    Collected collected;
    QCOMPARE(search(interfaces, &collected), expected.size());
    // Each device answers four probes, the foreign ones by broadcast: still one report each.
    QCOMPARE(collected.reports.size(), expected.size());
    QCOMPARE(collected.ipByMac, expected);
}

void TestLab::batchIpMovesFactoryDevices()
{
    const std::vector<Devices> devices {{LanA, QStringLiteral("192.168.1.100/24"), 6},
                                        {FactoryA, QStringLiteral("10.20.0.100/24"), 4},
                                        {LanB, QStringLiteral("172.16.0.100/24"), 3}};
    startDevices(devices);
    QMap<QByteArray, QByteArray> expected = addressesByMac(devices);
    const QString lanA = qEnvironmentVariable("LAB_PC_A");
    const QHostAddress pc(QStringLiteral("192.168.1.2"));
    const QHostAddress broadcast(QHostAddress::Broadcast);
    const DeviceNetwork factory = expectedNetwork(devices.at(1));

    // A device outside the prober's subnet can only answer by broadcast; the others by unicast.
    QMap<QByteArray, QHostAddress> destinations = answerDestinations(lanA, 10);
    QCOMPARE(destinations.size(), 10);
    for (auto it = destinations.cbegin(); it != destinations.cend(); ++it) {
        QCOMPARE(it.value(), factory.indexOfMac(it.key()) >= 0 ? broadcast : pc);
    }

    // As the window sends it: one broadcast command per checked device, consecutive addresses.
    const QStringList plan = Batch::planAddresses(QStringLiteral("192.168.1.150"), factory.devices().size());
    for (int i = 0; i < factory.devices().size(); ++i) {
        const QByteArray mac = factory.devices().at(i).mac;
        QCOMPARE(send("all",
                      Batch::ipConfigCommand(QString::fromLatin1(mac), 0, plan.at(i), QStringLiteral("255.255.255.0"),
                                             QStringLiteral("192.168.1.1"), QString())),
                 0);
        expected.insert(mac, plan.at(i).toLatin1());
    }
    QVERIFY(simulator(FactoryA).waitForJournal(4));
    QCOMPARE(simulator(FactoryA).journal().filter(QStringLiteral("applied ip_config_bc")).size(), 4);

    Collected collected;
    QCOMPARE(search("all", &collected), expected.size());
    QCOMPARE(collected.ipByMac, expected);

    destinations = answerDestinations(lanA, 10);
    QCOMPARE(destinations.size(), 10);
    QCOMPARE(QSet<QHostAddress>(destinations.cbegin(), destinations.cend()), QSet<QHostAddress> {pc});
}

void TestLab::commandsStayOnTheirLink_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QByteArray>("otherLink");
    QTest::addColumn<QByteArray>("ownLink");

    QTest::newRow("device on bridge B") << int(LanB) << qgetenv("LAB_PC_A") << qgetenv("LAB_PC_B");
    QTest::newRow("factory device on bridge A") << int(FactoryA) << qgetenv("LAB_PC_B") << qgetenv("LAB_PC_A");
}

void TestLab::commandsStayOnTheirLink()
{
    QFETCH(int, target);
    QFETCH(QByteArray, otherLink);
    QFETCH(QByteArray, ownLink);

    const Devices entry {Host(target), QStringLiteral("10.30.0.100/24"), 2};
    startDevices({entry});
    const QString mac = QString::fromLatin1(expectedNetwork(entry).devices().at(1).mac);

    // Sent first, out of the other link, it must not arrive; the one sent later on its own link
    // must, and alone.
    QCOMPARE(send(otherLink, Batch::algoConfigCommand(mac, 2, 0)), 0);
    QCOMPARE(send(ownLink, Batch::algoConfigCommand(mac, 3, 0)), 0);
    QVERIFY(simulator(Host(target)).waitForJournal(1));
    QCOMPARE(simulator(Host(target)).journal(),
             QStringList {QStringLiteral("applied brl_algo_config to %1: algorithm 3, no reboot").arg(mac)});
}

// Fully determined by the seeds: each simulator draws its drops from a generator seeded by --seed, in
// the order of the probes it hears and of its devices, and hears the same four probes in every run;
// the window, far longer than the last probe's answers take, keeps load from cutting them off. The
// counts therefore repeat exactly from run to run, and a shortfall means a fault, not bad luck.
void TestLab::lossyLinks()
{
    const std::vector<Devices> devices {{LanA, QStringLiteral("192.168.1.10/24"), 100},
                                        {FactoryA, QStringLiteral("10.20.0.10/24"), 50},
                                        {LanB, QStringLiteral("172.16.0.10/24"), 50}};
    startDevices(devices,
                 {QStringLiteral("--drop-probes"), QStringLiteral("0.1"), QStringLiteral("--drop-answers"),
                  QStringLiteral("0.1")});
    const QList<QByteArray> macs = addressesByMac(devices).keys();
    const QSet<QByteArray> all(macs.cbegin(), macs.cend());
    QCOMPARE(all.size(), 200);
    qputenv("VSNET_SEARCH_MS", "4000");

    QStringList counts;
    for (int run = 0; run < 3; ++run) {
        Collected collected;
        const int result = search("all", &collected);
        counts << QString::number(result);
        QCOMPARE(collected.reports.size(), result);
        const QList<QByteArray> reported = collected.ipByMac.keys();
        QVERIFY(all.contains(QSet<QByteArray>(reported.cbegin(), reported.cend())));
        QVERIFY2(result >= 198, qPrintable(QStringLiteral("found %1 of 200").arg(result)));
    }
    qInfo("lossy links, 10 %% of probes and of answers dropped: found %s of 200", qPrintable(counts.join(", ")));
}

void TestLab::deviceMovedDuringSearchShowsAgain()
{
    const Devices entry {LanA, QStringLiteral("192.168.1.100/24"), 3};
    startDevices({entry});
    const DeviceNetwork::Device moved = expectedNetwork(entry).devices().at(1);
    const QString mac = QString::fromLatin1(moved.mac);
    qputenv("VSNET_INTERFACES", "all");

    // Moved after its first answer, the device answers the later probes of the same search from its
    // new address.
    Collected collected;
    int found = 0;
    ScopedThread searcher([&] { found = vsnet_search(collect, &collected); });
    const bool heard = QTest::qWaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(collected.mutex);
            return collected.ipByMac.contains(moved.mac);
        },
        5000);
    const int sent = vsnet_send_json_msg("255.255.255.255",
                                         Batch::ipConfigCommand(mac, 0, QStringLiteral("192.168.1.200"),
                                                                QStringLiteral("255.255.255.0"),
                                                                QStringLiteral("192.168.1.1"), QString())
                                             .constData());
    searcher.join();
    QVERIFY(heard);
    QCOMPARE(sent, 0);
    QCOMPARE(
        collected.reports.filter(mac),
        QStringList({mac + QLatin1Char(' ') + QString::fromLatin1(moved.ip), mac + QStringLiteral(" 192.168.1.200")}));
    QCOMPARE(found, 4);
    QCOMPARE(collected.reports.size(), found);
}

void TestLab::oneRefusingLink_data()
{
    QTest::addColumn<QByteArray>("interfaces");
    QTest::addColumn<bool>("reachesB");

    const QByteArray a = qgetenv("LAB_PC_A");
    const QByteArray b = qgetenv("LAB_PC_B");
    QTest::newRow("all") << QByteArray("all") << true;
    QTest::newRow("both cards named") << a + "," + b << true;
    QTest::newRow("the refusing card alone") << a << false;
}

void TestLab::oneRefusingLink()
{
    QFETCH(QByteArray, interfaces);
    QFETCH(bool, reachesB);

    const std::vector<Devices> devices {{LanA, QStringLiteral("192.168.1.100/24"), 2},
                                        {LanB, QStringLiteral("172.16.0.100/24"), 3}};
    // Answers spread over the first second: the search must go on hearing after a refused repeat.
    startDevices(devices, {QStringLiteral("--jitter-ms"), QStringLiteral("1000")});
    const QMap<QByteArray, QByteArray> onB = addressesByMac(devices, {LanB});
    // The kernel refuses (EPERM) what an IPsec policy blocks, as it does what a firewall drops; unlike
    // a firewall, the policy needs no tool beyond ip.
    const QString cardA = qEnvironmentVariable("LAB_PC_A");
    if (QProcess::execute(QStringLiteral("ip"),
                          {QStringLiteral("xfrm"), QStringLiteral("policy"), QStringLiteral("add"),
                           QStringLiteral("dst"), QStringLiteral("255.255.255.255/32"), QStringLiteral("dev"), cardA,
                           QStringLiteral("dir"), QStringLiteral("out"), QStringLiteral("action"),
                           QStringLiteral("block")})
        != 0) {
        QSKIP("this kernel blocks nothing by IPsec policy");
    }
    const auto unblock = qScopeGuard([] {
        QProcess::execute(QStringLiteral("ip"),
                          {QStringLiteral("xfrm"), QStringLiteral("policy"), QStringLiteral("flush")});
    });

    Collected collected;
    const int searched = search(interfaces, &collected);
    const int sent = send(interfaces, Batch::algoConfigCommand(QString::fromLatin1(onB.firstKey()), 2, 0));
    if (!reachesB) {
        QCOMPARE(searched, int(VSNET_ERR_SOCKET));
        QCOMPARE(sent, int(VSNET_ERR_SOCKET));
        return;
    }
    QCOMPARE(searched, onB.size());
    QCOMPARE(collected.ipByMac, onB);
    QCOMPARE(sent, 0);
    QVERIFY(simulator(LanB).waitForJournal(1));
    QCOMPARE(simulator(LanB).journal().filter(QStringLiteral("applied brl_algo_config")).size(), 1);
    QVERIFY(simulator(LanA).journal().isEmpty());
}

// Namespaces belong to threads: the search leaves the pc for a network of its own, holding nothing
// but a loopback that is down.
void TestLab::noUsableInterfaceFails_data()
{
    QTest::addColumn<QByteArray>("interfaces");

    QTest::newRow("all") << QByteArray("all");
    QTest::newRow("a card of the pc") << qgetenv("LAB_PC_A");
}

void TestLab::noUsableInterfaceFails()
{
    QFETCH(QByteArray, interfaces);

    Collected collected;
    int unshared = -1;
    int searched = 0;
    int sent = 0;
    ScopedThread worker([&] {
        unshared = ::unshare(CLONE_NEWNET);
        searched = search(interfaces, &collected);
        sent = send(interfaces, Batch::algoConfigCommand(QStringLiteral("02:B7:9E:00:00:01"), 2, 0));
    });
    worker.join();
    QCOMPARE(unshared, 0);
    QCOMPARE(searched, int(VSNET_ERR_NO_INTERFACE));
    QCOMPARE(sent, int(VSNET_ERR_NO_INTERFACE));
    QVERIFY(collected.reports.isEmpty());
}

// A socket per link, as on Windows: eth1 loses its address after the list, then gets it back. The
// search goes on with eth0, and a command binds eth1's socket again once the address is back.
void TestLab::linkLosesItsAddress()
{
    const std::vector<Devices> devices {{LanA, QStringLiteral("192.168.1.100/24"), 2},
                                        {LanB, QStringLiteral("172.16.0.100/24"), 2}};
    startDevices(devices);
    const QMap<QByteArray, QByteArray> onA = addressesByMac(devices, {LanA});
    const QString onB = QString::fromLatin1(addressesByMac(devices, {LanB}).firstKey());
    const QString cardB = qEnvironmentVariable("LAB_PC_B");
    const auto address = [&cardB](const char *change) {
        return QProcess::execute(QStringLiteral("ip"),
                                 {QStringLiteral("address"), QLatin1String(change), QStringLiteral("172.16.0.2/24"),
                                  QStringLiteral("dev"), cardB});
    };
    qputenv("VSNET_BROADCAST", "255.255.255.255");
    qputenv("VSNET_TEST_LINKS", "192.168.1.2,172.16.0.2");
    QCOMPARE(address("del"), 0);
    bool restored = false;
    const auto restore = qScopeGuard([&address, &restored] {
        if (!restored) {
            address("add");
        }
    });

    Collected collected;
    QCOMPARE(search("", &collected), onA.size());
    QCOMPARE(collected.ipByMac, onA);
    QCOMPARE(send("", Batch::algoConfigCommand(onB, 2, 0)), 0);
    restored = address("add") == 0;
    QVERIFY(restored);
    QCOMPARE(send("", Batch::algoConfigCommand(onB, 3, 0)), 0);
    QVERIFY(simulator(LanB).waitForJournal(1));
    QCOMPARE(simulator(LanB).journal(),
             QStringList {QStringLiteral("applied brl_algo_config to %1: algorithm 3, no reboot").arg(onB)});
}

QTEST_GUILESS_MAIN(TestLab)
#include "test_lab.moc"
