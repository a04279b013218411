#include <QTest>

#include <QRegularExpression>

#include "batch/addresscheck.h"
#include "batch/addressplan.h"
#include "sdk/VSDevNetSDK.h"

Q_DECLARE_METATYPE(QList<QStringList>)

namespace {

// "MAC address" or "MAC DHCP:address-before", with " unsent" where the library refused the command.
QVector<CheckedDevice> commandsOf(const QStringList &lines)
{
    QVector<CheckedDevice> commands;
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '));
        CheckedDevice device;
        device.mac = parts.at(0);
        device.address = parts.at(1);
        device.dhcp = device.address.startsWith(QStringLiteral("DHCP:"));
        device.addressBefore = device.address.mid(5);
        device.netmask = QStringLiteral("255.255.255.0");
        device.gateway = QStringLiteral("10.0.0.254");
        device.sent = parts.size() < 3;
        commands.append(device);
    }
    return commands;
}

// A search's rows, "MAC address" joined by ", ".
QVector<DeviceAddress> rowsOf(const QString &search)
{
    QVector<DeviceAddress> rows;
    for (const QString &row : search.split(QStringLiteral(", "), Qt::SkipEmptyParts)) {
        rows.append({row.section(QLatin1Char(' '), 0, 0), row.section(QLatin1Char(' '), 1, 1)});
    }
    return rows;
}

} // namespace

// The check after a batch IP change and the batch's record, without a window: searches, resends and
// the other ends fed to it directly, as the window would.
class TestAddressCheck : public QObject
{
    Q_OBJECT

private slots:
    void roundsAndRecord_data();
    void roundsAndRecord();
};

void TestAddressCheck::roundsAndRecord_data()
{
    QTest::addColumn<QStringList>("commands");
    // A search's rows ("fail": the library failed it); "resend", "resend unsent" (the library refused
    // every command, or those of the MACs named after it) or "decline" answers the offer of a resend;
    // "algo" is an algorithm batch, "batch" a new IP batch, "close" the window's end.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("log");
    // After each event, what the rows of M1, M2, M3 and M9 (outside every batch) show.
    QTest::addColumn<QList<QStringList>>("marks");
    QTest::addColumn<QStringList>("resent");

    const QString taken = QStringLiteral("已生效");
    const QString unsent = QStringLiteral("未生效: 命令发送失败");
    const QString unseen = QStringLiteral("未生效: 本次搜索未发现该设备");
    QTest::newRow("all taken at once") << QStringList {"M1 10.0.0.1", "M2 10.0.0.2"}
                                       << QStringList {"M1 10.0.0.1, M2 10.0.0.2, M9 10.0.0.9"}
                                       << QStringList {"核对结果: 2 台设备中 2 台已生效, 0 台未生效"}
                                       << QList<QStringList> {{taken, taken, "", ""}} << QStringList {};
    QTest::newRow("late devices show nothing while waited for, and stay taken when missed later")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2", "M3 10.0.0.3"}
        << QStringList {"M1 10.0.0.1", "M2 010.000.000.002", "M3 10.0.0.3", ""}
        << QStringList {"核对中: 3 台设备中 1 台已生效, 1 秒后再次搜索其余 2 台!",
                        "核对中: 3 台设备中 2 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对结果: 3 台设备中 3 台已生效, 0 台未生效"}
        << QList<QStringList> {{taken, "", "", ""},
                               {taken, taken, "", ""},
                               {taken, taken, taken, ""},
                               {taken, taken, taken, ""}}
        << QStringList {};
    QTest::newRow("reasons in batch order after the last search; a later search can only add taken ones")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2", "M3 10.0.0.3 unsent"}
        << QStringList {"M2 192.168.1.2, M1 10.0.0.1",
                        "M2 192.168.1.7, M3 10.0.0.9",
                        "",
                        "M9 10.0.0.9",
                        "decline",
                        "M2 10.0.0.2, M3 10.0.0.3",
                        "M2 10.0.0.9"}
        << QStringList {"核对中: 3 台设备中 1 台已生效, 1 台命令发送失败, 1 秒后再次搜索其余 1 台!",
                        "核对中: 3 台设备中 1 台已生效, 1 台命令发送失败, 1 秒后再次搜索其余 1 台!",
                        "核对中: 3 台设备中 1 台已生效, 1 台命令发送失败, 1 秒后再次搜索其余 1 台!",
                        "M2 未生效: 搜索到的 IP 为 192.168.1.7",
                        "M3 未生效: 命令发送失败",
                        "核对结果: 3 台设备中 1 台已生效, 2 台未生效"}
        << QList<QStringList> {{taken, "", unsent, ""},
                               {taken, "", unsent, ""},
                               {taken, "", unsent, ""},
                               {taken, "未生效: 搜索到的 IP 为 192.168.1.7", unsent, ""},
                               {taken, "未生效: 搜索到的 IP 为 192.168.1.7", unsent, ""},
                               {taken, taken, taken, ""},
                               {taken, taken, taken, ""}}
        << QStringList {};
    QTest::newRow("a resend's round: the device planned twice goes once, at its last address")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2", "M1 10.0.0.3"} << QStringList {"M1 10.0.0.1, M2 10.0.0.2",
                                                                                     "",
                                                                                     "",
                                                                                     "M1 10.0.0.1",
                                                                                     "resend",
                                                                                     "M1 10.0.0.1",
                                                                                     "M1 10.0.0.3",
                                                                                     "M2 10.0.0.2"}
        << QStringList {"核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "M1 未生效: 搜索到的 IP 为 10.0.0.1",
                        "核对结果: 2 台设备中 1 台已生效, 1 台未生效",
                        "核对中: 1 台设备中 0 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对结果: 1 台设备中 1 台已生效, 0 台未生效"}
        << QList<QStringList> {{"", taken, "", ""},    {"", taken, "", ""},
                               {"", taken, "", ""},    {"未生效: 搜索到的 IP 为 10.0.0.1", taken, "", ""},
                               {"", taken, "", ""},    {"", taken, "", ""},
                               {taken, taken, "", ""}, {taken, taken, "", ""}}
        << QStringList {"M1 10.0.0.3"};
    QTest::newRow("a failed search is one that saw nothing")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2"} << QStringList {"M1 10.0.0.1", "fail", "M2 10.0.0.2"}
        << QStringList {"核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对结果: 2 台设备中 2 台已生效, 0 台未生效"}
        << QList<QStringList> {{taken, "", "", ""}, {taken, "", "", ""}, {taken, taken, "", ""}} << QStringList {};
    QTest::newRow("a failed last search ends the check unjudged, not the record")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2"} << QStringList {"M1 10.0.0.1", "", "", "fail", "M2 10.0.0.2"}
        << QStringList {"核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中止: 搜索失败, 1 台设备未能核对!"}
        << QList<QStringList> {{taken, "", "", ""},
                               {taken, "", "", ""},
                               {taken, "", "", ""},
                               {taken, "", "", ""},
                               {taken, taken, "", ""}}
        << QStringList {};
    QTest::newRow("a resend that fails to go out hides no late success")
        << QStringList {"M1 10.0.0.1"} << QStringList {"", "", "", "", "resend unsent", "M1 10.0.0.1"}
        << QStringList {"核对中: 1 台设备中 0 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 1 台设备中 0 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 1 台设备中 0 台已生效, 1 秒后再次搜索其余 1 台!",
                        "M1 未生效: 本次搜索未发现该设备",
                        "核对结果: 1 台设备中 0 台已生效, 1 台未生效",
                        "核对结果: 1 台设备中 1 台已生效, 0 台未生效"}
        << QList<QStringList> {{"", "", "", ""},     {"", "", "", ""},     {"", "", "", ""},
                               {unseen, "", "", ""}, {unsent, "", "", ""}, {taken, "", "", ""}}
        << QStringList {"M1 10.0.0.1"};
    QTest::newRow("a failed last search after a resend: the refused one shows so at once and counts apart")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2"}
        << QStringList {"", "", "", "", "resend unsent M2", "fail", "fail", "fail", "fail"}
        << QStringList {"核对中: 2 台设备中 0 台已生效, 1 秒后再次搜索其余 2 台!",
                        "核对中: 2 台设备中 0 台已生效, 1 秒后再次搜索其余 2 台!",
                        "核对中: 2 台设备中 0 台已生效, 1 秒后再次搜索其余 2 台!",
                        "M1 未生效: 本次搜索未发现该设备",
                        "M2 未生效: 本次搜索未发现该设备",
                        "核对结果: 2 台设备中 0 台已生效, 2 台未生效",
                        "核对中: 2 台设备中 0 台已生效, 1 台命令发送失败, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 0 台已生效, 1 台命令发送失败, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 0 台已生效, 1 台命令发送失败, 1 秒后再次搜索其余 1 台!",
                        "核对中止: 搜索失败, 1 台设备未能核对, 1 台命令发送失败!"}
        << QList<QStringList> {{"", "", "", ""},         {"", "", "", ""},     {"", "", "", ""},
                               {unseen, unseen, "", ""}, {"", unsent, "", ""}, {"", unsent, "", ""},
                               {"", unsent, "", ""},     {"", unsent, "", ""}, {unseen, unsent, "", ""}}
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2"};
    QTest::newRow("every command refused: a failed search leaves nothing unjudged")
        << QStringList {"M1 10.0.0.1 unsent"} << QStringList {"fail"}
        << QStringList {"M1 未生效: 命令发送失败", "核对结果: 1 台设备中 0 台已生效, 1 台未生效"}
        << QList<QStringList> {{unsent, "", "", ""}} << QStringList {};
    QTest::newRow("an algorithm batch ends the round, the window's end the record")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2"}
        << QStringList {"M1 10.0.0.1", "algo", "M2 10.0.0.5", "close", "M1 10.0.0.1"}
        << QStringList {"核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!"}
        << QList<QStringList> {{taken, "", "", ""},
                               {taken, "", "", ""},
                               {taken, "", "", ""},
                               {"", "", "", ""},
                               {"", "", "", ""}}
        << QStringList {};
    QTest::newRow("a new batch names the first ten devices the ended check waited for, none once it ended")
        << QStringList {"M1 x", "M2 x", "M3 x", "N1 x", "N2 x", "N3 x", "N4 x", "N5 x", "N6 x", "N7 x", "N8 x"}
        << QStringList {"", "batch", "batch"}
        << QStringList {"核对中: 11 台设备中 0 台已生效, 1 秒后再次搜索其余 11 台!",
                        "核对中止: 11 台设备未核对 (新的批量修改已发出): M1, M2, M3, N1, N2, N3, N4, N5, N6, N7 等"}
        << QList<QStringList> {{"", "", "", ""}, {"", "", "", ""}, {"", "", "", ""}} << QStringList {};
    QTest::newRow("DHCP devices waited for alike: a lease, none, the address kept, not seen again")
        << QStringList {"M1 DHCP:10.0.0.1", "M2 DHCP:169.254.3.7", "M3 DHCP:10.0.0.3", "N1 DHCP:10.0.0.4"}
        << QStringList {"M2 0.0.0.0, M3 10.0.0.3", "", "", "M1 172.16.0.12, M2 169.254.3.7, M3 010.000.000.003"}
        << QStringList {"核对中: 4 台设备中 0 台已生效, 1 秒后再次搜索其余 4 台!",
                        "核对中: 4 台设备中 0 台已生效, 1 秒后再次搜索其余 4 台!",
                        "核对中: 4 台设备中 0 台已生效, 1 秒后再次搜索其余 4 台!",
                        "M1 DHCP: 172.16.0.12",
                        "M2 未生效: 没有获得DHCP地址 (169.254.3.7)",
                        "M3 DHCP: 地址未变 010.000.000.003",
                        "N1 未生效: 没有再出现",
                        "核对结果: 4 台设备中 2 台已生效, 2 台未生效"}
        << QList<QStringList> {{"", "", "", ""},
                               {"", "", "", ""},
                               {"", "", "", ""},
                               {"DHCP: 172.16.0.12", "未生效: 没有获得DHCP地址 (169.254.3.7)",
                                "DHCP: 地址未变 010.000.000.003", ""}}
        << QStringList {};
}

void TestAddressCheck::roundsAndRecord()
{
    QFETCH(QStringList, commands);
    QFETCH(QStringList, events);
    QFETCH(QStringList, log);
    QFETCH(QList<QStringList>, marks);
    QFETCH(QStringList, resent);

    AddressCheck check;
    check.setWaits({1, 2, 3});
    QStringList messages;
    connect(&check, &AddressCheck::message, this, [&messages](const QString &text) { messages.append(text); });
    int wanted = 0;
    connect(&check, &AddressCheck::searchWanted, this, [&wanted] { ++wanted; });
    QStringList questions;
    QVector<CheckedDevice> offer;
    connect(&check, &AddressCheck::resendOffered, this,
            [&](const QString &question, const QVector<CheckedDevice> &devices) {
                questions.append(question);
                offer = devices;
            });

    // The window searches right after the batch and after a resend; the round asks for the others.
    check.beginRecord(commandsOf(commands));
    check.start();
    bool windowSearches = true;
    int asked = 0;
    QList<QStringList> shown;
    QStringList sent;
    for (const QString &event : std::as_const(events)) {
        if (event.startsWith(QStringLiteral("resend")) || event == QStringLiteral("decline")) {
            QTRY_VERIFY(!offer.isEmpty());
            if (event.startsWith(QStringLiteral("resend"))) {
                const QStringList words = event.split(QLatin1Char(' '));
                const QStringList refused = words.mid(2);
                for (CheckedDevice &device : offer) {
                    sent.append(device.mac + QLatin1Char(' ') + device.address);
                    device.sent = !words.contains(QStringLiteral("unsent"))
                        || (!refused.isEmpty() && !refused.contains(device.mac));
                }
                check.startResend(offer);
                windowSearches = true;
            }
            offer.clear();
        } else if (event == QStringLiteral("algo")) {
            check.cancel();
        } else if (event == QStringLiteral("batch")) {
            check.endForNewBatch();
            check.beginRecord(commandsOf(commands));
        } else if (event == QStringLiteral("close")) {
            check.endRecord();
        } else {
            if (check.isRunning() && !windowSearches) {
                QTRY_COMPARE_WITH_TIMEOUT(wanted, asked + 1, 10000);
                ++asked;
            }
            windowSearches = false;
            check.searchStarted();
            const bool failed = event == QStringLiteral("fail");
            check.searchEnded(failed ? VSNET_ERR_ABORTED : 0, rowsOf(failed ? QString() : event));
        }
        QStringList now;
        for (const QString &mac : QStringList {"M1", "M2", "M3", "M9"}) {
            const DeviceOutcome outcome = check.shownOutcome(mac);
            QCOMPARE(outcome.taken, !outcome.text.isEmpty() && !outcome.text.startsWith(QStringLiteral("未生效")));
            now.append(outcome.text);
        }
        shown.append(now);
    }
    QCOMPARE(messages, log);
    QCOMPARE(shown, marks);
    QCOMPARE(sent, resent);
    QCOMPARE(wanted, asked);

    // Every summary with devices not taken offers exactly those a resend.
    QStringList asks;
    const QRegularExpression summary(QStringLiteral("^核对结果: \\d+ 台设备中 \\d+ 台已生效, (\\d+) 台未生效$"));
    for (const QString &line : std::as_const(log)) {
        const QRegularExpressionMatch match = summary.match(line);
        if (match.hasMatch() && match.captured(1) != QStringLiteral("0")) {
            asks.append(QStringLiteral("%1! 需要向未生效的 %2 台设备重新发送吗？").arg(line, match.captured(1)));
        }
    }
    QTRY_COMPARE(questions, asks);
}

QTEST_MAIN(TestAddressCheck)
#include "test_addresscheck.moc"
