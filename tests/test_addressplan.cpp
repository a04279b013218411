#include <QTest>

#include <QFile>

#include "app/devicelisttext.h"
#include "batch/addressplan.h"
#include "batch/checkeddevice.h"
#include "batch/planjudge.h"
#include "batch/planreader.h"
#include "hints/devicehints.h"

Q_DECLARE_METATYPE(DeviceAddress)
Q_DECLARE_METATYPE(PlanLine)

namespace {

// A line as read, its fields joined by "|": MAC as written, key, address, netmask, gateway, DNS.
QStringList readLines(const QString &text, PlanQuotes quotes = PlanQuotes::Guess)
{
    QStringList lines;
    for (const PlanLine &line : Batch::readAddressPlan(text, MaxPlanLines, quotes).lines) {
        lines.append(QStringList {line.mac, line.macKey, line.address, line.netmask, line.gateway, line.dns}.join('|'));
    }
    return lines;
}

const QVector<DeviceAddress> kTable {{"02:00:00:00:00:01", "192.168.1.11"},
                                     {"02:00:00:00:00:02", "192.168.1.12"},
                                     {"02:00:00:00:00:03", "192.168.1.13"},
                                     {"02:00:00:00:00:04", "10.0.0.4"}};
// This PC at 192.168.1.2/24.
const QVector<DeviceHints::Network> kNetworks {{0xC0A80102, 24}};

PlanLine planLine(const QString &mac, const QString &address, const QString &netmask = {}, const QString &gateway = {},
                  const QString &dns = {})
{
    return {mac, Batch::macKey(mac), address, netmask, gateway, dns};
}

} // namespace

// Whether an address plan counted up from a start address may be sent, and if not, the refusal
// that names the first fault, without a window.
class TestAddressPlan : public QObject
{
    Q_OBJECT

private slots:
    void refusal_data();
    void refusal();
    void sendRefusal_data();
    void sendRefusal();

    void macNotations_data();
    void macNotations();
    void readsPlan_data();
    void readsPlan();
    void clipboardFormatsChooseTheQuoteRule_data();
    void clipboardFormatsChooseTheQuoteRule();
    void limitsLinesAndCellsAndNumbersRows();
    void spreadsheetClipboards_data();
    void spreadsheetClipboards();
    void judgesLines_data();
    void judgesLines();
    void copiedListWithTwoEditsIsAPlanOfTwo();
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
    QCOMPARE(Batch::addressPlanRefusal(Batch::planAddresses(start, count), netmask, gateway, others), refusal);
}

// A batch keeps its one-subnet judgement; devices in several subnets are judged each in its own, and
// DHCP devices not at all. A device: the last byte of its MAC, then its address and gateway, or DHCP.
void TestAddressPlan::sendRefusal_data()
{
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("one gateway: every address in the first one's subnet")
        << QStringList {"01 192.168.1.50 192.168.1.1", "02 192.168.2.50 192.168.1.1"}
        << QString("IP地址 192.168.2.50 不是子网 192.168.1.0/24 内可分配的主机地址");
    QTest::newRow("two subnets") << QStringList {"01 192.168.1.50 192.168.1.1", "02 192.168.2.50 192.168.2.1"}
                                 << QString();
    QTest::newRow("two subnets, one address held by a device that stays")
        << QStringList {"01 192.168.1.50 192.168.1.1", "02 10.0.0.4 10.0.0.1"}
        << QString("IP地址 10.0.0.4 已被设备 02:00:00:00:00:04 使用");
    QTest::newRow("swapped") << QStringList {"01 192.168.1.12 192.168.1.1", "02 192.168.1.11 192.168.1.1"} << QString();
    QTest::newRow("DHCP frees an address and is not judged")
        << QStringList {"04 DHCP", "01 10.0.0.4 10.0.0.1", "02 192.168.9.9 192.168.9.1"} << QString();
}

void TestAddressPlan::sendRefusal()
{
    QFETCH(QStringList, devices);
    QFETCH(QString, refusal);
    QVector<CheckedDevice> commands;
    for (const QString &text : devices) {
        const QStringList parts = text.split(' ');
        CheckedDevice device;
        device.mac = "02:00:00:00:00:" + parts.at(0);
        device.dhcp = parts.at(1) == "DHCP";
        if (!device.dhcp) {
            device.address = parts.at(1);
            device.netmask = "255.255.255.0";
            device.gateway = parts.at(2);
        }
        commands.append(device);
    }
    QCOMPARE(Batch::sendRefusal(commands, kTable), refusal);
}

void TestAddressPlan::macNotations_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("key");
    QTest::newRow("colons") << "02:0a:00:00:00:FF"
                            << "020A000000FF";
    QTest::newRow("dashes") << "02-0A-00-00-00-ff"
                            << "020A000000FF";
    QTest::newRow("dotted groups") << "020a.0000.00ff"
                                   << "020A000000FF";
    QTest::newRow("bare") << "020a000000ff"
                          << "020A000000FF";
    QTest::newRow("mixed separators") << "02:0A-00:00:00:FF"
                                      << "";
    QTest::newRow("dots in pairs") << "02.0A.00.00.00.FF"
                                   << "";
    QTest::newRow("not hex") << "02:0A:00:00:00:FG"
                             << "";
    QTest::newRow("eleven digits") << "020A000000F"
                                   << "";
    QTest::newRow("groups of four joined by dashes") << "02b7-9e00-001c"
                                                     << "02B79E00001C";
    QTest::newRow("unpadded, as switches print it") << "2:B7:9E:0:0:6"
                                                    << "02B79E000006";
    QTest::newRow("a group of three") << "2:B7:9E:0:0:600"
                                      << "";
    QTest::newRow("an address") << "192.168.1.100"
                                << "";
}

void TestAddressPlan::macNotations()
{
    QFETCH(QString, cell);
    QFETCH(QString, key);
    QCOMPARE(Batch::macKey(cell), key);
}

void TestAddressPlan::readsPlan_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    const QString one = QStringLiteral("02:00:00:00:00:01|020000000001|");

    // Header-less: the first MAC, then the addresses in order; a DHCP cell.
    QTest::newRow("tabs") << "02:00:00:00:00:01\t192.168.1.101\n" << QStringList {one + "192.168.1.101|||"};
    QTest::newRow("commas, CRLF, final break") << "02:00:00:00:00:01,192.168.1.101,255.255.0.0,192.168.0.1\r\n"
                                               << QStringList {one + "192.168.1.101|255.255.0.0|192.168.0.1|"};
    QTest::newRow("semicolons, CR") << "02:00:00:00:00:01;010.0.0.7\r02:00:00:00:00:02;10.0.0.8"
                                    << QStringList {one + "010.0.0.7|||", "02:00:00:00:00:02|020000000002|10.0.0.8|||"};
    QTest::newRow("blanks, empty lines skipped") << "\n  02:00:00:00:00:01   dhcp \n\n \t \n"
                                                 << QStringList {one + "DHCP|||"};
    QTest::newRow("an ID of twelve hex digits before the MAC")
        << "AABBCCDDEEFF\t02-00-00-00-00-01\t10.0.0.9" << QStringList {"02-00-00-00-00-01|020000000001|10.0.0.9|||"};
    QTest::newRow("no MAC, no address") << "hello\tworld\n02:00:00:00:00:01\n" << QStringList {"|||||", one + "|||"};
    QTest::newRow("a comma in a tab line is text")
        << "02:00:00:00:00:01\tgate, north\t10.0.0.9" << QStringList {one + "10.0.0.9|||"};
    QTest::newRow("semicolons stay in a comma line") << "MAC,新IP,DNS\n02:00:00:00:00:01,10.0.0.9,8.8.8.8;1.1.1.1"
                                                     << QStringList {one + "10.0.0.9|||8.8.8.8;1.1.1.1"};

    // A byte-order mark; full-width digits, letters, marks and the ideographic space.
    QTest::newRow("BOM") << QString(QChar(0xFEFF)) + "02:00:00:00:00:01 10.0.0.9" << QStringList {one + "10.0.0.9|||"};
    QTest::newRow("full width") << QString::fromUtf8(
        "０２：００：００：００：００：０ａ\u3000１０．０。０．９\u3000ＤＨＣＰ")
                                << QStringList {"02:00:00:00:00:0a|02000000000A|DHCP|||"};
    QTest::newRow("full-width separators, invisible characters")
        << QString::fromUtf8("02:00:00:00:00:01，10.0.0.9\n02:00:00:00:00:02；10.0.0.8\n02:00:00:00:00:03、10.0.0.7\n"
                             "\u200B02:00:00:00:00:04\u00A0\t10.0.\u200D0.\uFEFF6\u2060")
        << QStringList {one + "10.0.0.9|||", "02:00:00:00:00:02|020000000002|10.0.0.8|||",
                        "02:00:00:00:00:03|020000000003|10.0.0.7|||", "02:00:00:00:00:04|020000000004|10.0.0.6|||"};
    QTest::newRow("full-width dashes") << QString::fromUtf8("０２－００－００－００－００－０１\t１０．０．０．９")
                                       << QStringList {"02-00-00-00-00-01|020000000001|10.0.0.9|||"};

    // A cell meant as an address keeps its place, for the judge to name it.
    QTest::newRow("mistyped addresses")
        << "02:00:00:00:00:01\t192.168.1.300\t255.255.255.0\t192.168.1.1\n02:00:00:00:00:02\t192,168.1.50\n"
           "02:00:00:00:00:03\t192.168.1. 50\n02:00:00:00:00:04\tfe80::1\tV1.2.3"
        << QStringList {one + "192.168.1.300|255.255.255.0|192.168.1.1|",
                        "02:00:00:00:00:02|020000000002|192,168.1.50|||",
                        "02:00:00:00:00:03|020000000003|192.168.1. 50|||", "02:00:00:00:00:04|020000000004|fe80::1|||"};

    // An empty cell in a column that holds addresses on other lines is an empty field in its place; a
    // notes column and the tabs a spreadsheet pads short lines with are no address.
    QTest::newRow("blank cells in address columns")
        << "02:00:00:00:00:01\t10.1.0.1\t255.255.0.0\t10.1.255.254\n02:00:00:00:00:02\t\t255.255.0.0\t10.1.255.254\n"
           "02:00:00:00:00:03\t10.1.0.3\t\t10.1.255.254\t\t\n02:00:00:00:00:04\tx\t\t\t\n"
        << QStringList {one + "10.1.0.1|255.255.0.0|10.1.255.254|",
                        "02:00:00:00:00:02|020000000002||255.255.0.0|10.1.255.254|",
                        "02:00:00:00:00:03|020000000003|10.1.0.3||10.1.255.254|", "02:00:00:00:00:04|020000000004||||"};
    QTest::newRow("an empty notes column")
        << "02:00:00:00:00:01\t大门\t10.0.0.9\n02:00:00:00:00:02\t\t10.0.0.8\n02:00:00:00:00:03  10.0.0.7"
        << QStringList {one + "10.0.0.9|||", "02:00:00:00:00:02|020000000002|10.0.0.8|||",
                        "02:00:00:00:00:03|020000000003|10.0.0.7|||"};

    // Quotes as spreadsheets write them: separators, line breaks and quotes inside.
    QTest::newRow("quoted tab, break and quote")
        << "\"a\tb\"\t02:00:00:00:00:01\t\"line\nbreak \"\"x\"\"\"\t10.0.0.9\n02:00:00:00:00:02\t10.0.0.8"
        << QStringList {one + "10.0.0.9|||", "02:00:00:00:00:02|020000000002|10.0.0.8|||"};
    QTest::newRow("quoted comma cell") << "02:00:00:00:00:01, \"1,2\" ,10.0.0.9" << QStringList {one + "10.0.0.9|||"};
    QTest::newRow("a quote that never closes is text")
        << "\"02:00:00:00:00:01\t10.0.0.9\n02:00:00:00:00:02\t10.0.0.8"
        << QStringList {"||10.0.0.9|||", "02:00:00:00:00:02|020000000002|10.0.0.8|||"};
    QTest::newRow("a stray quote swallows no rows")
        << "02:00:00:00:00:01\t\"temp\t10.0.0.9\n02:00:00:00:00:02\tnote\"\t10.0.0.8"
        << QStringList {one + "10.0.0.9|||", "02:00:00:00:00:02|020000000002|10.0.0.8|||"};

    // Headers name the columns; the new address over our own copy's IP column.
    QTest::newRow("Chinese header") << QString::fromUtf8("序号\tMAC地址\tIP地址\t新IP\t子网掩码\t网关\tDNS\t核对\n"
                                                         "1\t02:00:00:00:00:01\t10.0.0.1\t10.0.0.9\t255.0.0.0\t"
                                                         "10.0.0.254\t8.8.8.8\t已生效")
                                    << QStringList {one + "10.0.0.9|255.0.0.0|10.0.0.254|8.8.8.8"};
    QTest::newRow("English header, any case")
        << "new ip,mac address,GATEWAY,subnet mask\n10.0.0.9,02:00:00:00:00:01,," << QStringList {one + "10.0.0.9|||"};
    QTest::newRow("our copy's IP column")
        << QString::fromUtf8("物理地址\tIP\n02:00:00:00:00:01\tdhcp\n") << QStringList {one + "dhcp|||"};
    QTest::newRow("header: whatever the address cell holds")
        << QString::fromUtf8("MAC\t新IP地址\n02:00:00:00:00:01\tsoon\nxx\t10.0.0.9\n02:00:00:00:00:02")
        << QStringList {one + "soon|||", "xx||10.0.0.9|||", "02:00:00:00:00:02|020000000002||||"};
    QTest::newRow("a first line without a MAC column name is a line")
        << "Site plan\n02:00:00:00:00:01\t10.0.0.9" << QStringList {"|||||", one + "10.0.0.9|||"};
}

void TestAddressPlan::readsPlan()
{
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QCOMPARE(readLines(text), lines);
}

// Excel quotes a cell holding a tab or a line break; Calc writes every cell bare (those become spaces), so a
// stray quote swallows nothing.
void TestAddressPlan::clipboardFormatsChooseTheQuoteRule_data()
{
    QTest::addColumn<QStringList>("formats");
    QTest::addColumn<QStringList>("lines");
    const QString two = QStringLiteral("02:00:00:00:00:02|020000000002|10.0.0.8|||");
    const QString swallowed = QStringLiteral("02:00:00:00:00:03|020000000003||||");
    const QStringList quoted {QStringLiteral("02:00:00:00:00:01|020000000001|10.0.0.9|||"), two, swallowed};
    const QStringList bare {QStringLiteral("02:00:00:00:00:01|020000000001||||"), QStringLiteral("||10.0.0.9|||"), two,
                            QStringLiteral("02:00:00:00:00:03|020000000003|10.0.0.7|||")};
    QTest::newRow("Excel on Windows") << QStringList {"text/plain", "application/x-qt-windows-mime;value=\"Biff12\""}
                                      << quoted;
    QTest::newRow("Excel's XML") << QStringList {"application/x-qt-windows-mime;value=\"XML Spreadsheet\""} << quoted;
    // Abridged from what Calc 7.4 offers under X11, as Qt lists it.
    QTest::newRow("Calc") << QStringList {"text/plain;charset=utf-8", "text/html", "application/x-libreoffice-tsvc",
                                          "application/x-openoffice-embed-source-xml;windows_formatname=\"Star Embed "
                                          "Source (XML)\""}
                          << bare;
    QTest::newRow("plain text: a quoted cell that spans rows is bare, one within a line quoted")
        << QStringList {"text/plain"} << bare.mid(0, 3) + QStringList {swallowed};
}

void TestAddressPlan::clipboardFormatsChooseTheQuoteRule()
{
    QFETCH(QStringList, formats);
    QFETCH(QStringList, lines);
    QCOMPARE(readLines("02:00:00:00:00:01\t\"gate\tnorth\nleft\"\t10.0.0.9\n02:00:00:00:00:02\t10.0.0.8\n"
                       "02:00:00:00:00:03\t\"gate 7\t10.0.0.7\tV2\"",
                       Batch::planQuotesOf(formats)),
             lines);
}

void TestAddressPlan::limitsLinesAndCellsAndNumbersRows()
{
    QString text;
    for (int i = 0; i < 5; ++i) {
        text += QStringLiteral("02:00:00:00:00:0%1\t10.0.0.%1\n").arg(i);
    }
    QVERIFY(!Batch::readAddressPlan(text, 5).tooLong);
    const PlanText over = Batch::readAddressPlan(text + "\n\n02:00:00:00:00:09", 5);
    QVERIFY(over.tooLong);
    QCOMPARE(over.lines.size(), 6);
    // Rows as the spreadsheet numbers them: the header is row 1, empty rows count, a cell's breaks do not.
    QCOMPARE(over.lines.constLast().row, 8);
    QCOMPARE(Batch::readAddressPlan(
                 QString::fromUtf8("MAC\t新IP\n\n02:00:00:00:00:01\t10.0.0.9\t\"a\nb\"\n02:00:00:00:00:02"),
                 MaxPlanLines, PlanQuotes::Quoted)
                 .lines.constLast()
                 .row,
             4);
    // A huge cell is cut where it is read, and its line says so.
    const PlanText huge = Batch::readAddressPlan("02:00:00:00:00:01\t192.168.1.101\t" + QString(1000000, 'x'));
    QCOMPARE(Batch::judgeAddressPlan(huge.lines, kTable, {"255.255.255.0", "192.168.1.1", QString()}, kNetworks)
                 .constFirst()
                 .note,
             QString("单元格过长: 只读了前 256 个字符"));
    QVERIFY(!Batch::hasMacLine(Batch::readAddressPlan("IP\t10.0.0.1\n")));
    QVERIFY(!Batch::hasMacLine(Batch::readAddressPlan(QString())));
}

// What LibreOffice Calc put on the clipboard as UTF-8 text (tests/data/README.md says how).
void TestAddressPlan::spreadsheetClipboards_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("plain block") << "calc-plain.txt"
                                 << QStringList {"02:00:00:00:00:01|020000000001|192.168.1.101|||",
                                                 "02:00:00:00:00:02|020000000002|192.168.1.102|||",
                                                 "02:00:00:00:00:03|020000000003|192.168.1.103|||"};
    QTest::newRow("line break and tab in cells") << "calc-quoted.txt"
                                                 << QStringList {"02:00:00:00:00:01|020000000001|192.168.1.101|||",
                                                                 "02:00:00:00:00:02|020000000002|192.168.1.102|||"};
    QTest::newRow("empty cells") << "calc-empty-cells.txt"
                                 << QStringList {"02:00:00:00:00:01|020000000001|192.168.1.101||192.168.1.1|",
                                                 "02:00:00:00:00:02|020000000002||||",
                                                 "02:00:00:00:00:03|020000000003|DHCP|||"};
}

void TestAddressPlan::spreadsheetClipboards()
{
    QFETCH(QString, file);
    QFETCH(QStringList, lines);
    QFile captured(QStringLiteral(BRELO_TEST_DATA "/") + file);
    QVERIFY2(captured.open(QIODevice::ReadOnly), qPrintable(captured.fileName()));
    QCOMPARE(readLines(QString::fromUtf8(captured.readAll())), lines);
}

void TestAddressPlan::judgesLines_data()
{
    QTest::addColumn<QVector<PlanLine>>("lines");
    QTest::addColumn<QStringList>("notes");
    QTest::addColumn<QList<int>>("states");
    const int sent = int(PlanState::Sent);
    const int notListed = int(PlanState::NotListed);
    const int unchanged = int(PlanState::Unchanged);
    const int empty = int(PlanState::Empty);
    const int error = int(PlanState::Error);

    QTest::newRow("the five states") << QVector<PlanLine> {planLine("02:00:00:00:00:01", "192.168.1.101"),
                                                           planLine("02:00:00:00:00:09", "192.168.1.109"),
                                                           planLine("020000000002", "192.168.1.012"),
                                                           planLine("02:00:00:00:00:03", ""),
                                                           planLine("", "192.168.1.110")}
                                     << QStringList {"", "不在设备列表中", "地址不变", "未填写新IP", "没有MAC地址"}
                                     << QList<int> {sent, notListed, unchanged, empty, error};
    QTest::newRow("own settings are a change; leading zeros are told")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "192.168.1.11", "", "192.168.1.254"),
                              planLine("02:00:00:00:00:02", "192.168.001.099"), planLine("02:00:00:00:00:03", "dhcp")}
        << QStringList {"", "192.168.001.099 按 192.168.1.99 发送", ""} << QList<int> {sent, sent, sent};
    QTest::newRow("a line sent out of this PC's reach is warned; its own netmask counts")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "10.0.0.101", "255.0.0.0", "10.0.0.1"),
                              planLine("02:00:00:00:00:02", "192.168.001.202", "255.255.255.128", "192.168.1.129"),
                              planLine("02:00:00:00:00:03", "dhcp"),
                              planLine("02:00:00:00:00:09", "10.0.0.109", "255.0.0.0", "10.0.0.1")}
        << QStringList {"不在本机网段", "192.168.001.202 按 192.168.1.202 发送; 不在本机网段", "", "不在设备列表中"}
        << QList<int> {sent, sent, sent, notListed};
    QTest::newRow("unusable, invalid, network and broadcast addresses")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "127.0.0.5"), planLine("02:00:00:00:00:02", "soon"),
                              planLine("02:00:00:00:00:03", "192.168.1.0"),
                              planLine("02:00:00:00:00:09", "192.168.1.255")}
        << QStringList {"IP地址 127.0.0.5 不是可用的设备地址", "新IP soon 无效",
                        "IP地址 192.168.1.0 不是子网 192.168.1.0/24 内可分配的主机地址",
                        "IP地址 192.168.1.255 不是子网 192.168.1.0/24 内可分配的主机地址"}
        << QList<int> {error, error, error, error};
    QTest::newRow("netmask, gateway and DNS of the line")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "192.168.1.101", "255.255.0.255"),
                              planLine("02:00:00:00:00:02", "192.168.1.102", "", "192.168.2.1"),
                              planLine("02:00:00:00:00:03", "192.168.1.103", "", "192.168.1.103"),
                              planLine("02:00:00:00:00:04", "192.168.1.104", "", "router"),
                              planLine("02:00:00:00:00:09", "dhcp", "", "", "8.8.8.8 1.1.1.1")}
        << QStringList {"子网掩码 255.255.0.255 无效", "默认网关 192.168.2.1 不在子网 192.168.1.0/24 内",
                        "IP地址 192.168.1.103 与默认网关相同", "默认网关 router 无效", "不在设备列表中"}
        << QList<int> {error, error, error, error, notListed};
    QTest::newRow("a gateway on the subnet's network or broadcast address")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "172.30.7.20", "", "172.30.7.255"),
                              planLine("02:00:00:00:00:02", "172.30.7.21", "", "172.30.8.0"),
                              planLine("02:00:00:00:00:03", "172.30.7.22", "", "172.30.7.0")}
        << QStringList {"默认网关 172.30.7.255 是子网 172.30.7.0/24 的广播地址",
                        "默认网关 172.30.8.0 不在子网 172.30.7.0/24 内",
                        "默认网关 172.30.7.0 是子网 172.30.7.0/24 的网络地址"}
        << QList<int> {error, error, error};
    QTest::newRow("every DNS entry a usable address")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "192.168.1.101", "", "", "999.999.999.999"),
                              planLine("02:00:00:00:00:02", "192.168.1.102", "", "", ";;"),
                              planLine("02:00:00:00:00:03", "dhcp", "", "", "..."),
                              planLine("02:00:00:00:00:04", "dhcp", "", "", "1.2.3"),
                              planLine("02:00:00:00:00:09", "192.168.1.109", "", "", "8.8.8.8, 127.0.0.1")}
        << QStringList {"DNS 999.999.999.999 无效", "DNS ;; 无效", "DNS ... 无效", "DNS 1.2.3 无效",
                        "DNS 8.8.8.8, 127.0.0.1 无效"}
        << QList<int> {error, error, error, error, error};
    QTest::newRow("a MAC on two lines, whatever its notation")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "192.168.1.101"), planLine("02:00:00:00:00:02", ""),
                              planLine("0200.0000.0001", "")}
        << QStringList {"MAC地址与第 4 行相同", "未填写新IP", "MAC地址与第 2 行相同"}
        << QList<int> {error, empty, error};
    QTest::newRow("an address planned twice, even for a device not listed")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "192.168.1.101"),
                              planLine("02:00:00:00:00:09", "192.168.1.101"),
                              planLine("02:00:00:00:00:02", "192.168.1.102")}
        << QStringList {"IP地址 192.168.1.101 与第 3 行相同", "IP地址 192.168.1.101 与第 2 行相同", ""}
        << QList<int> {error, error, sent};
    QTest::newRow("kept addresses are held; swaps and freed addresses are not")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "192.168.1.13"),
                              planLine("02:00:00:00:00:02", "192.168.1.11"),
                              planLine("02:00:00:00:00:03", "192.168.1.12"), planLine("02:00:00:00:00:04", "dhcp"),
                              planLine("02:00:00:00:00:09", "10.0.0.4", "", "10.0.0.1")}
        << QStringList {"", "", "", "", "不在设备列表中"} << QList<int> {sent, sent, sent, sent, notListed};
    QTest::newRow("an address a listed device keeps")
        << QVector<PlanLine> {planLine("02:00:00:00:00:01", "192.168.1.12"),
                              planLine("02:00:00:00:00:02", "192.168.1.12"),
                              planLine("02:00:00:00:00:09", "10.0.0.4", "", "10.0.0.1")}
        << QStringList {"IP地址 192.168.1.12 已被设备 02:00:00:00:00:02 使用", "地址不变",
                        "IP地址 10.0.0.4 已被设备 02:00:00:00:00:04 使用"}
        << QList<int> {error, unchanged, error};
}

void TestAddressPlan::judgesLines()
{
    QFETCH(QVector<PlanLine>, lines);
    QFETCH(QStringList, notes);
    QFETCH(QList<int>, states);
    // As under a header: messages name the spreadsheet's rows.
    for (int i = 0; i < lines.size(); ++i) {
        lines[i].row = i + 2;
    }
    const QVector<JudgedLine> judged = Batch::judgeAddressPlan(
        lines, kTable, {QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1"), QString()}, kNetworks);
    QStringList gotNotes;
    QList<int> gotStates;
    for (const JudgedLine &line : judged) {
        gotNotes.append(line.note);
        gotStates.append(int(line.state));
    }
    QCOMPARE(gotNotes, notes);
    QCOMPARE(gotStates, states);
}

// "复制" gives the list; two addresses edited in a spreadsheet, it comes back as a plan of those two.
void TestAddressPlan::copiedListWithTwoEditsIsAPlanOfTwo()
{
    QVector<ListedDevice> rows;
    for (int i = 0; i < kTable.size(); ++i) {
        rows.append({false,
                     {QString::number(i + 1), "P2P", kTable.at(i).ip, "V1", "M1", kTable.at(i).mac},
                     i == 3 ? QStringLiteral("已生效") : QString()});
    }
    QString text = App::deviceListText({"序号", "设备ID", "IP地址", "版本号", "型号", "MAC地址"}, rows);
    text.replace("\t192.168.1.12\t", "\t192.168.1.112\t").replace("\t192.168.1.13\t", "\t192.168.1.113\t");
    const QVector<JudgedLine> judged =
        Batch::judgeAddressPlan(Batch::readAddressPlan(text).lines, kTable,
                                {QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1"), QString()}, kNetworks);
    const QVector<CheckedDevice> commands = Batch::planCommands(judged);
    QCOMPARE(judged.size(), 4);
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands.at(0).mac + ' ' + commands.at(0).address, QStringLiteral("02:00:00:00:00:02 192.168.1.112"));
    QCOMPARE(commands.at(1).mac + ' ' + commands.at(1).address, QStringLiteral("02:00:00:00:00:03 192.168.1.113"));
    QCOMPARE(Batch::planSummary(Batch::planCounts(judged)),
             QStringLiteral("共 4 行: 2 台设备将修改, 2 行地址不变, 0 行未填写新IP, 0 行不在设备列表中, 0 行有错误"));
}

QTEST_GUILESS_MAIN(TestAddressPlan)
#include "test_addressplan.moc"
