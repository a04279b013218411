#include <QtTest>

#include <QHostAddress>
#include <QMap>
#include <QNetworkInterface>
#include <QProcess>
#include <QScopeGuard>

#include <algorithm>
#include <functional>
#include <mutex>
#include <vector>

#include "VSDevNetSDK.h"
#include "batch/addressplan.h"
#include "batch/devicecommand.h"
#include "devicenetwork.h"
#include "protocol.h"
#include "recordtext.h"

namespace {

// The simulators tests/lab_windows.sh starts: two on bridge A (one of factory-address devices), one
// on bridge B.
struct Devices
{
    const char *subnet;
    int count;
    quint32 seed;
};
const Devices LanA {"192.168.1.100/24", 6, 11};
const Devices FactoryA {"10.20.0.100/24", 4, 12};
const Devices LanB {"172.16.0.100/24", 5, 13};
const char CardBAddress[] = "172.16.0.2";

using QByteArrayMap = QMap<QByteArray, QByteArray>;

QVector<DeviceNetwork::Device> devicesOf(const Devices &devices)
{
    DeviceNetwork::Options options;
    options.count = devices.count;
    options.seed = devices.seed;
    DeviceNetwork::parseSubnet(QString::fromLatin1(devices.subnet), &options.first);
    return DeviceNetwork(options).devices();
}

QByteArrayMap addressesByMac(const std::vector<Devices> &hosts)
{
    QByteArrayMap addresses;
    for (const Devices &devices : hosts) {
        for (const DeviceNetwork::Device &device : devicesOf(devices)) {
            addresses.insert(device.mac, device.ip);
        }
    }
    return addresses;
}

struct Collected
{
    std::mutex mutex;
    QByteArrayMap ipByMac;
    QByteArrayMap versionByMac;
    int reports = 0;
};

void collect(VSOneDev *dev, void *context)
{
    auto *collected = static_cast<Collected *>(context);
    std::lock_guard<std::mutex> lock(collected->mutex);
    const QByteArray mac = VsnetProtocol::macText(dev->mac);
    collected->ipByMac.insert(mac, spanText(dev->ip, VSNET_IP_LEN));
    collected->versionByMac.insert(mac, spanText(dev->version, VSNET_VERSION_LEN));
    ++collected->reports;
}

// Each device's address, or version, when the search reported each device once; else nothing.
QByteArrayMap search(const QByteArray &interfaces, bool versions = false)
{
    qputenv("VSNET_INTERFACES", interfaces);
    Collected collected;
    const int found = vsnet_search(collect, &collected);
    if (found != collected.reports || found != collected.ipByMac.size()) {
        return {};
    }
    return versions ? collected.versionByMac : collected.ipByMac;
}

// The adapter holding address, as the Windows build sees it (Wine names them ethernet_N); invalid when
// none does.
QNetworkInterface adapterWith(const QString &address)
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        for (const QNetworkAddressEntry &entry : nic.addressEntries()) {
            if (entry.ip() == QHostAddress(address)) {
                return nic;
            }
        }
    }
    return {};
}

// Changes the lab's bridge-B card with ip(8) and waits until the Windows build sees the change done: a
// Linux program started from Wine has no process handle to wait on.
bool changeCardB(const QByteArray &windowsName, const QStringList &arguments,
                 const std::function<bool(const QNetworkInterface &)> &done)
{
    QProcess::startDetached(QStringLiteral("/usr/sbin/ip"),
                            arguments + QStringList {QStringLiteral("dev"), qEnvironmentVariable("LAB_PC_B")});
    return QTest::qWaitFor([&] { return done(QNetworkInterface::interfaceFromName(QString::fromUtf8(windowsName))); },
                           10000);
}

bool isUp(const QNetworkInterface &nic)
{
    return nic.flags().testFlag(QNetworkInterface::IsUp);
}

bool hasAddress(const QNetworkInterface &nic)
{
    const QList<QNetworkAddressEntry> entries = nic.addressEntries();
    return std::any_of(entries.cbegin(), entries.cend(),
                       [](const QNetworkAddressEntry &entry) { return entry.ip() == QHostAddress(CardBAddress); });
}

} // namespace

// The Windows build's real-link mode under Wine in the lab's pc. Wine makes its sockets in its server,
// which tests/lab_windows.sh starts inside the lab, so only the lab's links are reached.
class TestLab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void searchFindsBothBridges_data();
    void searchFindsBothBridges();
    void batchReachesFactoryDevices();
    void adapterDownIsSkipped();
    void addressRemovedAfterTheList();

private:
    QByteArray m_cardA;
    QByteArray m_cardB;
};

void TestLab::initTestCase()
{
    // The guard: the program sees the lab's two cards and nothing of the machine's network.
    int others = 0;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &nic : interfaces) {
        others += nic.flags().testFlag(QNetworkInterface::IsLoopBack) ? 0 : 1;
    }
    m_cardA = adapterWith(QStringLiteral("192.168.1.2")).name().toUtf8();
    m_cardB = adapterWith(QLatin1String(CardBAddress)).name().toUtf8();
    if (qEnvironmentVariableIsEmpty("LAB_PC_B") || m_cardA.isEmpty() || m_cardB.isEmpty() || others != 2) {
        QFAIL("not inside the lab; run this through scripts/lab exec tests/lab_windows.sh");
    }
    qunsetenv("VSNET_BROADCAST");
    qunsetenv("VSNET_TEST_LINKS");
}

void TestLab::init()
{
    vsnet_init();
}

void TestLab::cleanup()
{
    vsnet_uninit();
    qunsetenv("VSNET_INTERFACES");
    qunsetenv("VSNET_BROADCAST");
    qunsetenv("VSNET_TEST_LINKS");
}

void TestLab::searchFindsBothBridges_data()
{
    QTest::addColumn<QByteArray>("interfaces");
    QTest::addColumn<QByteArrayMap>("expected");

    QTest::newRow("all") << QByteArray("all") << addressesByMac({LanA, FactoryA, LanB});
    QTest::newRow("bridge A") << m_cardA << addressesByMac({LanA, FactoryA});
    QTest::newRow("bridge B") << m_cardB << addressesByMac({LanB});
}

void TestLab::searchFindsBothBridges()
{
    QFETCH(QByteArray, interfaces);
    QFETCH(QByteArrayMap, expected);

    QCOMPARE(search(interfaces), expected);
}

// As the window sends a batch: one broadcast command per device, consecutive addresses.
void TestLab::batchReachesFactoryDevices()
{
    QByteArrayMap expected = addressesByMac({LanA, FactoryA, LanB});
    const QVector<DeviceNetwork::Device> factory = devicesOf(FactoryA);
    const QStringList plan = Batch::planAddresses(QStringLiteral("192.168.1.150"), factory.size());
    qputenv("VSNET_INTERFACES", "all");
    for (int i = 0; i < factory.size(); ++i) {
        const QByteArray command =
            Batch::ipConfigCommand(QString::fromLatin1(factory.at(i).mac), 0, plan.at(i),
                                   QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1"), QString());
        QCOMPARE(vsnet_send_json_msg("255.255.255.255", command.constData()), 0);
        expected.insert(factory.at(i).mac, plan.at(i).toLatin1());
    }
    QCOMPARE(search("all"), expected);
}

void TestLab::adapterDownIsSkipped()
{
    const QList<QByteArray> onA = addressesByMac({LanA, FactoryA}).keys();
    QVERIFY(changeCardB(m_cardB, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("down")},
                        [](const QNetworkInterface &nic) { return !isUp(nic); }));
    const auto up = qScopeGuard([this] {
        changeCardB(m_cardB, {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("up")}, isUp);
    });
    QCOMPARE(search("all").keys(), onA);
    QCOMPARE(search(m_cardA + ',' + m_cardB).keys(), onA);
}

// On the first search's interface list, kept a second, the second search binds a socket to an address
// that is gone, as when a laptop moves to a site switch; later it leaves the adapter out. Either way
// bridge A still serves. With test links the bind always names the address that is gone, and a command
// binds again once it is back.
void TestLab::addressRemovedAfterTheList()
{
    const QByteArrayMap onA = addressesByMac({LanA, FactoryA});
    const QByteArray onB = addressesByMac({LanB}).firstKey();
    QVERIFY(!search("all").isEmpty());
    QVERIFY(changeCardB(m_cardB, {QStringLiteral("address"), QStringLiteral("del"), QStringLiteral("172.16.0.2/24")},
                        [](const QNetworkInterface &nic) { return !hasAddress(nic); }));
    bool restored = false;
    const auto restore = qScopeGuard([this, &restored] {
        if (!restored) {
            changeCardB(m_cardB, {QStringLiteral("address"), QStringLiteral("add"), QStringLiteral("172.16.0.2/24")},
                        hasAddress);
        }
    });
    QCOMPARE(search("all").keys(), onA.keys());

    qputenv("VSNET_BROADCAST", "255.255.255.255");
    qputenv("VSNET_TEST_LINKS", QByteArray("192.168.1.2,") + CardBAddress);
    QCOMPARE(search("").keys(), onA.keys());
    const auto algorithm = [&onB](int type) {
        return vsnet_send_json_msg("255.255.255.255",
                                   Batch::algoConfigCommand(QString::fromLatin1(onB), type, 0).constData());
    };
    QCOMPARE(algorithm(2), 0);
    restored = changeCardB(m_cardB, {QStringLiteral("address"), QStringLiteral("add"), QStringLiteral("172.16.0.2/24")},
                           hasAddress);
    QVERIFY(restored);
    QCOMPARE(algorithm(3), 0);
    QVERIFY(search("", true).value(onB).endsWith("-A3"));
}

QTEST_GUILESS_MAIN(TestLab)
#include "test_lab_windows.moc"
