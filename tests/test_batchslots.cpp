#include <QtTest>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>

#include <functional>

#include "app/mainwindow.h"
#include "app/messagebox.h"
#include "fakes/fakevsnet.h"
#include "logmessages.h"
#include "widgets/myiplineedit.h"

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

} // namespace

class TestBatchSlots : public QObject
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
    void ipRefusesDuplicateAddresses();
    void ipRefusesUnusableStartAddress_data();
    void ipRefusesUnusableStartAddress();
    void ipFinalQuestionOkSearchesAgainCancelKeepsTable();
    void ipCancelSendsNothing();

private:
    void addRows(MainWindow &window, const QStringList &macs);
    QTableWidget *table(MainWindow &window) { return window.findChild<QTableWidget *>("dev_search_tableWidget"); }
    // Runs fill on the next modal dialog, then accepts it; false when no dialog opened.
    void answerNextDialog(std::function<void(QDialog *)> fill, bool accept = true);
    void clickBatch(MainWindow &window, const char *button);

    bool m_dialogSeen = false;
};

void TestBatchSlots::init()
{
    FakeVsnet::reset();
    MessageBox::clearShown();
    MessageBox::setNextAnswer(QMessageBox::Ok);
    m_dialogSeen = false;
}

void TestBatchSlots::cleanup()
{
    // A dialog answer that was not used must not answer the next test's dialog.
    qDeleteAll(findChildren<QTimer *>());
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

void TestBatchSlots::answerNextDialog(std::function<void(QDialog *)> fill, bool accept)
{
    auto *timer = new QTimer(this);
    timer->setInterval(10);
    int tries = 0;
    connect(timer, &QTimer::timeout, this, [this, timer, fill, accept, tries]() mutable {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            if (++tries > 100) {
                timer->deleteLater();
            }
            return;
        }
        timer->stop();
        timer->deleteLater();
        m_dialogSeen = true;
        if (fill) {
            fill(dialog);
        }
        accept ? dialog->accept() : dialog->reject();
    });
    timer->start();
}

void TestBatchSlots::clickBatch(MainWindow &window, const char *button)
{
    QTest::mouseClick(window.findChild<QPushButton *>(button), Qt::LeftButton);
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
    clickBatch(window, button.constData());

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

    // No debug line this time.
    static QStringList debugLines;
    debugLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &message) { debugLines.append(message); });
    clickBatch(window, button.constData());
    qInstallMessageHandler(previous);
    QCOMPARE(debugLines, QStringList());

    QVERIFY(!m_dialogSeen);
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
    QTest::mouseClick(window.findChild<QPushButton *>("select_all_btn"), Qt::LeftButton);
    table(window)->item(2, 0)->setCheckState(Qt::PartiallyChecked);
    // Row 4 loses its column 0 item: the scan stops there, so row 5 is not a target.
    delete table(window)->takeItem(4, 0);

    answerNextDialog(nullptr);
    clickBatch(window, "batch_modify_algo_btn");
    QVERIFY(m_dialogSeen);

    QStringList macs;
    for (const QJsonObject &command : sentCommands()) {
        macs.append(command.value("mac").toString());
    }
    QCOMPARE(macs, QStringList({"02:00:00:00:00:03", "02:00:00:00:00:03"}));
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
    clickBatch(window, "batch_modify_algo_btn");

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
    clickBatch(window, "batch_modify_algo_btn");
    QVERIFY(m_dialogSeen);
    QVERIFY(FakeVsnet::sent().isEmpty());
    QCOMPARE(logMessages(window), before);
    QVERIFY(MessageBox::shown().isEmpty());
}

void TestBatchSlots::ipSendsConsecutiveAddressesThenOffersSearch()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:00:03"});
    QTest::mouseClick(window.findChild<QPushButton *>("select_all_btn"), Qt::LeftButton);
    const int lines = logMessages(window).size();
    MessageBox::setNextAnswer(QMessageBox::Cancel);

    answerNextDialog([](QDialog *dialog) {
        dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("192.168.1.252");
        dialog->findChild<QLineEdit *>("dns_lineEdit")->setText(" 8.8.8.8;1.1.1.1 ");
    });
    clickBatch(window, "batch_modify_ip_btn");

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
    QTest::mouseClick(window.findChild<QPushButton *>("select_all_btn"), Qt::LeftButton);
    const int lines = logMessages(window).size();
    MessageBox::setNextAnswer(QMessageBox::Cancel);

    // DHCP ignores the start address, so an empty one is no reason to refuse.
    answerNextDialog([](QDialog *dialog) { dialog->findChild<QCheckBox *>("dhcp_checkBox")->click(); });
    clickBatch(window, "batch_modify_ip_btn");

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

void TestBatchSlots::ipRefusesDuplicateAddresses()
{
    MainWindow window;
    QStringList macs;
    for (int i = 1; i <= 7; ++i) {
        macs.append(QStringLiteral("02:00:00:00:00:0%1").arg(i));
    }
    addRows(window, macs);
    QTest::mouseClick(window.findChild<QPushButton *>("select_all_btn"), Qt::LeftButton);
    const int lines = logMessages(window).size();

    answerNextDialog(
        [](QDialog *dialog) { dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("192.168.1.250"); });
    clickBatch(window, "batch_modify_ip_btn");

    const QString text = QStringLiteral("可分配的IP地址不足: 选中 7 台设备, 从起始IP地址起只能分配 5 个不重复的地址");
    QVERIFY(FakeVsnet::sent().isEmpty());
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().constFirst().title, QStringLiteral("提示"));
    QCOMPARE(MessageBox::shown().constFirst().text, text);
    QCOMPARE(logMessages(window).mid(lines), QStringList {text + "!"});
}

void TestBatchSlots::ipRefusesUnusableStartAddress_data()
{
    QTest::addColumn<QString>("start");
    QTest::newRow("empty editor") << QString();
    QTest::newRow("loopback") << QString("127.0.0.1");
    QTest::newRow("multicast") << QString("224.0.0.1");
}

void TestBatchSlots::ipRefusesUnusableStartAddress()
{
    QFETCH(QString, start);
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01"});
    QTest::mouseClick(window.findChild<QPushButton *>("select_all_btn"), Qt::LeftButton);
    const int lines = logMessages(window).size();

    answerNextDialog([start](QDialog *dialog) { dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText(start); });
    clickBatch(window, "batch_modify_ip_btn");

    const QString text = QStringLiteral("起始IP地址 %1 不是可用的设备地址").arg(start.isEmpty() ? "0.0.0.0" : start);
    QVERIFY(FakeVsnet::sent().isEmpty());
    QCOMPARE(MessageBox::shown().size(), 1);
    QCOMPARE(MessageBox::shown().constFirst().text, text);
    QCOMPARE(logMessages(window).mid(lines), QStringList {text + "!"});
}

void TestBatchSlots::ipFinalQuestionOkSearchesAgainCancelKeepsTable()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01", "02:00:00:00:00:02"});
    QTest::mouseClick(window.findChild<QPushButton *>("select_all_btn"), Qt::LeftButton);
    auto fill = [](QDialog *dialog) { dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("10.1.1.1"); };

    MessageBox::setNextAnswer(QMessageBox::Cancel);
    answerNextDialog(fill);
    clickBatch(window, "batch_modify_ip_btn");
    QCOMPARE(FakeVsnet::sent().size(), 2);
    QCOMPARE(table(window)->rowCount(), 2);
    QCOMPARE(FakeVsnet::searchCount(), 0);

    MessageBox::setNextAnswer(QMessageBox::Ok);
    FakeVsnet::setDevices(QVector<VSOneDev>(1, FakeVsnet::makeDevice("10.1.1.1", "P", "V", "M", {2, 0, 0, 0, 0, 1})));
    answerNextDialog(fill);
    clickBatch(window, "batch_modify_ip_btn");
    QCOMPARE(FakeVsnet::sent().size(), 4);
    QTRY_COMPARE(logMessages(window).count("搜索完成!!!"), 1);
    QCOMPARE(FakeVsnet::searchCount(), 1);
    QCOMPARE(table(window)->rowCount(), 1);
    QCOMPARE(table(window)->item(0, 2)->text(), QStringLiteral("10.1.1.1"));
}

void TestBatchSlots::ipCancelSendsNothing()
{
    MainWindow window;
    addRows(window, {"02:00:00:00:00:01"});
    table(window)->item(0, 0)->setCheckState(Qt::Checked);
    const QStringList before = logMessages(window);
    answerNextDialog(nullptr, false);
    clickBatch(window, "batch_modify_ip_btn");
    QVERIFY(m_dialogSeen);
    QVERIFY(FakeVsnet::sent().isEmpty());
    QCOMPARE(logMessages(window), before);
    QVERIFY(MessageBox::shown().isEmpty());
}

QTEST_MAIN(TestBatchSlots)
#include "test_batchslots.moc"
