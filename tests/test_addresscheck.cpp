#include <QTest>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTableWidget>

#include "app/messagebox.h"
#include "batch/addresscheck.h"
#include "fakes/fakevsnet.h"

Q_DECLARE_METATYPE(QList<QStringList>)

namespace {

// "MAC address", with " unsent" where the library refused the command.
QVector<CheckedDevice> commandsOf(const QStringList &lines)
{
    QVector<CheckedDevice> commands;
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '));
        CheckedDevice device;
        device.mac = parts.at(0);
        device.address = parts.at(1);
        device.netmask = QStringLiteral("255.255.255.0");
        device.gateway = QStringLiteral("10.0.0.254");
        device.sent = parts.size() < 3;
        commands.append(device);
    }
    return commands;
}

// Rows "MAC address" as a search leaves them in the table.
void showRows(QTableWidget &table, const QStringList &rows)
{
    table.setRowCount(0);
    for (const QString &line : rows) {
        const QStringList parts = line.split(QLatin1Char(' '));
        const int row = table.rowCount();
        table.insertRow(row);
        for (int column = 0; column < 6; ++column) {
            table.setItem(row, column, new QTableWidgetItem());
        }
        table.item(row, 2)->setText(parts.at(1));
        table.item(row, 5)->setText(parts.at(0));
    }
}

} // namespace

// The check after a batch IP change, fed search results directly.
class TestAddressCheck : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void checkFollowsSearchesResendsAndMarks_data();
    void checkFollowsSearchesResendsAndMarks();
};

void TestAddressCheck::init()
{
    FakeVsnet::reset();
    MessageBox::clearShown();
}

void TestAddressCheck::checkFollowsSearchesResendsAndMarks_data()
{
    QTest::addColumn<QStringList>("commands");
    // Each search's rows; "fail" is a search the library failed.
    QTest::addColumn<QList<QStringList>>("searches");
    QTest::addColumn<bool>("resend");
    QTest::addColumn<QStringList>("log");
    // Tooltips of the last search's rows, in row order.
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<QStringList>("resent");

    QTest::newRow("all taken at once") << QStringList {"M1 10.0.0.1", "M2 10.0.0.2"}
                                       << QList<QStringList> {{"M1 10.0.0.1", "M2 10.0.0.2", "M9 10.0.0.9"}} << false
                                       << QStringList {"核对结果: 2 台设备中 2 台已生效, 0 台未生效"}
                                       << QStringList {"已生效", "已生效", ""} << QStringList {};
    QTest::newRow("late devices stay taken when later searches miss them")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2", "M3 10.0.0.3"}
        << QList<QStringList> {{"M1 10.0.0.1"}, {"M2 010.000.000.002"}, {"M3 10.0.0.3"}} << false
        << QStringList {"核对中: 3 台设备中 1 台已生效, 1 秒后再次搜索其余 2 台!",
                        "核对中: 3 台设备中 2 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对结果: 3 台设备中 3 台已生效, 0 台未生效"}
        << QStringList {"已生效"} << QStringList {};
    QTest::newRow("four searches, then the reasons in batch order")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2", "M3 10.0.0.3 unsent", "M4 10.0.0.4"}
        << QList<QStringList> {{"M2 192.168.1.2", "M1 10.0.0.1"},
                               {"M2 192.168.1.7"},
                               {},
                               {"M3 192.168.1.3", "M1 10.0.0.1"}}
        << false
        << QStringList {"核对中: 4 台设备中 1 台已生效, 1 秒后再次搜索其余 2 台!",
                        "核对中: 4 台设备中 1 台已生效, 1 秒后再次搜索其余 2 台!",
                        "核对中: 4 台设备中 1 台已生效, 1 秒后再次搜索其余 2 台!",
                        "M2 未生效: 搜索到的 IP 为 192.168.1.7",
                        "M3 未生效: 命令发送失败",
                        "M4 未生效: 本次搜索未发现该设备",
                        "核对结果: 4 台设备中 1 台已生效, 3 台未生效"}
        << QStringList {"未生效: 命令发送失败", "已生效"} << QStringList {};
    QTest::newRow("a device planned twice is checked and resent once, at its last address")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2", "M1 10.0.0.3"}
        << QList<QStringList> {{"M1 10.0.0.1", "M2 10.0.0.2"}, {}, {}, {"M1 10.0.0.1"}, {"M1 10.0.0.3"}} << true
        << QStringList {"核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "M1 未生效: 搜索到的 IP 为 10.0.0.1",
                        "核对结果: 2 台设备中 1 台已生效, 1 台未生效",
                        "M1 设备修改 IP 为 10.0.0.3",
                        "核对结果: 1 台设备中 1 台已生效, 0 台未生效"}
        << QStringList {"已生效"} << QStringList {"M1 10.0.0.3"};
    QTest::newRow("a failed search ends the check silently")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2"} << QList<QStringList> {{"M1 10.0.0.1"}, {"fail"}} << false
        << QStringList {"核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!"} << QStringList {} << QStringList {};
    QTest::newRow("resend refused when another device shows a planned address")
        << QStringList {"M1 10.0.0.1", "M2 10.0.0.2"}
        << QList<QStringList> {{"M1 10.0.0.1"}, {}, {}, {"M1 10.0.0.1", "M7 10.0.0.2"}} << true
        << QStringList {"核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "核对中: 2 台设备中 1 台已生效, 1 秒后再次搜索其余 1 台!",
                        "M2 未生效: 本次搜索未发现该设备",
                        "核对结果: 2 台设备中 1 台已生效, 1 台未生效",
                        "IP地址 10.0.0.2 已被设备 M7 使用!"}
        << QStringList {"已生效", ""} << QStringList {};
}

void TestAddressCheck::checkFollowsSearchesResendsAndMarks()
{
    QFETCH(QStringList, commands);
    QFETCH(QList<QStringList>, searches);
    QFETCH(bool, resend);
    QFETCH(QStringList, log);
    QFETCH(QStringList, marks);
    QFETCH(QStringList, resent);

    MessageBox::setNextAnswer(resend ? QMessageBox::Ok : QMessageBox::Cancel);
    AddressCheck check;
    check.setWaits({1, 2, 3});
    QStringList messages;
    connect(&check, &AddressCheck::message, this, [&messages](const QString &text) { messages.append(text); });
    int wanted = 0;
    connect(&check, &AddressCheck::searchWanted, this, [&wanted] { ++wanted; });
    QTableWidget table(0, 6);

    check.start(commandsOf(commands));
    for (int i = 0; i < searches.size(); ++i) {
        // Every search after the first is one the check asked for.
        if (i > 0) {
            QTRY_COMPARE_WITH_TIMEOUT(wanted, i, 10000);
        }
        const bool failed = searches.at(i) == QStringList {"fail"};
        showRows(table, failed ? QStringList() : searches.at(i));
        check.searchEnded(failed ? VSNET_ERR_ABORTED : 0, &table);
    }
    QCOMPARE(messages, log);
    QCOMPARE(wanted, searches.size() - 1);
    QVERIFY(!check.isRunning());

    QStringList tips;
    for (int row = 0; row < table.rowCount(); ++row) {
        tips.append(table.item(row, 3)->toolTip());
    }
    QCOMPARE(tips, marks);

    QStringList sent;
    for (const FakeVsnet::Sent &command : FakeVsnet::sent()) {
        const QJsonObject json = QJsonDocument::fromJson(command.json).object();
        sent.append(json.value("mac").toString() + ' ' + json.value("ip").toString());
    }
    QCOMPARE(sent, resent);

    // Every summary with devices not taken asks about exactly those.
    QStringList questions;
    for (const MessageBox::Shown &box : MessageBox::shown()) {
        if (box.title == QStringLiteral("询问")) {
            questions.append(box.text);
        }
    }
    QStringList asked;
    const QRegularExpression summary(QStringLiteral("^核对结果: \\d+ 台设备中 \\d+ 台已生效, (\\d+) 台未生效$"));
    for (const QString &line : log) {
        const QRegularExpressionMatch match = summary.match(line);
        if (match.hasMatch() && match.captured(1) != QStringLiteral("0")) {
            asked.append(QStringLiteral("%1! 需要向未生效的 %2 台设备重新发送吗？").arg(line, match.captured(1)));
        }
    }
    QCOMPARE(questions, asked);
    MessageBox::clearNextAnswer();
}

QTEST_MAIN(TestAddressCheck)
#include "test_addresscheck.moc"
