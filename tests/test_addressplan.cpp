#include <QTest>

#include "batch/addressplan.h"

Q_DECLARE_METATYPE(DeviceAddress)

// Whether an address plan counted up from a start address may be sent, and if not, the refusal
// that names the first fault, without a window.
class TestAddressPlan : public QObject
{
    Q_OBJECT

private slots:
    void refusal_data();
    void refusal();
};

void TestAddressPlan::refusal_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QVector<DeviceAddress>>("others");
    QTest::addColumn<QString>("refusal");

    const QString mask24 = QStringLiteral("255.255.255.0");
    const QString gateway = QStringLiteral("192.168.1.1");
    const QVector<DeviceAddress> none;
    const QString invalidMask = QStringLiteral("子网掩码 %1 无效");
    const QString noHost = QStringLiteral("IP地址 %1 不是子网 %2 内可分配的主机地址");

    // Netmasks: contiguous with a prefix of 1 to 30, named in plain decimal when refused.
    QTest::newRow("/1") << "10.0.0.1" << 3 << "128.0.0.0" << gateway << none << QString();
    QTest::newRow("/30, both hosts") << "192.168.1.5" << 2 << "255.255.255.252" << gateway << none << QString();
    QTest::newRow("/30, third address is its broadcast")
        << "192.168.1.5" << 3 << "255.255.255.252" << gateway << none << noHost.arg("192.168.1.7", "192.168.1.4/30");
    QTest::newRow("/31") << "192.168.1.20" << 1 << "255.255.255.254" << gateway << none
                         << invalidMask.arg("255.255.255.254");
    QTest::newRow("/32") << "192.168.1.20" << 1 << "255.255.255.255" << gateway << none
                         << invalidMask.arg("255.255.255.255");
    QTest::newRow("0.0.0.0") << "192.168.1.20" << 1 << "0.0.0.0" << gateway << none << invalidMask.arg("0.0.0.0");
    QTest::newRow("gap, written with leading zeros")
        << "192.168.1.20" << 1 << "255.000.255.000" << gateway << none << invalidMask.arg("255.0.255.0");
    QTest::newRow("last bit set") << "192.168.1.20" << 1 << "255.255.255.1" << gateway << none
                                  << invalidMask.arg("255.255.255.1");
    QTest::newRow("inverted") << "192.168.1.20" << 1 << "0.255.255.255" << gateway << none
                              << invalidMask.arg("0.255.255.255");

    // Counting up may leave the start address's subnet or land on its network or broadcast address.
    QTest::newRow("/25 crossed at its broadcast") << "192.168.1.120" << 10 << "255.255.255.128" << gateway << none
                                                  << noHost.arg("192.168.1.127", "192.168.1.0/25");
    QTest::newRow("/26, upper subnet crossed") << "192.168.1.190" << 3 << "255.255.255.192" << gateway << none
                                               << noHost.arg("192.168.1.191", "192.168.1.128/26");
    QTest::newRow("/26, up to .254 of the last subnet")
        << "192.168.1.250" << 5 << "255.255.255.192" << gateway << none << QString();
    QTest::newRow("/28, start on its network address")
        << "10.1.1.16" << 2 << "255.255.255.240"
        << "10.1.1.30" << none << noHost.arg("10.1.1.16", "10.1.1.16/28");
    QTest::newRow("/24, start on its network address")
        << "10.0.0.0" << 1 << mask24 << gateway << none << noHost.arg("10.0.0.0", "10.0.0.0/24");
    QTest::newRow("/16, last parts 255 and 254 are hosts") << "10.0.1.255" << 2 << "255.255.0.0"
                                                           << "10.0.0.1" << none << QString();

    // The counting rules: never above 254 once past it.
    QTest::newRow("250 with 7 devices") << "192.168.1.250" << 7 << mask24 << gateway << none
                                        << QString("可分配的IP地址不足: 选中 7 台设备, 从起始IP地址起只能分配 5 "
                                                   "个不重复的地址");
    QTest::newRow("start .255, one device")
        << "192.168.1.255" << 1 << mask24 << gateway << none << noHost.arg("192.168.1.255", "192.168.1.0/24");
    QTest::newRow("start .255, three devices") << "192.168.1.255" << 3 << mask24 << gateway << none
                                               << QString("可分配的IP地址不足: 选中 3 台设备, 从起始IP地址起只能分配 2 "
                                                          "个不重复的地址");

    QTest::newRow("gateway in the plan") << "192.168.1.252" << 3 << mask24 << "192.168.1.253" << none
                                         << QString("IP地址 192.168.1.253 与默认网关相同");

    // Devices outside the batch: any address they report is taken.
    const QString held = QStringLiteral("IP地址 %1 已被设备 %2 使用");
    QTest::newRow("held by a device outside the batch")
        << "10.0.0.199" << 2 << mask24 << "10.0.0.1"
        << QVector<DeviceAddress> {{"02:00:00:00:00:0A", "10.0.0.9"}, {"02:00:00:00:00:FF", "10.0.0.200"}}
        << held.arg("10.0.0.200", "02:00:00:00:00:FF");
    QTest::newRow("first planned address, first device in table order")
        << "10.0.0.5" << 2 << mask24 << "10.0.0.1"
        << QVector<DeviceAddress> {{"02:00:00:00:00:0A", "10.0.0.6"},
                                   {"02:00:00:00:00:0B", "10.0.0.5"},
                                   {"02:00:00:00:00:0C", "10.0.0.5"}}
        << held.arg("10.0.0.5", "02:00:00:00:00:0B");
    QTest::newRow("held, reported with leading zeros")
        << "10.0.0.5" << 1 << mask24 << "10.0.0.1" << QVector<DeviceAddress> {{"02:00:00:00:00:0D", "010.000.000.005"}}
        << held.arg("10.0.0.5", "02:00:00:00:00:0D");
    QTest::newRow("unreadable addresses hold nothing")
        << "10.0.0.5" << 2 << mask24 << "10.0.0.1"
        << QVector<DeviceAddress> {{"02:00:00:00:00:0E", ""}, {"02:00:00:00:00:0F", "10.0.0.5x"}} << QString();
    QTest::newRow("the gateway is named before a held address")
        << "10.0.0.5" << 2 << mask24 << "10.0.0.6" << QVector<DeviceAddress> {{"02:00:00:00:00:0A", "10.0.0.5"}}
        << QString("IP地址 10.0.0.6 与默认网关相同");
}

void TestAddressPlan::refusal()
{
    QFETCH(QString, start);
    QFETCH(int, count);
    QFETCH(QString, netmask);
    QFETCH(QString, gateway);
    QFETCH(QVector<DeviceAddress>, others);
    QFETCH(QString, refusal);
    QCOMPARE(addressPlanRefusal(planAddresses(start, count), netmask, gateway, others), refusal);
}

QTEST_GUILESS_MAIN(TestAddressPlan)
#include "test_addressplan.moc"
