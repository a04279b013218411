#include <QTest>

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#include "batch/addressplan.h"
#include "batch/devicecommand.h"

class TestBatchCommands : public QObject
{
    Q_OBJECT

private slots:
    void ipCommandWireBytes_data();
    void ipCommandWireBytes();
    void algoCommandWireBytes_data();
    void algoCommandWireBytes();
    void userTextStaysValidJson_data();
    void userTextStaysValidJson();

    void addressPlan_data();
    void addressPlan();
    void usableStartAddress_data();
    void usableStartAddress();
};

void TestBatchCommands::ipCommandWireBytes_data()
{
    QTest::addColumn<int>("dhcp");
    QTest::addColumn<QString>("dns");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray head = "{\n    \"cmd\": \"ip_config_bc\",\n    \"dev\": \"eth0\",\n";
    const QByteArray tail = "    \"mac\": \"02:AB:00:00:00:01\"";
    const QByteArray address = "    \"gateway\": \"192.168.1.1\",\n    \"ip\": \"192.168.1.20\",\n";

    QTest::newRow("static, no dns") << 0 << QString()
                                    << head + "    \"dhcp\": 0,\n" + address + tail
            + ",\n    \"netmask\": \"255.255.255.0\"\n}\n";
    QTest::newRow("static, two dns servers, trimmed") << 0 << QString(" 8.8.8.8;1.1.1.1\t")
                                                      << head + "    \"dhcp\": 0,\n    \"dns\": \"8.8.8.8;1.1.1.1\",\n"
            + address + tail + ",\n    \"netmask\": \"255.255.255.0\"\n}\n";
    QTest::newRow("static, blank dns left out")
        << 0 << QString("   ")
        << head + "    \"dhcp\": 0,\n" + address + tail + ",\n    \"netmask\": \"255.255.255.0\"\n}\n";
    QTest::newRow("dhcp, no dns") << 1 << QString() << head + "    \"dhcp\": 1,\n" + tail + "\n}\n";
    QTest::newRow("dhcp with dns") << 1 << QString("114.114.114.114;8.8.8.8")
                                   << head + "    \"dhcp\": 1,\n    \"dns\": \"114.114.114.114;8.8.8.8\",\n" + tail
            + "\n}\n";
}

void TestBatchCommands::ipCommandWireBytes()
{
    QFETCH(int, dhcp);
    QFETCH(QString, dns);
    QFETCH(QByteArray, expected);
    QCOMPARE(Batch::ipConfigCommand("02:AB:00:00:00:01", dhcp, "192.168.1.20", "255.255.255.0", "192.168.1.1", dns),
             expected);
}

void TestBatchCommands::algoCommandWireBytes_data()
{
    QTest::addColumn<int>("algo");
    QTest::addColumn<int>("reboot");

    for (int algo = 1; algo <= 3; ++algo) {
        for (int reboot = 0; reboot <= 1; ++reboot) {
            QTest::addRow("algo %d reboot %d", algo, reboot) << algo << reboot;
        }
    }
}

void TestBatchCommands::algoCommandWireBytes()
{
    QFETCH(int, algo);
    QFETCH(int, reboot);
    const QByteArray expected = "{\n    \"brl_algo_type\": " + QByteArray::number(algo) + ",\n    \"brl_reboot\": "
        + QByteArray::number(reboot) + ",\n    \"cmd\": \"brl_algo_config\",\n    \"mac\": \"FE:DC:BA:98:76:54\"\n}\n";
    QCOMPARE(Batch::algoConfigCommand("FE:DC:BA:98:76:54", algo, reboot), expected);
}

void TestBatchCommands::userTextStaysValidJson_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("quotes") << QString("AA\"BB\"");
    QTest::newRow("backslashes") << QString("C:\\dev\\\\x");
    QTest::newRow("control characters") << QString("a\nb\tc\x01");
    QTest::newRow("braces and commas") << QString("}, \"cmd\": \"x\", {");
    QTest::newRow("non-ASCII") << QString("设备\u00e9\U0001F600");
    QTest::newRow("NUL, DEL, C1 control")
        << QString("a") + QChar(0) + QString("b") + QChar(0x7f) + QChar(0x85) + QString("c");
    QTest::newRow("line and paragraph separators") << QString("a\u2028b\u2029c");
}

void TestBatchCommands::userTextStaysValidJson()
{
    QFETCH(QString, text);
    const QByteArray ipCommand = Batch::ipConfigCommand(text, 0, text, text, text, text);
    const QByteArray algoCommand = Batch::algoConfigCommand(text, 2, 1);
    for (const QByteArray &command : {ipCommand, algoCommand}) {
        // Valid UTF-8 without a control byte inside a string, which Qt's reader would let pass: the
        // only ones are the line breaks of the layout, and no NUL cuts the C string the library gets.
        QCOMPARE(QString::fromUtf8(command).toUtf8(), command);
        QVERIFY(std::all_of(command.begin(), command.end(), [](char c) { return uchar(c) >= 0x20 || c == '\n'; }));
    }
    QJsonParseError error;

    const QJsonObject ip = QJsonDocument::fromJson(QByteArray(ipCommand.constData()), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    // One line per member, and one for each brace.
    QCOMPARE(ipCommand.count('\n'), ip.size() + 2);
    QCOMPARE(ip.value("mac").toString(), text);
    QCOMPARE(ip.value("ip").toString(), text);
    QCOMPARE(ip.value("dns").toString(), text.trimmed());
    QCOMPARE(ip.value("cmd").toString(), QStringLiteral("ip_config_bc"));
    QCOMPARE(ip.size(), 8);

    const QJsonObject algo = QJsonDocument::fromJson(QByteArray(algoCommand.constData()), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(algoCommand.count('\n'), algo.size() + 2);
    QCOMPARE(algo.value("mac").toString(), text);
    QCOMPARE(algo.value("cmd").toString(), QStringLiteral("brl_algo_config"));
    QCOMPARE(algo.size(), 4);
}

void TestBatchCommands::addressPlan_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("plan");
    QTest::addColumn<int>("distinct");

    QTest::newRow("consecutive") << "192.168.1.20" << 3 << QStringList {"192.168.1.20", "192.168.1.21", "192.168.1.22"}
                                 << 3;
    QTest::newRow("reaching 254 exactly")
        << "192.168.1.250" << 5
        << QStringList {"192.168.1.250", "192.168.1.251", "192.168.1.252", "192.168.1.253", "192.168.1.254"} << 5;
    QTest::newRow("capped at 254") << "192.168.1.250" << 7
                                   << QStringList {"192.168.1.250", "192.168.1.251", "192.168.1.252", "192.168.1.253",
                                                   "192.168.1.254", "192.168.1.254", "192.168.1.254"}
                                   << 5;
    QTest::newRow("start 255 falls back to 254") << "10.0.0.255" << 2 << QStringList {"10.0.0.255", "10.0.0.254"} << 2;
    QTest::newRow("start 255, three devices")
        << "10.0.0.255" << 3 << QStringList {"10.0.0.255", "10.0.0.254", "10.0.0.254"} << 2;
    QTest::newRow("leading zeros: prefix kept, last part normalised")
        << "010.001.000.007" << 2 << QStringList {"010.001.000.7", "010.001.000.8"} << 2;
    QTest::newRow("empty editor") << "0.0.0.0" << 2 << QStringList {"0.0.0.0", "0.0.0.1"} << 2;
    QTest::newRow("no devices") << "192.168.1.1" << 0 << QStringList {} << 0;
}

void TestBatchCommands::addressPlan()
{
    QFETCH(QString, start);
    QFETCH(int, count);
    QFETCH(QStringList, plan);
    QFETCH(int, distinct);
    const QStringList planned = Batch::planAddresses(start, count);
    QCOMPARE(planned, plan);
    QCOMPARE(Batch::distinctAddressCount(planned), distinct);
}

void TestBatchCommands::usableStartAddress_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<bool>("usable");
    QTest::newRow("private") << "192.168.1.20" << true;
    QTest::newRow("first octet 1") << "1.2.3.4" << true;
    QTest::newRow("leading zeros") << "010.0.0.1" << true;
    QTest::newRow("223") << "223.255.255.1" << true;
    QTest::newRow("empty editor") << "0.0.0.0" << false;
    QTest::newRow("loopback") << "127.0.0.5" << false;
    QTest::newRow("multicast") << "224.0.0.1" << false;
    QTest::newRow("reserved") << "240.1.1.1" << false;
    QTest::newRow("broadcast") << "255.255.255.255" << false;
}

void TestBatchCommands::usableStartAddress()
{
    QFETCH(QString, ip);
    QFETCH(bool, usable);
    QCOMPARE(Batch::isUsableDeviceAddress(ip), usable);
}

QTEST_GUILESS_MAIN(TestBatchCommands)
#include "test_batchcommands.moc"
