#include <QTest>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHash>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTableWidget>
#include <QTextEdit>

#include <algorithm>
#include <functional>

#include "app/devicetablewidget.h"
#include "app/mainwindow.h"
#include "app/messagebox.h"
#include "batch/addresscheck.h"
#include "devicenetwork.h"
#include "guitest.h"
#include "scopeguards.h"
#include "standin_devsimprocess.h"
#include "widgets/myiplineedit.h"

// The window with the bundled device library against simulated devices, over loopback.
class TestEndToEnd : public GuiTest
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void searchShowsEverySimulatedDevice();
    void aThousandDevicesShowWithinThreeSearches();
    void malformedAnswersNeverBecomeRows();
    void batchChangesShowInTheNextSearch();
    void resendsUntilEveryDeviceTookItsAddress();

private:
    bool search(MainWindow &window);
    // Consecutive static addresses from 172.16.5.20/16.
    static void fillIpDialog(QDialog *dialog)
    {
        dialog->findChild<MyIpLineEdit *>("ip_lineEdit")->setText("172.16.5.20");
        dialog->findChild<MyIpLineEdit *>("netmask_lineEdit")->setText("255.255.0.0");
    }

    // Long enough for every answer of a simulated network on a loaded machine.
    const ScopedEnv m_searchWindow {"VSNET_SEARCH_MS", "2000"};
};

void TestEndToEnd::initTestCase()
{
    // Loopback only, whatever the calling environment says.
    qunsetenv("VSNET_BROADCAST");
    qunsetenv("VSNET_INTERFACES");
}

void TestEndToEnd::cleanup()
{
    MessageBox::clearNextAnswer();
    dropDialogAnswers();
}

bool TestEndToEnd::search(MainWindow &window)
{
    auto *refresh = window.findChild<QPushButton *>("search_dev_btn");
    const QString log = window.findChild<QTextEdit *>("textEdit")->toPlainText();
    const int done = log.count(QStringLiteral("搜索完成!!!"));
    QTest::mouseClick(refresh, Qt::LeftButton);
    return QTest::qWaitFor(
        [&] {
            return window.findChild<QTextEdit *>("textEdit")->toPlainText().count(QStringLiteral("搜索完成!!!")) > done;
        },
        30000);
}

void TestEndToEnd::searchShowsEverySimulatedDevice()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start({"--count", "40"}));
    const ScopedEnv port("VSNET_PORT", QByteArray::number(devsim.port()));

    MainWindow window;
    window.show();
    QVERIFY(search(window));
    QCOMPARE(table(window)->rowCount(), 40);
    const QStringList macs = column(table(window), 5);
    QCOMPARE(QSet<QString>(macs.begin(), macs.end()).size(), 40);
    const QRegularExpression macPattern(QStringLiteral("^([0-9A-F]{2}:){5}[0-9A-F]{2}$"));
    const QString log = window.findChild<QTextEdit *>("textEdit")->toPlainText();
    for (int row = 0; row < 40; ++row) {
        QVERIFY2(macPattern.match(macs.at(row)).hasMatch(), qPrintable(macs.at(row)));
        QVERIFY(log.contains(
            QStringLiteral("搜索到设备, ip: %1 mac: %2").arg(column(table(window), 2).at(row), macs.at(row))));
        QCOMPARE(table(window)->item(row, 0)->text(), QString::number(row + 1));
    }
}

void TestEndToEnd::aThousandDevicesShowWithinThreeSearches()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start({"--count", "1000", "--jitter-ms", "200"}));
    const ScopedEnv port("VSNET_PORT", QByteArray::number(devsim.port()));

    MainWindow window;
    window.show();
    for (int searches = 0; searches < 3 && table(window)->rowCount() < 1000; ++searches) {
        QVERIFY(search(window));
    }
    const QStringList macs = column(table(window), DeviceTableWidget::MacColumn);
    QCOMPARE(QSet<QString>(macs.begin(), macs.end()).size(), 1000);
}

void TestEndToEnd::malformedAnswersNeverBecomeRows()
{
    DevsimProcess devsim;
    // Spread out, the answers fit the receive buffer that an unprivileged searcher gets.
    QVERIFY(devsim.start({"--count", "1000", "--garbage-share", "0.3", "--jitter-ms", "200"}));
    const ScopedEnv port("VSNET_PORT", QByteArray::number(devsim.port()));
    DeviceNetwork::Options options;
    options.count = 1000;
    options.garbageShare = 0.3;
    const DeviceNetwork network(options);
    QSet<QString> valid;
    for (const DeviceNetwork::Device &device : network.devices()) {
        if (device.kind == DeviceNetwork::AnswerKind::Normal) {
            valid.insert(QString::fromLatin1(device.mac));
        }
    }
    QCOMPARE(valid.size(), 700);

    MainWindow window;
    window.show();
    for (int round = 0; round < 2; ++round) {
        QVERIFY(search(window));
        QCOMPARE(table(window)->rowCount(), 700);
        const QStringList macs = column(table(window), 5);
        QCOMPARE(QSet<QString>(macs.begin(), macs.end()), valid);
        QCOMPARE(table(window)->item(699, 0)->text(), QStringLiteral("700"));
    }
}

void TestEndToEnd::batchChangesShowInTheNextSearch()
{
    DevsimProcess devsim;
    QVERIFY(devsim.start({"--count", "12"}));
    const ScopedEnv port("VSNET_PORT", QByteArray::number(devsim.port()));

    MainWindow window;
    window.show();
    QVERIFY(search(window));
    QCOMPARE(table(window)->rowCount(), 12);
    click(window, "select_all_btn");
    const QStringList macs = column(table(window), 5);

    // The vehicle-bay algorithm, without a reboot so the devices keep answering.
    MessageBox::setNextAnswer(QMessageBox::Ok);
    answerNextDialog([](QDialog *dialog) {
        dialog->findChild<QComboBox *>("algo_comboBox")->setCurrentIndex(2);
        dialog->findChild<QCheckBox *>("reboot_checkBox")->setChecked(false);
    });
    click(window, "batch_modify_algo_btn");
    QVERIFY(devsim.waitForJournal(12));

    // Consecutive static addresses; "确定" on the final question searches again.
    answerNextDialog(fillIpDialog);
    const int searchesDone =
        window.findChild<QTextEdit *>("textEdit")->toPlainText().count(QStringLiteral("搜索完成!!!"));
    click(window, "batch_modify_ip_btn");
    QVERIFY(devsim.waitForJournal(24));
    QTRY_VERIFY_WITH_TIMEOUT(
        window.findChild<QTextEdit *>("textEdit")->toPlainText().count(QStringLiteral("搜索完成!!!")) > searchesDone,
        30000);

    QCOMPARE(table(window)->rowCount(), 12);
    for (int row = 0; row < 12; ++row) {
        // Rows come back in answer order; find each device by its MAC.
        const int index = macs.indexOf(table(window)->item(row, 5)->text());
        QVERIFY(index >= 0);
        QCOMPARE(table(window)->item(row, 2)->text(), QStringLiteral("172.16.5.%1").arg(20 + index));
        QVERIFY2(table(window)->item(row, 3)->text().endsWith(QStringLiteral("-A3")),
                 qPrintable(table(window)->item(row, 3)->text()));
    }
}

void TestEndToEnd::resendsUntilEveryDeviceTookItsAddress()
{
    DevsimProcess devsim;
    // Devices that took their command answer no probe for a while, as when they re-bind.
    QVERIFY(devsim.start({"--count", "20", "--drop-commands", "0.3", "--apply-ms", "2500"}));
    const ScopedEnv port("VSNET_PORT", QByteArray::number(devsim.port()));
    const ScopedEnv searchWindow("VSNET_SEARCH_MS", "1000");

    MainWindow window;
    window.show();
    window.findChild<AddressCheck *>()->setWaits({1000, 1000, 1000});
    QVERIFY(search(window));
    QCOMPARE(table(window)->rowCount(), 20);
    const QStringList macs = column(table(window), 5);
    click(window, "select_all_btn");

    // "确定" to the batch question and to every resend question.
    MessageBox::setNextAnswer(QMessageBox::Ok);
    answerNextDialog(fillIpDialog);
    const int searchesBefore = int(logMessages(window).count(QStringLiteral("搜索完成!!!")));
    click(window, "batch_modify_ip_btn");
    const QRegularExpression allTaken(QStringLiteral("^核对结果: (\\d+) 台设备中 \\1 台已生效, 0 台未生效$"));
    QTRY_VERIFY_WITH_TIMEOUT(!logMessages(window).filter(allTaken).isEmpty(), 240000);
    // The outcome is the whole batch's, not only the last round's: every device shows it took its address.
    QCOMPARE(table(window)->rowCount(), 20);
    for (int row = 0; row < 20; ++row) {
        QCOMPARE(table(window)->item(row, 0)->toolTip(), QStringLiteral("已生效"));
    }

    const QStringList log = logMessages(window);
    const int resends = std::count_if(MessageBox::shown().cbegin(), MessageBox::shown().cend(),
                                      [](const MessageBox::Shown &box) { return box.text.contains("重新发送"); });
    // The simulator journals every command it applied; each device's last one carries its planned address.
    const int sent = log.filter(QStringLiteral("设备修改 IP 为")).size();
    QVERIFY(devsim.waitForJournal(20));
    QHash<QString, QString> lastAddress;
    const QRegularExpression applied(
        QStringLiteral("^applied ip_config_bc to ([0-9A-F:]{17}): eth0 static ip (\\S+) "));
    for (const QString &line : devsim.journal()) {
        const QRegularExpressionMatch match = applied.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        lastAddress.insert(match.captured(1), match.captured(2));
    }
    for (int i = 0; i < macs.size(); ++i) {
        QCOMPARE(lastAddress.value(macs.at(i)), QStringLiteral("172.16.5.%1").arg(20 + i));
    }
    qInfo("20 devices: %d commands sent, %d dropped, %d resends, %d searches after the batch", sent,
          sent - int(devsim.journal().size()), resends, int(log.count(QStringLiteral("搜索完成!!!"))) - searchesBefore);
}

QTEST_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
