#include <QTest>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>

#include <functional>

#include "app/mainwindow.h"
#include "app/messagebox.h"
#include "batch/addresscheck.h"
#include "batch/devicecommand.h"
#include "batch/planreader.h"
#include "fakes/fakevsnet.h"
#include "guitest.h"
#include "hints/devicehints.h"
#include "widgets/myiplineedit.h"

#include <QKeySequence>

namespace {

const QString kBroadcast = QStringLiteral("255.255.255.255");

QList<QJsonObject> sentCommands()
{
    QList<QJsonObject> commands;
    for (const FakeVsnet::Sent &sent : FakeVsnet::sent()) {
        commands.append(QJsonDocument::fromJson(sent.json).object());
    }
    return commands;
}

QStringList sentMacs()
{
    QStringList macs;
    for (const QJsonObject &command : sentCommands()) {
        macs.append(command.value("mac").toString());
    }
    return macs;
}

} // namespace

class TestBatchSlots : public GuiTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyTableRefusesWithDebugLine_data();
    void emptyTableRefusesWithDebugLine();
    void nothingCheckedRefuses_data();
    void nothingCheckedRefuses();
    void targetsFollowTableOrderSkipEmptyMacsStopAtMissingItem();

    void algoSendsOneCommandPerDeviceThenConfirms();
    void algoCancelSendsNothing();

    void ipSendsConsecutiveAddressesThenOffersSearch();
    void ipDhcpSendsNoAddressAndLogsDhcp();
    void ipPlanIsCheckedBeforeAnythingIsSent_data();
    void ipPlanIsCheckedBeforeAnythingIsSent();
    void ipAddressesGoOutInPlainDecimal();
    void libraryFailuresAreReported_data();
    void libraryFailuresAreReported();
    void ipFinalQuestionOkSearchesAgainCancelKeepsTable();
    void marksSpanResendAndLaterSearch();
    void ipCancelSendsNothing();
    void ipRowsFoundWhileDialogIsOpenCountAsHeld();
    void checkWaitingForDevicesEnds_data();
    void checkWaitingForDevicesEnds();
    void recordStartsWithTheSendsWhateverTheAnswer();
    void lateSuccessShowsAfterFailedResend();
    void failedSearchesCountAsSearchesThatSawNothing();
    void checkWaitsForOpenDialogsAndMenus_data();
    void checkWaitsForOpenDialogsAndMenus();
    void checkSearchesKeepTheUsersMarks();
    void pastedPlanRefusals_data();
    void pastedPlanRefusals();
    void pastedPlanGoesOutAndIsCheckedAsABatch();
    void pasteDuringASearchIsJudgedAgainWhenItEnds();
    void findBarLeavesHiddenRowsOutOfSelectionBatchAndCopy();

private:
    void addRows(MainWindow &window, const QStringList &macs);
    void startBatch(MainWindow &window);
    QStringList markedMacs(MainWindow &window);
    // The check's timers still to run out: the pause before its next search, the delay of its question.
    static QList<QTimer *> pendingCheckTimers(MainWindow &window);
    // Lets the one pending timer of the check run out now, rather than sleep past it.
    static bool runCheckTimer(MainWindow &window);
};

void TestBatchSlots::init()
{
    FakeVsnet::reset();
    // 10.0.0.5/8: the rows' tooltips hold the batch's outcome alone, whatever this machine's networks are.
    DeviceHints::injectNetworks({{0x0A000005, 8}});
    MessageBox::clearShown();
    MessageBox::setNextAnswer(QMessageBox::Ok);
}

void TestBatchSlots::cleanup()
{
    dropDialogAnswers();
    MessageBox::clearNextAnswer();
}

void TestBatchSlots::addRows(MainWindow &window, const QStringList &macs)
{
    const int before = table(window)->rowCount();
    for (int i = 0; i < macs.size(); ++i) {
        emit window.addSearchDeviceToTable(QStringLiteral("P2P-%1").arg(i), QStringLiteral("10.0.0.%1").arg(i + 1),
                                           "V1", "M1", macs.at(i), QString());
    }
    QTRY_COMPARE(table(window)->rowCount(), before + macs.size());
}

// Checks the first row and sends it, and every further row, an address from 10.1.1.1 up.
void TestBatchSlots::startBatch(MainWindow &window)
{
    table(window)->item(0, 0)->setCheckState(Qt::Checked);
    answerNextDialog([](QDialog *dialog) { dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("10.1.1.1"); });
    click(window, "batch_modify_ip_btn");
    QVERIFY(dialogSeen());
}

QStringList TestBatchSlots::markedMacs(MainWindow &window)
{
    QStringList macs;
    for (int row = 0; row < table(window)->rowCount(); ++row) {
        if (table(window)->item(row, 0)->checkState() == Qt::Checked) {
            macs.append(table(window)->item(row, 5)->text());
        }
    }
    return macs;
}

QList<QTimer *> TestBatchSlots::pendingCheckTimers(MainWindow &window)
{
    QList<QTimer *> pending;
    for (QTimer *timer : window.findChild<AddressCheck *>()->findChildren<QTimer *>()) {
        if (timer->isActive()) {
            pending.append(timer);
        }
    }
    return pending;
}

bool TestBatchSlots::runCheckTimer(MainWindow &window)
{
    const QList<QTimer *> pending = pendingCheckTimers(window);
    if (pending.size() != 1) {
        return false;
    }
    QSignalSpy ranOut(pending.constFirst(), &QTimer::timeout);
    pending.constFirst()->start(0);
    return ranOut.wait(30000);
}

void TestBatchSlots::emptyTableRefusesWithDebugLine_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("text");
    QTest::newRow("ip") << QByteArray("batch_modify_ip_btn") << QString("请先勾选需要修改 IP 的设备");
    QTest::newRow("algo") << QByteArray("batch_modify_algo_btn") << QString("请先勾选需要修改算法的设备");
}

void TestBatchSlots::emptyTableRefusesWithDebugLine()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, text);
    MainWindow window;
    QTest::ignoreMessage(QtDebugMsg, "设备列表表格为空");
    click(window, button.constData());

    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().constFirst().title, QStringLiteral("提示"));
    QCOMPARE(MessageBox::shown().constFirst().text, text);
    QCOMPARE(MessageBox::shown().constFirst().icon, QMessageBox::Information);
    QCOMPARE(MessageBox::shown().constFirst().buttons, QStringList {"OK"});
    QCOMPARE(logMessages(window), QStringList {text + "!"});
    QVERIFY(FakeVsnet::sent().isEmpty());
}

void TestBatchSlots::nothingCheckedRefuses_data()
{
    emptyTableRefusesWithDebugLine_data();
}

void TestBatchSlots::nothingCheckedRefuses()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, text);
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", ""});
    // A checked row whose MAC is empty is no target either.
    table(window)->item(1, 0)->setCheckState(Qt::Checked);
    const int lines = logMessages(window).size();
    answerNextDialog(nullptr, false);

    // No debug line this time. Warnings are Qt's own (under Wine, about the message box's icon).
    static QStringList debugLines;
    debugLines.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtDebugMsg) {
                debugLines.append(message);
            }
        });
    click(window, button.constData());
    qInstallMessageHandler(previous);
    QCOMPARE(debugLines, QStringList());

    QVERIFY(!dialogSeen());
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().constFirst().text, text);
    QCOMPARE(logMessages(window).mid(lines), QStringList {text + "!"});
    QVERIFY(FakeVsnet::sent().isEmpty());
}

void TestBatchSlots::targetsFollowTableOrderSkipEmptyMacsStopAtMissingItem()
{
    MainWindow window;
    addRows(
        window,
        {"02:00:00:00:00:03", "", "02:00:00:00:00:01", "02:00:00:00:00:03", "02:00:00:00:00:09", "02:00:00:00:00:0A"});
    click(window, "select_all_btn");
    table(window)->item(2, 0)->setCheckState(Qt::PartiallyChecked);
    // Row 4 loses its column 0 item: the scan stops there, so row 5 is not a target.
    delete table(window)->takeItem(4, 0);

    answerNextDialog(nullptr);
    click(window, "batch_modify_algo_btn");
    QVERIFY(dialogSeen());

    QCOMPARE(sentMacs(), QStringList({"02:00:00:00:00:03", "02:00:00:00:00:03"}));
}

void TestBatchSlots::algoSendsOneCommandPerDeviceThenConfirms()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:00:03", "02:00:00:00:00:04"});
    for (int row : {0, 2, 3}) {
        table(window)->item(row, 0)->setCheckState(Qt::Checked);
    }
    const int lines = logMessages(window).size();

    QStringList items;
    answerNextDialog([&items](QDialog *dialog) {
        auto *combo = dialog->findChild<QComboBox *>("algo_comboBox");
        for (int i = 0; i < combo->count(); ++i) {
            items.append(combo->itemText(i));
        }
        combo->setCurrentIndex(2);
        dialog->findChild<QCheckBox *>("reboot_checkBox")->setChecked(false);
    });
    click(window, "batch_modify_algo_btn");

    QCOMPARE(items, QStringList({"人形算法", "出入口算法", "车工位算法"}));
    const QList<FakeVsnet::Sent> sent = FakeVsnet::sent();
    QCOMPARE(sent.size(), 3);
    const QStringList macs = {"02:00:00:00:00:01", "02:00:00:00:00:03", "02:00:00:00:00:04"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(QString::fromLatin1(sent.at(i).address), kBroadcast);
        QCOMPARE(sent.at(i).json,
                 "{\n    \"brl_algo_type\": 3,\n    \"brl_reboot\": 0,\n    \"cmd\": "
                 "\"brl_algo_config\",\n    \"mac\": \""
                     + macs.at(i).toLatin1() + "\"\n}\n");
    }
    QCOMPARE(logMessages(window).mid(lines),
             QStringList({"02:00:00:00:00:01 设备修改算法为 车工位算法", "02:00:00:00:00:03 设备修改算法为 车工位算法",
                          "02:00:00:00:00:04 设备修改算法为 车工位算法"}));
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().constFirst().title, QStringLiteral("提示"));
    QCOMPARE(MessageBox::shown().constFirst().text, QStringLiteral("批量修改算法完成!"));
}

void TestBatchSlots::algoCancelSendsNothing()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01"});
    table(window)->item(0, 0)->setCheckState(Qt::Checked);
    const QStringList before = logMessages(window);
    answerNextDialog(nullptr, false);
    click(window, "batch_modify_algo_btn");
    QVERIFY(dialogSeen());
    QVERIFY(FakeVsnet::sent().isEmpty());
    QCOMPARE(logMessages(window), before);
    QVERIFY(MessageBox::shown().isEmpty());
}

void TestBatchSlots::ipSendsConsecutiveAddressesThenOffersSearch()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:00:03"});
    click(window, "select_all_btn");
    const int lines = logMessages(window).size();
    MessageBox::setNextAnswer(QMessageBox::Cancel);

    answerNextDialog([](QDialog *dialog) {
        dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("192.168.1.252");
        dialog->findChild<QLineEdit *>("dns_lineEdit")->setText(" 8.8.8.8;1.1.1.1 ");
    });
    click(window, "batch_modify_ip_btn");

    const QList<QJsonObject> commands = sentCommands();
    QCOMPARE(commands.size(), 3);
    const QStringList ips = {"192.168.1.252", "192.168.1.253", "192.168.1.254"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(QString::fromLatin1(FakeVsnet::sent().at(i).address), kBroadcast);
        QCOMPARE(commands.at(i).value("ip").toString(), ips.at(i));
        QCOMPARE(commands.at(i).value("mac").toString(), QStringLiteral("02:00:00:00:00:0%1").arg(i + 1));
        QCOMPARE(commands.at(i).value("netmask").toString(), QStringLiteral("255.255.255.0"));
        QCOMPARE(commands.at(i).value("gateway").toString(), QStringLiteral("192.168.1.1"));
        QCOMPARE(commands.at(i).value("dns").toString(), QStringLiteral("8.8.8.8;1.1.1.1"));
        QCOMPARE(commands.at(i).value("dhcp").toInt(-1), 0);
    }
    QCOMPARE(
        logMessages(window).mid(lines),
        QStringList({"02:00:00:00:00:01 设备修改 IP 为 192.168.1.252", "02:00:00:00:00:02 设备修改 IP 为 192.168.1.253",
                     "02:00:00:00:00:03 设备修改 IP 为 192.168.1.254"}));
    QCOMPARE(MessageBox::shown().size(), 1);
    const MessageBox::Shown question = MessageBox::shown().constFirst();
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(question.title, QStringLiteral("询问"));
    QCOMPARE(question.text, QStringLiteral("批量修改IP完成! 需要立即重新搜索设备吗？"));
    QCOMPARE(question.buttons.size(), 2);
    QVERIFY(question.buttons.contains("确定") && question.buttons.contains("取消"));
}

void TestBatchSlots::ipDhcpSendsNoAddressAndLogsDhcp()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02"});
    click(window, "select_all_btn");
    const int lines = logMessages(window).size();
    MessageBox::setNextAnswer(QMessageBox::Cancel);

    // DHCP ignores the start address, so an empty one is no reason to refuse.
    answerNextDialog([](QDialog *dialog) { dialog->findChild<QCheckBox *>("dhcp_checkBox")->click(); });
    click(window, "batch_modify_ip_btn");

    const QList<FakeVsnet::Sent> sent = FakeVsnet::sent();
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(1).json,
             "{\n    \"cmd\": \"ip_config_bc\",\n    \"dev\": \"eth0\",\n    \"dhcp\": 1,\n    "
             "\"mac\": \"02:00:00:00:00:02\"\n}\n");
    QCOMPARE(logMessages(window).mid(lines),
             QStringList({"02:00:00:00:00:01 设备修改 IP 为 DHCP", "02:00:00:00:00:02 设备修改 IP 为 DHCP"}));
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().constFirst().title, QStringLiteral("询问"));
}

// The plan's rules are in test_addressplan; here the window's part: the start address as typed, the
// unchecked rows as the devices outside the batch, and a refusal that sends nothing.
void TestBatchSlots::ipPlanIsCheckedBeforeAnythingIsSent_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<QString>("gateway");
    QTest::addColumn<QString>("refusal");
    const QString mask24 = QStringLiteral("255.255.255.0");
    const QString gateway = QStringLiteral("192.168.1.1");
    QTest::newRow("empty start") << 1 << QString() << mask24 << gateway
                                 << QString("起始IP地址 0.0.0.0 不是可用的设备地址");
    // The unchecked row holds 10.0.0.200; the batch's own rows (10.0.0.1 up) are moving.
    QTest::newRow("held by another device") << 2 << QString("10.0.0.199") << mask24 << gateway
                                            << QString("IP地址 10.0.0.200 已被设备 02:00:00:00:00:FF 使用");
    QTest::newRow("own addresses, gateway elsewhere") << 2 << QString("10.0.0.1") << mask24 << gateway << QString();
}

void TestBatchSlots::ipPlanIsCheckedBeforeAnythingIsSent()
{
    QFETCH(int, count);
    QFETCH(QString, start);
    QFETCH(QString, netmask);
    QFETCH(QString, gateway);
    QFETCH(QString, refusal);
    MainWindow window;
    QStringList macs;
    for (int i = 1; i <= count; ++i) {
        macs.append(QStringLiteral("02:00:00:00:00:%1").arg(i, 2, 10, QLatin1Char('0')));
    }
    addRows(window, macs);
    click(window, "select_all_btn");
    emit window.addSearchDeviceToTable("P", "10.0.0.200", "V", "M", "02:00:00:00:00:FF", QString());
    QTRY_COMPARE(table(window)->rowCount(), count + 1);
    const int lines = logMessages(window).size();
    MessageBox::setNextAnswer(QMessageBox::Cancel);

    answerNextDialog([&](QDialog *dialog) {
        dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText(start);
        dialog->findChild<MyIpLineEdit *>("netmask_lineEdit")->setText(netmask);
        dialog->findChild<MyIpLineEdit *>("gateway_lineEdit")->setText(gateway);
    });
    click(window, "batch_modify_ip_btn");

    QCOMPARE(MessageBox::shown().size(), 1);
    if (refusal.isEmpty()) {
        QCOMPARE(FakeVsnet::sent().size(), count);
        QCOMPARE(MessageBox::shown().constFirst().title, QStringLiteral("询问"));
        return;
    }
    QVERIFY(FakeVsnet::sent().isEmpty());
    QCOMPARE(MessageBox::shown().constFirst().title, QStringLiteral("提示"));
    QCOMPARE(MessageBox::shown().constFirst().text, refusal);
    QCOMPARE(logMessages(window).mid(lines), QStringList {refusal + "!"});
}

void TestBatchSlots::ipAddressesGoOutInPlainDecimal()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02"});
    click(window, "select_all_btn");
    const int lines = logMessages(window).size();
    MessageBox::setNextAnswer(QMessageBox::Cancel);

    answerNextDialog([](QDialog *dialog) {
        dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("010.001.000.007");
        dialog->findChild<MyIpLineEdit *>("netmask_lineEdit")->setText("255.255.255.000");
        dialog->findChild<MyIpLineEdit *>("gateway_lineEdit")->setText("010.001.000.001");
        dialog->findChild<QLineEdit *>("dns_lineEdit")->setText("008.008.004.004;114;;1.1.1.1");
    });
    click(window, "batch_modify_ip_btn");

    const QList<QJsonObject> commands = sentCommands();
    QCOMPARE(commands.size(), 2);
    QCOMPARE(commands.at(0).value("ip").toString(), QStringLiteral("10.1.0.7"));
    QCOMPARE(commands.at(1).value("ip").toString(), QStringLiteral("10.1.0.8"));
    QCOMPARE(commands.at(1).value("netmask").toString(), QStringLiteral("255.255.255.0"));
    QCOMPARE(commands.at(1).value("gateway").toString(), QStringLiteral("10.1.0.1"));
    QCOMPARE(commands.at(1).value("dns").toString(), QStringLiteral("8.8.4.4;114;;1.1.1.1"));
    QCOMPARE(logMessages(window).mid(lines),
             QStringList({"02:00:00:00:00:01 设备修改 IP 为 10.1.0.7", "02:00:00:00:00:02 设备修改 IP 为 10.1.0.8"}));
}

// Which library call fails, and with it the log lines and box that must say so.
void TestBatchSlots::libraryFailuresAreReported_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("box");
    QTest::newRow("init") << "init" << QStringList {"设备库初始化失败, 错误码 -3!"} << 0 << QString();
    QTest::newRow("search") << "search" << QStringList {"开始搜索, 清空表格!", "搜索失败, 错误码 -3!"} << 0
                            << QString();
    QTest::newRow("algo send") << "algo"
                               << QStringList {"02:00:00:00:00:01 设备修改算法为 人形算法",
                                               "02:00:00:00:00:02 设备修改算法为 人形算法 发送失败, 错误码 -3!",
                                               "02:00:00:00:00:03 设备修改算法为 人形算法"}
                               << int(QMessageBox::Warning) << QString("批量修改算法未完成: 3 台设备中 1 台发送失败!");
    QTest::newRow("ip send") << "ip"
                             << QStringList {"02:00:00:00:00:01 设备修改 IP 为 10.9.0.1",
                                             "02:00:00:00:00:02 设备修改 IP 为 10.9.0.2 发送失败, 错误码 -3!",
                                             "02:00:00:00:00:03 设备修改 IP 为 10.9.0.3"}
                             << int(QMessageBox::Question)
                             << QString("批量修改IP未完成: 3 台设备中 1 台发送失败! 需要立即重新搜索设备吗？");
}

void TestBatchSlots::libraryFailuresAreReported()
{
    QFETCH(QString, failing);
    QFETCH(QStringList, lines);
    QFETCH(int, icon);
    QFETCH(QString, box);
    FakeVsnet::setInitResult(failing == "init" ? -3 : 0);
    FakeVsnet::setSearchResult(failing == "search" ? -3 : 0);
    FakeVsnet::setSendResults({0, -3, 0});
    MainWindow window;
    if (failing == "search") {
        QTest::mouseClick(window.findChild<QPushButton *>("search_dev_btn"), Qt::LeftButton);
        QTRY_VERIFY(window.findChild<QPushButton *>("search_dev_btn")->isEnabled());
    }
    int first = 0;
    if (failing == "algo" || failing == "ip") {
        addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:00:03"});
        click(window, "select_all_btn");
        first = logMessages(window).size();
        MessageBox::setNextAnswer(QMessageBox::Cancel);
        answerNextDialog([](QDialog *dialog) {
            if (auto *start = dialog->findChild<MyIpLineEdit *>("ip_lineEdit")) {
                start->setText("10.9.0.1");
            }
        });
        click(window, failing == "ip" ? "batch_modify_ip_btn" : "batch_modify_algo_btn");
        QCOMPARE(FakeVsnet::sent().size(), 3);
    }
    if (failing == "ip") {
        // Known as the command goes out, whether a check follows or not.
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(table(window)->item(row, 5)->toolTip(),
                     row == 1 ? QStringLiteral("未生效: 命令发送失败") : QString());
        }
    }
    QCOMPARE(logMessages(window).mid(first), lines);
    QCOMPARE(MessageBox::shown().size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QCOMPARE(int(MessageBox::shown().constFirst().icon), icon);
        QCOMPARE(MessageBox::shown().constFirst().text, box);
    }
}

void TestBatchSlots::ipFinalQuestionOkSearchesAgainCancelKeepsTable()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02"});
    click(window, "select_all_btn");
    auto fill = [](QDialog *dialog) { dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("10.1.1.1"); };

    MessageBox::setNextAnswer(QMessageBox::Cancel);
    answerNextDialog(fill);
    click(window, "batch_modify_ip_btn");
    QCOMPARE(FakeVsnet::sent().size(), 2);
    QCOMPARE(table(window)->rowCount(), 2);
    QCOMPARE(FakeVsnet::searchCount(), 0);

    QVERIFY(!logMessages(window).join('\n').contains("核对结果"));

    // The searches after "确定" are compared with the plan: one device took its address, one never does.
    window.findChild<AddressCheck *>()->setWaits({1, 1, 1});
    MessageBox::setNextAnswer(QMessageBox::Ok);
    QVector<VSOneDev> found;
    found.append(FakeVsnet::makeDevice("10.1.1.1", "P", "V", "M", {2, 0, 0, 0, 0, 1}));
    found.append(FakeVsnet::makeDevice("10.0.0.2", "P", "V", "M", {2, 0, 0, 0, 0, 2}));
    FakeVsnet::setDevices(found);
    answerNextDialog(fill);
    click(window, "batch_modify_ip_btn");
    QCOMPARE(FakeVsnet::sent().size(), 4);
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).join('\n').contains("核对结果"), 30000);
    QCOMPARE(FakeVsnet::searchCount(), 4);
    QCOMPARE(logMessages(window).mid(logMessages(window).lastIndexOf("搜索完成!!!")),
             QStringList({"搜索完成!!!", "与上次搜索相比: 新增 0 台, 0 台没有应答",
                          "02:00:00:00:00:02 未生效: 搜索到的 IP 为 10.0.0.2",
                          "核对结果: 2 台设备中 1 台已生效, 1 台未生效"}));
    // The offer comes from a timer after the report; a loaded machine ran the comparison in between.
    QTRY_COMPARE(MessageBox::shown().constLast().text,
                 QStringLiteral("核对结果: 2 台设备中 1 台已生效, 1 台未生效! 需要向未生效的 1 台设备重新发送吗？"));
    QCOMPARE(table(window)->rowCount(), 2);
    QCOMPARE(table(window)->item(0, 5)->toolTip(), QStringLiteral("已生效"));
    QCOMPARE(table(window)->item(1, 0)->toolTip(), QStringLiteral("未生效: 搜索到的 IP 为 10.0.0.2"));
    QVERIFY(table(window)->item(0, 1)->background() != table(window)->item(1, 1)->background());
    QCOMPARE(FakeVsnet::sent().size(), 4);
}

// The batch's record outlives its rounds: after a resend's round and a search by hand, every row
// of the batch carries its outcome, rows outside it none, and the copy gives the whole batch.
void TestBatchSlots::marksSpanResendAndLaterSearch()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02"});
    click(window, "select_all_btn");
    emit window.addSearchDeviceToTable("P", "10.0.0.9", "V", "M", "02:00:00:00:00:09", QString());
    QTRY_COMPARE(table(window)->rowCount(), 3);
    window.findChild<AddressCheck *>()->setWaits({});
    // The second device shows at its old address until the resend.
    const auto devices = [](const QByteArray &second) {
        QVector<VSOneDev> found;
        found.append(FakeVsnet::makeDevice("10.1.1.1", "P", "V", "M", {2, 0, 0, 0, 0, 1}));
        found.append(FakeVsnet::makeDevice(second, "P", "V", "M", {2, 0, 0, 0, 0, 2}));
        found.append(FakeVsnet::makeDevice("10.0.0.9", "P", "V", "M", {2, 0, 0, 0, 0, 9}));
        return found;
    };
    FakeVsnet::setDevices(devices("10.0.0.2"));
    // Held, so that the change comes only after the batch's search has taken its devices.
    FakeVsnet::setHold(true);
    answerNextDialog([](QDialog *dialog) { dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("10.1.1.1"); });
    click(window, "batch_modify_ip_btn");
    QVERIFY(FakeVsnet::waitForRunning(1));
    FakeVsnet::setDevices(devices("10.1.1.2"));
    FakeVsnet::release();
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).contains("核对结果: 1 台设备中 1 台已生效, 0 台未生效"), 30000);
    QCOMPARE(sentCommands().size(), 3);
    QCOMPARE(sentCommands().constLast().value("mac").toString(), QStringLiteral("02:00:00:00:00:02"));

    click(window, "search_dev_btn");
    QTRY_COMPARE_WITH_TIMEOUT(logMessages(window).count("搜索完成!!!"), 3, 30000);
    QCOMPARE(table(window)->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const bool inBatch = table(window)->item(row, 5)->text() != QStringLiteral("02:00:00:00:00:09");
        for (int column = 0; column < 6; ++column) {
            QCOMPARE(table(window)->item(row, column)->toolTip(), inBatch ? QStringLiteral("已生效") : QString());
        }
        QCOMPARE(table(window)->item(row, 1)->background() == QBrush(), !inBatch);
    }
    QGuiApplication::clipboard()->clear();
    QTest::keySequence(table(window), QKeySequence::Copy);
    QStringList outcomes;
    for (const QString &line : QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts)) {
        outcomes.append(line.section('\t', 5));
    }
    QCOMPARE(outcomes,
             QStringList(
                 {"MAC地址\t核对", "02:00:00:00:00:01\t已生效", "02:00:00:00:00:02\t已生效", "02:00:00:00:00:09\t"}));
}

void TestBatchSlots::ipRowsFoundWhileDialogIsOpenCountAsHeld()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01"});
    table(window)->item(0, 0)->setCheckState(Qt::Checked);
    answerNextDialog([&window](QDialog *dialog) {
        dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("10.1.1.1");
        emit window.addSearchDeviceToTable("P", "10.1.1.1", "V", "M", "02:00:00:00:00:07", QString());
        QTRY_COMPARE(table(window)->rowCount(), 2);
    });
    click(window, "batch_modify_ip_btn");
    QVERIFY(FakeVsnet::sent().isEmpty());
    QCOMPARE(logMessages(window).constLast(), QStringLiteral("IP地址 10.1.1.1 已被设备 02:00:00:00:00:07 使用!"));
}

void TestBatchSlots::checkWaitingForDevicesEnds_data()
{
    QTest::addColumn<QString>("by");
    QTest::newRow("algorithm batch") << "algo";
    QTest::newRow("pasted plan, as a new batch") << "plan";
    QTest::newRow("window closed") << "close";
    QTest::newRow("search by hand serves as the next search") << "search";
}

void TestBatchSlots::checkWaitingForDevicesEnds()
{
    QFETCH(QString, by);
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01"});
    table(window)->item(0, 0)->setCheckState(Qt::Checked);
    // Long, so that no search of the check's own races the test's.
    window.findChild<AddressCheck *>()->setWaits({60000, 60000, 60000});
    answerNextDialog([](QDialog *dialog) { dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("10.1.1.1"); });
    click(window, "batch_modify_ip_btn");
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).join('\n').contains("核对中"), 30000);

    if (by == "algo") {
        table(window)->setRowCount(0);
        addRows(window, {"02:00:00:00:00:01"});
        table(window)->item(0, 0)->setCheckState(Qt::Checked);
        answerNextDialog(nullptr);
        click(window, "batch_modify_algo_btn");
        QVERIFY(dialogSeen());
    } else if (by == "plan") {
        addRows(window, {"02:00:00:00:00:01"});
        MessageBox::setNextAnswer(QMessageBox::Cancel);
        QGuiApplication::clipboard()->setText("02:00:00:00:00:01\t10.1.1.9\t255.255.255.0\t10.1.1.1");
        answerNextDialog(nullptr);
        QTest::keySequence(table(window), QKeySequence::Paste);
        QVERIFY(dialogSeen());
        QCOMPARE(FakeVsnet::sent().size(), 2);
        QVERIFY(logMessages(window).contains("核对中止: 1 台设备未核对 (新的批量修改已发出): 02:00:00:00:00:01"));
    } else if (by == "close") {
        window.close();
    } else {
        click(window, "search_dev_btn");
        QTRY_COMPARE_WITH_TIMEOUT(logMessages(window).filter("核对中: 1 台设备中 0 台已生效").size(), 2, 30000);
        QCOMPARE(FakeVsnet::searchCount(), 2);
        return;
    }
    // Nothing is left to run out: an ended check starts no search and writes nothing more.
    QVERIFY(pendingCheckTimers(window).isEmpty());
    QCOMPARE(FakeVsnet::searchCount(), 1);
}

// "取消" skips the check, not the record: a search by hand marks the device it shows at its planned
// address, and no other. A DHCP batch then starts its own: the device shown with a lease of its own.
void TestBatchSlots::recordStartsWithTheSendsWhateverTheAnswer()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02"});
    click(window, "select_all_btn");
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    startBatch(window);
    QVector<VSOneDev> found;
    found.append(FakeVsnet::makeDevice("10.1.1.1", "P", "V", "M", {2, 0, 0, 0, 0, 1}));
    found.append(FakeVsnet::makeDevice("10.0.0.2", "P", "V", "M", {2, 0, 0, 0, 0, 2}));
    FakeVsnet::setDevices(found);

    QStringList copied;
    for (const bool dhcp : {false, true}) {
        if (dhcp) {
            click(window, "select_all_btn");
            answerNextDialog([](QDialog *dialog) { dialog->findChild<QCheckBox *>("dhcp_checkBox")->click(); });
            click(window, "batch_modify_ip_btn");
            found[0] = FakeVsnet::makeDevice("172.16.0.12", "P", "V", "M", {2, 0, 0, 0, 0, 1});
            FakeVsnet::setDevices(found);
        }
        click(window, "search_dev_btn");
        QTRY_COMPARE_WITH_TIMEOUT(logMessages(window).count("搜索完成!!!"), dhcp ? 2 : 1, 30000);
        QCOMPARE(table(window)->item(0, 1)->toolTip(), QString(dhcp ? "DHCP: 172.16.0.12" : "已生效"));
        QVERIFY(table(window)->item(0, 1)->background() != QBrush());
        QCOMPARE(table(window)->item(1, 1)->toolTip(), QString());
        QTest::keySequence(table(window), QKeySequence::Copy);
        copied.append(QGuiApplication::clipboard()->text().section('\n', 1, 1).section('\t', 5));
    }
    QCOMPARE(FakeVsnet::searchCount(), 2);
    QCOMPARE(copied, QStringList({"02:00:00:00:00:01\t已生效", "02:00:00:00:00:01\tDHCP: 172.16.0.12"}));
}

// The resend fails to go out, yet the search after it shows the device at its planned address: it
// took the first command late, and is taken.
void TestBatchSlots::lateSuccessShowsAfterFailedResend()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:02"});
    window.findChild<AddressCheck *>()->setWaits({});
    FakeVsnet::setSendResults({0, -3});
    const auto at = [](const QByteArray &ip) {
        QVector<VSOneDev> found;
        found.append(FakeVsnet::makeDevice(ip, "P", "V", "M", {2, 0, 0, 0, 0, 2}));
        return found;
    };
    FakeVsnet::setDevices(at("10.0.0.1"));
    FakeVsnet::setHold(true);
    startBatch(window);
    QVERIFY(FakeVsnet::waitForRunning(1));
    FakeVsnet::setDevices(at("10.1.1.1"));
    FakeVsnet::release();
    QTRY_VERIFY_WITH_TIMEOUT(
        logMessages(window).contains("02:00:00:00:00:02 设备修改 IP 为 10.1.1.1 发送失败, 错误码 -3!"), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).contains("核对结果: 1 台设备中 1 台已生效, 0 台未生效"), 30000);
    QCOMPARE(FakeVsnet::sent().size(), 2);
    QCOMPARE(table(window)->item(0, 1)->toolTip(), QStringLiteral("已生效"));
}

void TestBatchSlots::failedSearchesCountAsSearchesThatSawNothing()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01"});
    window.findChild<AddressCheck *>()->setWaits({300, 300});
    startBatch(window);
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).join('\n').contains("核对中"), 30000);
    FakeVsnet::setSearchResult(-3);
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).contains("核对中止: 搜索失败, 1 台设备未能核对!"), 30000);
    QCOMPARE(FakeVsnet::searchCount(), 3);
    QCOMPARE(logMessages(window).filter("核对中: 1 台设备中 0 台已生效, 1 秒后再次搜索其余 1 台!").size(), 2);
    QCOMPARE(logMessages(window).filter("核对结果").size(), 0);
    // No resend is offered, nor left to come: the question after the batch stays the only box.
    QVERIFY(pendingCheckTimers(window).isEmpty());
    QCOMPARE(MessageBox::shown().size(), 1);
}

void TestBatchSlots::checkWaitsForOpenDialogsAndMenus_data()
{
    // The first action of the menu, or none for a modal dialog.
    QTest::addColumn<QString>("menu");
    QTest::newRow("dialog") << QString();
    QTest::newRow("table menu") << QStringLiteral("复制");
    QTest::newRow("log menu") << QStringLiteral("清空");
}

// Neither the check's next search, which empties the table, nor its question comes while a dialog,
// a box or a menu is open.
void TestBatchSlots::checkWaitsForOpenDialogsAndMenus()
{
    QFETCH(QString, menu);
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01"});
    window.findChild<AddressCheck *>()->setWaits({60000});
    startBatch(window);
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).join('\n').contains("核对中"), 30000);

    QDialog modal;
    modal.setModal(true);
    QWidget *open = &modal;
    for (QMenu *candidate : window.findChildren<QMenu *>()) {
        if (!menu.isEmpty() && candidate->actions().value(0) && candidate->actions().constFirst()->text() == menu) {
            open = candidate;
        }
    }
    QCOMPARE(open == &modal, menu.isEmpty());
    const auto isOpen = [open] {
        return QApplication::activeModalWidget() == open || QApplication::activePopupWidget() == open;
    };
    open->show();
    QTRY_VERIFY(isOpen());
    // The pause runs out: the check holds its search back and looks again later.
    QVERIFY(runCheckTimer(window));
    QCOMPARE(pendingCheckTimers(window).size(), 1);
    QCOMPARE(logMessages(window).count("开始搜索, 清空表格!"), 1);
    FakeVsnet::setHold(true);
    open->hide();
    QTRY_COMPARE_WITH_TIMEOUT(FakeVsnet::runningSearches(), 1, 30000);
    open->show();
    QTRY_VERIFY(isOpen());
    FakeVsnet::release();
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).join('\n').contains("核对结果"), 30000);
    QVERIFY(runCheckTimer(window));
    QCOMPARE(pendingCheckTimers(window).size(), 1);
    QCOMPARE(MessageBox::shown().size(), 1);
    open->hide();
    QTRY_COMPARE(MessageBox::shown().size(), 2);
    QCOMPARE(FakeVsnet::searchCount(), 2);
}

// The user may check rows for the next batch while a check runs: its own searches give each checked
// MAC its mark back, also after a search that missed the device; a search by hand leaves none.
void TestBatchSlots::checkSearchesKeepTheUsersMarks()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01"});
    window.findChild<AddressCheck *>()->setWaits({60000, 60000, 60000});
    const auto devices = [](const QVector<unsigned char> &lastBytes) {
        QVector<VSOneDev> found;
        for (const unsigned char last : lastBytes) {
            found.append(
                FakeVsnet::makeDevice("10.0.0." + QByteArray::number(last), "P", "V", "M", {2, 0, 0, 0, 0, last}));
        }
        return found;
    };
    // The batch's device stays at its old address, so the check searches again and again.
    FakeVsnet::setDevices(devices({1, 2, 3}));
    startBatch(window);
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).join('\n').contains("核对中"), 30000);
    QCOMPARE(markedMacs(window), QStringList());

    table(window)->item(2, 0)->setCheckState(Qt::Checked);
    FakeVsnet::setDevices(devices({1, 2}));
    QVERIFY(runCheckTimer(window));
    QTRY_COMPARE_WITH_TIMEOUT(logMessages(window).count("搜索完成!!!"), 2, 30000);
    QCOMPARE(table(window)->rowCount(), 2);
    QCOMPARE(markedMacs(window), QStringList());

    table(window)->item(1, 0)->setCheckState(Qt::Checked);
    FakeVsnet::setDevices(devices({1, 2, 3}));
    QVERIFY(runCheckTimer(window));
    QTRY_COMPARE_WITH_TIMEOUT(logMessages(window).count("搜索完成!!!"), 3, 30000);
    QCOMPARE(markedMacs(window), QStringList({"02:00:00:00:00:02", "02:00:00:00:00:03"}));

    click(window, "search_dev_btn");
    QTRY_COMPARE_WITH_TIMEOUT(logMessages(window).count("搜索完成!!!"), 4, 30000);
    QCOMPARE(table(window)->rowCount(), 3);
    QCOMPARE(markedMacs(window), QStringList());
}

void TestBatchSlots::ipCancelSendsNothing()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01"});
    table(window)->item(0, 0)->setCheckState(Qt::Checked);
    const QStringList before = logMessages(window);
    answerNextDialog(nullptr, false);
    click(window, "batch_modify_ip_btn");
    QVERIFY(dialogSeen());
    QVERIFY(FakeVsnet::sent().isEmpty());
    QCOMPARE(logMessages(window), before);
    QVERIFY(MessageBox::shown().isEmpty());
}

void TestBatchSlots::pastedPlanRefusals_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("line");
    const QString noPlan = QStringLiteral("剪贴板中没有地址表: 每行需要一个 MAC 地址和一个新的 IP 地址");
    QString tooLong;
    for (int i = 0; i <= MaxPlanLines; ++i) {
        tooLong += QStringLiteral("02:00:00:00:00:01\t10.0.0.1\n");
    }
    QTest::newRow("empty table") << 0 << "02:00:00:00:00:01\t10.0.0.9"
                                 << "请先搜索设备"
                                 << "请先搜索设备!";
    QTest::newRow("empty clipboard") << 1 << QString() << noPlan << "剪贴板中没有地址表!";
    QTest::newRow("an image") << 1 << "image" << noPlan << "剪贴板中没有地址表!";
    QTest::newRow("no MAC") << 1 << "MAC\tIP\nfoo\t10.0.0.9\n" << noPlan << "剪贴板中没有地址表!";
    QTest::newRow("too long") << 1 << tooLong << "地址表过长: 最多 65536 行"
                              << "地址表过长: 最多 65536 行!";
    QTest::newRow("cancelled") << 1 << "02:00:00:00:00:01\t10.0.0.9" << QString() << QString();
}

// Through the table's menu: a box and a log line, or the dialog, and nothing sent.
void TestBatchSlots::pastedPlanRefusals()
{
    QFETCH(int, rows);
    QFETCH(QString, clipboard);
    QFETCH(QString, box);
    QFETCH(QString, line);
    MainWindow window;
    if (rows > 0) {
        addRows(window, {"02:00:00:00:00:01"});
    }
    if (clipboard == "image") {
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QGuiApplication::clipboard()->setImage(image);
    } else {
        QGuiApplication::clipboard()->setText(clipboard);
    }
    const QStringList before = logMessages(window);
    answerNextDialog(nullptr, false);
    QAction *paste = nullptr;
    for (QMenu *menu : window.findChildren<QMenu *>()) {
        for (QAction *action : menu->actions()) {
            paste = action->text() == QStringLiteral("粘贴地址表") ? action : paste;
        }
    }
    QVERIFY(paste);
    paste->trigger();

    QCOMPARE(dialogSeen(), box.isEmpty());
    QCOMPARE(MessageBox::shown().size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty()) {
        QCOMPARE(MessageBox::shown().constFirst().title, QStringLiteral("提示"));
        QCOMPARE(MessageBox::shown().constFirst().text, box);
    }
    QCOMPARE(logMessages(window).mid(before.size()), line.isEmpty() ? QStringList() : QStringList {line});
    QVERIFY(FakeVsnet::sent().isEmpty());
}

// Ctrl+V in the table to "复制": a plan over two subnets and DHCP goes out as one batch, checked at each
// device's own address, the missing device resent exactly its command, and the outcome copied.
void TestBatchSlots::pastedPlanGoesOutAndIsCheckedAsABatch()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:00:03", "02:00:00:00:00:04"});
    window.findChild<AddressCheck *>()->setWaits({});
    const auto devices = [](const QByteArray &second) {
        QVector<VSOneDev> found;
        found.append(FakeVsnet::makeDevice("192.168.5.11", "P", "V", "M", {2, 0, 0, 0, 0, 1}));
        found.append(FakeVsnet::makeDevice(second, "P", "V", "M", {2, 0, 0, 0, 0, 2}));
        found.append(FakeVsnet::makeDevice("172.16.0.10", "P", "V", "M", {2, 0, 0, 0, 0, 3}));
        found.append(FakeVsnet::makeDevice("10.0.0.4", "P", "V", "M", {2, 0, 0, 0, 0, 4}));
        return found;
    };
    FakeVsnet::setDevices(devices("10.0.0.2"));
    FakeVsnet::setHold(true);
    QGuiApplication::clipboard()->setText(QStringLiteral("MAC地址\t新IP\t子网掩码\t网关\n"
                                                         "02:00:00:00:00:01\t192.168.5.11\t255.255.255.0\t192.168.5.1\n"
                                                         "02-00-00-00-00-02\t10.0.0.22\t\t\n"
                                                         "02:00:00:00:00:03\tDHCP\t\t\n"
                                                         "02:00:00:00:00:04\t10.0.0.4\t\t\n"));
    const int lines = logMessages(window).size();
    QStringList notes;
    answerNextDialog([&notes](QDialog *dialog) {
        dialog->findChild<MyIpLineEdit *>("plan_gateway_lineEdit")->setText("10.0.0.254");
        notes = column(dialog->findChild<QTableWidget *>("plan_tableWidget"), 6);
    });
    QTest::keySequence(table(window), QKeySequence::Paste);
    QVERIFY(dialogSeen());
    // 192.168.5.11/24 is out of 10.0.0.5/8's reach: told, and sent all the same.
    QCOMPARE(notes, QStringList({"不在本机网段", "", "", "地址不变"}));

    const QByteArray commands[] = {
        Batch::ipConfigCommand("02:00:00:00:00:01", 0, "192.168.5.11", "255.255.255.0", "192.168.5.1", QString()),
        Batch::ipConfigCommand("02:00:00:00:00:02", 0, "10.0.0.22", "255.255.255.0", "10.0.0.254", QString()),
        Batch::ipConfigCommand("02:00:00:00:00:03", 1, QString(), QString(), QString(), QString())};
    QCOMPARE(FakeVsnet::sent().size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(FakeVsnet::sent().at(i).json, commands[i]);
    }
    QCOMPARE(logMessages(window).mid(lines, 3),
             QStringList({"02:00:00:00:00:01 设备修改 IP 为 192.168.5.11", "02:00:00:00:00:02 设备修改 IP 为 10.0.0.22",
                          "02:00:00:00:00:03 设备修改 IP 为 DHCP"}));
    QCOMPARE(MessageBox::shown().constFirst().text, QStringLiteral("批量修改IP完成! 需要立即重新搜索设备吗？"));

    // The check's search shows the second device where it was; the resend's shows it moved.
    QVERIFY(FakeVsnet::waitForRunning(1));
    FakeVsnet::setDevices(devices("10.0.0.22"));
    FakeVsnet::release();
    QTRY_VERIFY_WITH_TIMEOUT(logMessages(window).contains("核对结果: 1 台设备中 1 台已生效, 0 台未生效"), 30000);
    QVERIFY(logMessages(window).contains("02:00:00:00:00:02 未生效: 搜索到的 IP 为 10.0.0.2"));
    QVERIFY(logMessages(window).contains("核对结果: 3 台设备中 2 台已生效, 1 台未生效"));
    QCOMPARE(FakeVsnet::sent().size(), 4);
    QCOMPARE(FakeVsnet::sent().constLast().json, commands[1]);

    QStringList marks;
    for (int row = 0; row < table(window)->rowCount(); ++row) {
        marks.append(table(window)->item(row, 5)->text() + ' ' + table(window)->item(row, 1)->toolTip());
    }
    QCOMPARE(marks,
             QStringList({"02:00:00:00:00:01 已生效", "02:00:00:00:00:02 已生效", "02:00:00:00:00:03 DHCP: 172.16.0.10",
                          "02:00:00:00:00:04 "}));
    QTest::keySequence(table(window), QKeySequence::Copy);
    QStringList outcomes;
    for (const QString &copied : QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts)) {
        outcomes.append(copied.section('\t', 5));
    }
    QCOMPARE(outcomes,
             QStringList({"MAC地址\t核对", "02:00:00:00:00:01\t已生效", "02:00:00:00:00:02\t已生效",
                          "02:00:00:00:00:03\tDHCP: 172.16.0.10", "02:00:00:00:00:04\t"}));
}

// Pasted while the search has found nothing yet: "确定" waits for its end, and every line is then judged
// against the whole list.
void TestBatchSlots::pasteDuringASearchIsJudgedAgainWhenItEnds()
{
    MainWindow window;
    QVector<VSOneDev> found;
    for (uchar last : {1, 2}) {
        found.append(FakeVsnet::makeDevice("10.0.0." + QByteArray::number(last), "P", "V", "M", {2, 0, 0, 0, 0, last}));
    }
    FakeVsnet::setDevices(found);
    FakeVsnet::setHold(true, 0, true);
    click(window, "search_dev_btn");
    QVERIFY(FakeVsnet::waitForRunning(1));
    QGuiApplication::clipboard()->setText("02:00:00:00:00:01\t10.0.0.101\t255.255.255.0\t10.0.0.254\n"
                                          "02:00:00:00:00:02\t10.0.0.102\t255.255.255.0\t10.0.0.254\n");
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    bool waited = false;
    answerNextDialog([&waited](QDialog *dialog) {
        QPushButton *ok = dialog->findChild<QDialogButtonBox *>("plan_buttonBox")->button(QDialogButtonBox::Ok);
        waited = !ok->isEnabled() && dialog->findChild<QLabel *>("plan_searching_label")->isVisible();
        FakeVsnet::release();
        QTRY_VERIFY_WITH_TIMEOUT(ok->isEnabled(), 30000);
    });
    QTest::keySequence(table(window), QKeySequence::Paste);
    QVERIFY(dialogSeen());
    QVERIFY(waited);
    QCOMPARE(FakeVsnet::sent().size(), 2);
}

void TestBatchSlots::findBarLeavesHiddenRowsOutOfSelectionBatchAndCopy()
{
    MainWindow window;
    QVERIFY(showActive(&window));
    addRows(window, {"02:00:00:00:00:01", "02:AA:00:00:00:02", "02:00:00:00:00:03"});
    QTest::keySequence(&window, QKeySequence::Find);
    window.findChild<QLineEdit *>("find_lineEdit")->setText("2-00-00");
    click(window, "select_all_btn");
    QCOMPARE(markedMacs(window), QStringList({"02:00:00:00:00:01", "02:00:00:00:00:03"}));

    // Checked behind the bar's back, a hidden row is still no target.
    table(window)->item(1, 0)->setCheckState(Qt::Checked);
    answerNextDialog(nullptr);
    click(window, "batch_modify_algo_btn");
    QVERIFY(dialogSeen());
    QCOMPARE(sentMacs(), QStringList({"02:00:00:00:00:01", "02:00:00:00:00:03"}));

    // "不选" leaves the shown rows unchecked: "复制" copies every shown row and no hidden one.
    click(window, "unselect_all_btn");
    table(window)->setFocus();
    QTest::keySequence(table(window), QKeySequence::Copy);
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied.count('\n'), 3);
    QVERIFY(!copied.contains("02:AA:00:00:00:02"));
}

QTEST_MAIN(TestBatchSlots)
#include "test_batchslots.moc"
