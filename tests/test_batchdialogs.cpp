#include <QSignalSpy>
#include <QTest>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>

#include "batch/addressplan.h"
#include "batch/planreader.h"
#include "dialogs/addressplandialog.h"
#include "dialogs/batchmodifyalgodialog.h"
#include "dialogs/batchmodifyipdialog.h"
#include "guitest.h"
#include "hints/devicehints.h"
#include "widgets/myiplineedit.h"

namespace {

// A click counts only on the box and its text, not on the empty rest of a stretched check box.
void clickCheckBox(QCheckBox *box)
{
    QStyleOptionButton option;
    option.initFrom(box);
    option.text = box->text();
    const QRect area = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, area.center());
}

QPushButton *dialogButton(QDialog *dialog, QDialogButtonBox::StandardButton which)
{
    return dialog->findChild<QDialogButtonBox *>("buttonBox")->button(which);
}

// What the platform asks before it lets an input method compose into a widget.
bool takesInputMethod(QWidget *widget)
{
    QInputMethodQueryEvent query(Qt::ImEnabled);
    QApplication::sendEvent(widget, &query);
    return query.value(Qt::ImEnabled).toBool();
}

} // namespace

class TestBatchDialogs : public GuiTest
{
    Q_OBJECT

private slots:
    void ipDialogOpensWithDefaultsAndFocusInStartAddress();
    void ipDialogOkUntouchedGivesDefaults();
    void ipDialogRejectPaths_data();
    void ipDialogRejectPaths();
    void dhcpClickDisablesAddressEditorsButKeepsTheirValues();
    void ipDialogWarnsWhenAddressesLeaveThisPcsNetworks_data();
    void ipDialogWarnsWhenAddressesLeaveThisPcsNetworks();
    void dnsTakesOnlyDigitsDotsAndSemicolons_data();
    void dnsTakesOnlyDigitsDotsAndSemicolons();
    void fullWidthInputArrivesAsAscii_data();
    void fullWidthInputArrivesAsAscii();
    void dialogsHaveNoContextHelpButton();
    void algoDialogListsAlgorithmsAndReadsTheChoice();
    void planDialogJudgesAgainOnEveryField();
};

void TestBatchDialogs::ipDialogOpensWithDefaultsAndFocusInStartAddress()
{
    BatchModifyIPDialog dialog;
    QCOMPARE(dialog.size(), QSize(520, 402));
    QVERIFY(showActive(&dialog));

    QCOMPARE(dialog.windowTitle(), QString("修改IP"));
    QCOMPARE(dialogButton(&dialog, QDialogButtonBox::Ok)->text(), QString("确定"));
    QCOMPARE(dialogButton(&dialog, QDialogButtonBox::Cancel)->text(), QString("取消"));
    QCOMPARE(dialog.findChild<QCheckBox *>("dhcp_checkBox")->text(), QString("DHCP"));
    const QList<QPair<QString, QString>> labels {{"label_4", "IP获取方式："},
                                                 {"label", "起始IP地址："},
                                                 {"label_3", "子网掩码："},
                                                 {"label_2", "默认网关："},
                                                 {"label_5", "DNS："}};
    // The editors hold dot labels of the same names, so look only at the frame's own children.
    auto *frame = dialog.findChild<QFrame *>("frame");
    for (const auto &label : labels) {
        QCOMPARE(frame->findChild<QLabel *>(label.first, Qt::FindDirectChildrenOnly)->text(), label.second);
    }
    QVERIFY(!dialog.findChild<QCheckBox *>("dhcp_checkBox")->isChecked());
    auto *dns = dialog.findChild<QLineEdit *>("dns_lineEdit");
    QVERIFY(dns->text().isEmpty());
    QCOMPARE(dns->placeholderText(), QString("多个DNS以;分隔，输入为空将不会发送DNS给设备"));

    auto *ip = dialog.findChild<MyIpLineEdit *>("ip_lineEdit");
    for (QLineEdit *octet : ip->findChildren<QLineEdit *>()) {
        QVERIFY(octet->text().isEmpty());
    }
    // Filling netmask and gateway moves focus inside them; showing must still start in the first octet.
    QTRY_COMPARE(QApplication::focusWidget(), ip->findChild<QLineEdit *>("lineEdit"));
}

void TestBatchDialogs::ipDialogOkUntouchedGivesDefaults()
{
    BatchModifyIPDialog dialog;
    QTimer::singleShot(0, &dialog,
                       [&dialog] { QTest::mouseClick(dialogButton(&dialog, QDialogButtonBox::Ok), Qt::LeftButton); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.getStartIp(), QString("0.0.0.0"));
    QCOMPARE(dialog.getNetmask(), QString("255.255.255.0"));
    QCOMPARE(dialog.getGateway(), QString("192.168.1.1"));
    QCOMPARE(dialog.isDhcp(), 0);
    QCOMPARE(dialog.getDns(), QString());
}

void TestBatchDialogs::ipDialogRejectPaths_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("cancel") << "cancel";
    QTest::newRow("escape") << "escape";
    QTest::newRow("close") << "close";
}

void TestBatchDialogs::ipDialogRejectPaths()
{
    QFETCH(QString, how);
    BatchModifyIPDialog dialog;
    QSignalSpy finished(&dialog, &QDialog::finished);
    QVERIFY(showActive(&dialog));
    QTRY_VERIFY(QApplication::focusWidget());

    if (how == "cancel") {
        QTest::mouseClick(dialogButton(&dialog, QDialogButtonBox::Cancel), Qt::LeftButton);
    } else if (how == "escape") {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    } else {
        dialog.close();
    }
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

void TestBatchDialogs::dhcpClickDisablesAddressEditorsButKeepsTheirValues()
{
    BatchModifyIPDialog dialog;
    QVERIFY(showActive(&dialog));
    auto *dhcp = dialog.findChild<QCheckBox *>("dhcp_checkBox");
    const QList<MyIpLineEdit *> editors {dialog.findChild<MyIpLineEdit *>("ip_lineEdit"),
                                         dialog.findChild<MyIpLineEdit *>("netmask_lineEdit"),
                                         dialog.findChild<MyIpLineEdit *>("gateway_lineEdit")};
    auto *dns = dialog.findChild<QLineEdit *>("dns_lineEdit");
    editors.at(0)->setText("10.1.1.5");
    dns->setText(" 8.8.8.8;");

    // Only the user's click switches modes, not a programmatic change of the box.
    dhcp->setChecked(true);
    QVERIFY(editors.at(0)->isEnabled());
    dhcp->setChecked(false);

    clickCheckBox(dhcp);
    QVERIFY(dhcp->isChecked());
    for (MyIpLineEdit *editor : editors) {
        QVERIFY(!editor->isEnabled());
    }
    QVERIFY(dns->isEnabled());
    QCOMPARE(dialog.isDhcp(), 1);
    QCOMPARE(dialog.getStartIp(), QString("10.1.1.5"));
    QCOMPARE(dialog.getNetmask(), QString("255.255.255.0"));
    QCOMPARE(dialog.getGateway(), QString("192.168.1.1"));
    QCOMPARE(dialog.getDns(), QString(" 8.8.8.8;"));

    clickCheckBox(dhcp);
    QCOMPARE(dialog.isDhcp(), 0);
    for (MyIpLineEdit *editor : editors) {
        QVERIFY(editor->isEnabled());
    }
}

void TestBatchDialogs::ipDialogWarnsWhenAddressesLeaveThisPcsNetworks_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("netmask");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("dhcp");
    QTest::addColumn<bool>("warned");
    QTest::newRow("inside") << "192.168.1.100"
                            << "255.255.255.0" << 3 << false << false;
    QTest::newRow("another subnet") << "192.168.2.100"
                                    << "255.255.255.0" << 3 << false << true;
    QTest::newRow("the second network") << "10.9.0.1"
                                        << "255.0.0.0" << 3 << false << false;
    // Counting up stops at .254, inside.
    QTest::newRow("counted up to the end") << "192.168.1.250"
                                           << "255.255.255.0" << 9 << false << false;
    // The devices' own subnet would leave this PC out.
    QTest::newRow("netmask leaves this PC out") << "192.168.1.200"
                                                << "255.255.255.128" << 3 << false << true;
    QTest::newRow("DHCP") << "192.168.2.100"
                          << "255.255.255.0" << 3 << true << false;
    QTest::newRow("start not typed yet") << "0.0.0.0"
                                         << "255.255.255.0" << 3 << false << false;
}

void TestBatchDialogs::ipDialogWarnsWhenAddressesLeaveThisPcsNetworks()
{
    QFETCH(QString, start);
    QFETCH(QString, netmask);
    QFETCH(int, count);
    QFETCH(bool, dhcp);
    QFETCH(bool, warned);
    // 192.168.1.2/24 and 10.0.0.5/8.
    DeviceHints::injectNetworks({{0xC0A80102, 24}, {0x0A000005, 8}});
    BatchModifyIPDialog dialog;
    dialog.setDeviceCount(count);
    auto *label = dialog.findChild<QLabel *>("reach_label");
    QCOMPARE(label->text(), QString("修改后本机不在这些设备的网段内, 需要更改本机地址才能访问它们"));
    dialog.findChild<MyIpLineEdit *>("netmask_lineEdit")->setText(netmask);
    dialog.findChild<MyIpLineEdit *>("ip_lineEdit")->setText(start);
    dialog.findChild<QCheckBox *>("dhcp_checkBox")->setChecked(dhcp);
    QCOMPARE(!label->isHidden(), warned);
    DeviceHints::clearInjectedNetworks();
}

void TestBatchDialogs::dnsTakesOnlyDigitsDotsAndSemicolons_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two servers") << "8.8.8.8;114.114.114.114"
                                 << "8.8.8.8;114.114.114.114";
    QTest::newRow("empty parts allowed") << ";;1."
                                         << ";;1.";
    QTest::newRow("letter") << "8a"
                            << "8";
    QTest::newRow("space") << "8 8"
                           << "88";
    QTest::newRow("comma") << "8,8"
                           << "88";
}

void TestBatchDialogs::dnsTakesOnlyDigitsDotsAndSemicolons()
{
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    BatchModifyIPDialog dialog;
    QVERIFY(showActive(&dialog));
    auto *dns = dialog.findChild<QLineEdit *>("dns_lineEdit");
    dns->setFocus();
    QTRY_VERIFY(dns->hasFocus());
    QTest::keyClicks(dns, keys);
    QCOMPARE(dialog.getDns(), expected);
}

void TestBatchDialogs::fullWidthInputArrivesAsAscii_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    // Short octets followed by either full-width dot, so nothing but the dot can move on.
    const QString octets = "１０．２０。３．４";
    const QString servers = "８。８．８．８；１１４。１１４。１１４。１１４";
    QTest::newRow("octets typed") << "ip"
                                  << "key" << octets << "10.20.3.4";
    QTest::newRow("octets committed") << "ip"
                                      << "commit" << octets << "10.20.3.4";
    QTest::newRow("address pasted") << "ip"
                                    << "paste"
                                    << "１９２。１６８．１。２"
                                    << "192.168.1.2";
    QTest::newRow("octet pasted from the menu") << "ip"
                                                << "menu"
                                                << "１９２"
                                                << "192.0.0.0";
    QTest::newRow("digits of another script refused") << "ip"
                                                      << "key"
                                                      << "١٢"
                                                      << "0.0.0.0";
    QTest::newRow("dns typed") << "dns"
                               << "key" << servers << "8.8.8.8;114.114.114.114";
    QTest::newRow("dns committed") << "dns"
                                   << "commit" << servers << "8.8.8.8;114.114.114.114";
    QTest::newRow("dns pasted") << "dns"
                                << "paste" << servers << "8.8.8.8;114.114.114.114";
}

void TestBatchDialogs::fullWidthInputArrivesAsAscii()
{
    QFETCH(QString, field);
    QFETCH(QString, path);
    QFETCH(QString, input);
    QFETCH(QString, expected);
    BatchModifyIPDialog dialog;
    QVERIFY(showActive(&dialog));
    QLineEdit *start = field == "dns"
        ? dialog.findChild<QLineEdit *>("dns_lineEdit")
        : dialog.findChild<MyIpLineEdit *>("ip_lineEdit")->findChild<QLineEdit *>("lineEdit");
    start->setFocus();
    QTRY_VERIFY(start->hasFocus());

    if (path == "paste") {
        QGuiApplication::clipboard()->setText(input, QClipboard::Clipboard);
        QTest::keyClick(start, Qt::Key_V, Qt::ControlModifier);
    } else if (path == "menu") {
        QGuiApplication::clipboard()->setText(input, QClipboard::Clipboard);
        start->paste();
    } else {
        // One key or one commit per character, each to the field the focus is in at that moment.
        for (const QChar c : input) {
            QWidget *target = QApplication::focusWidget();
            QVERIFY(!takesInputMethod(target));
            if (path == "key") {
                QKeyEvent press(QEvent::KeyPress, int(c.unicode()), Qt::NoModifier, QString(c));
                QApplication::sendEvent(target, &press);
            } else {
                QInputMethodEvent commit;
                commit.setCommitString(QString(c));
                QApplication::sendEvent(target, &commit);
            }
        }
    }
    QCOMPARE(field == "dns" ? dialog.getDns() : dialog.getStartIp(), expected);
}

void TestBatchDialogs::dialogsHaveNoContextHelpButton()
{
    BatchModifyIPDialog ipDialog;
    BatchModifyAlgoDialog algoDialog;
    QVERIFY(!ipDialog.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QVERIFY(!algoDialog.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    AddressPlanDialog planDialog({}, {});
    QVERIFY(!planDialog.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
}

void TestBatchDialogs::algoDialogListsAlgorithmsAndReadsTheChoice()
{
    BatchModifyAlgoDialog dialog;
    QCOMPARE(dialog.size(), QSize(400, 180));
    QVERIFY(showActive(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("修改算法"));
    QCOMPARE(dialog.findChild<QLabel *>("label")->text(), QString("算法"));
    QCOMPARE(dialogButton(&dialog, QDialogButtonBox::Ok)->text(), QString("确定"));
    QCOMPARE(dialogButton(&dialog, QDialogButtonBox::Cancel)->text(), QString("取消"));
    auto *reboot = dialog.findChild<QCheckBox *>("reboot_checkBox");
    QCOMPARE(reboot->text(), QString("切换算法后自动重启"));
    auto *combo = dialog.findChild<QComboBox *>("algo_comboBox");
    const QStringList names {"人形算法", "出入口算法", "车工位算法"};
    QCOMPARE(combo->count(), names.size());
    for (int i = 0; i < names.size(); ++i) {
        QCOMPARE(combo->itemText(i), names.at(i));
        QCOMPARE(combo->itemData(i, Qt::UserRole), QVariant(i + 1));
    }
    QCOMPARE(dialog.getAlgoType(), 1);
    QCOMPARE(dialog.getAlgoName(), QString("人形算法"));
    QCOMPARE(dialog.isReboot(), 1);

    combo->setCurrentIndex(2);
    clickCheckBox(reboot);
    QCOMPARE(dialog.getAlgoType(), 3);
    QCOMPARE(dialog.getAlgoName(), QString("车工位算法"));
    QCOMPARE(dialog.isReboot(), 0);

    combo->setCurrentIndex(-1);
    QCOMPARE(dialog.getAlgoType(), 0);
    QCOMPARE(dialog.getAlgoName(), QString());

    QTest::mouseClick(dialogButton(&dialog, QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

// The line states, the summary and "确定" follow the fields for the lines without settings of their own,
// and the table a search leaves; rows as the spreadsheet numbers them; Enter in a field sends nothing.
void TestBatchDialogs::planDialogJudgesAgainOnEveryField()
{
    const PlanText plan = Batch::readAddressPlan("MAC\t新IP\n"
                                                 "02:00:00:00:00:01\t10.0.0.101\n"
                                                 "02:00:00:00:00:02\t10.0.0.2\n\n"
                                                 "02:00:00:00:00:09\t10.0.0.109\n"
                                                 "02:00:00:00:00:03\n");
    QVector<DeviceAddress> devices {
        {"02:00:00:00:00:01", "10.0.0.1"}, {"02:00:00:00:00:02", "10.0.0.2"}, {"02:00:00:00:00:03", "10.0.0.3"}};
    // This PC at 10.0.1.5/16: a device in 10.0.0.0/24 would leave it out of its subnet.
    DeviceHints::injectNetworks({{0x0A000105, 16}});
    AddressPlanDialog dialog(plan.lines, devices);
    QVERIFY(showActive(&dialog));
    QCOMPARE(dialog.windowTitle(), QString("按地址表修改IP"));
    QVERIFY(dialog.minimumSize() != dialog.maximumSize());
    auto *table = dialog.findChild<QTableWidget *>("plan_tableWidget");
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    QStringList headers;
    for (int column = 0; column < table->columnCount(); ++column) {
        headers.append(table->horizontalHeaderItem(column)->text());
    }
    QCOMPARE(headers, QStringList({"MAC地址", "当前IP", "新IP", "子网掩码", "网关", "DNS", "说明"}));
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        rows.append(table->verticalHeaderItem(row)->text());
    }
    QCOMPARE(rows, QStringList({"2", "3", "5", "6"}));
    auto *summary = dialog.findChild<QLabel *>("plan_summary_label");
    auto *searching = dialog.findChild<QLabel *>("plan_searching_label");
    QPushButton *ok = dialog.findChild<QDialogButtonBox *>("plan_buttonBox")->button(QDialogButtonBox::Ok);
    QCOMPARE(ok->text(), QString("确定"));
    auto *netmask = dialog.findChild<MyIpLineEdit *>("plan_netmask_lineEdit");
    auto *gateway = dialog.findChild<MyIpLineEdit *>("plan_gateway_lineEdit");
    auto *dns = dialog.findChild<QLineEdit *>("plan_dns_lineEdit");
    QCOMPARE(netmask->text() + ' ' + gateway->text() + ' ' + dns->text(), QString("255.255.255.0 192.168.1.1 "));

    // The default gateway is outside the plan's subnet.
    QCOMPARE(column(table, 6).mid(0, 2), QStringList({"默认网关 192.168.1.1 不在子网 10.0.0.0/24 内", "地址不变"}));
    QCOMPARE(summary->text(),
             QString("共 4 行: 0 台设备将修改, 1 行地址不变, 1 行未填写新IP, 0 行不在设备列表中, 2 行有错误"));
    QVERIFY(!ok->isEnabled());

    // Only the line that is sent shows the fields.
    gateway->setText("10.0.0.254");
    QCOMPARE(column(table, 6), QStringList({"不在本机网段", "地址不变", "不在设备列表中", "未填写新IP"}));
    QCOMPARE(column(table, 4), QStringList({"10.0.0.254", "", "", ""}));
    QCOMPARE(summary->text(),
             QString("共 4 行: 1 台设备将修改, 1 行地址不变, 1 行未填写新IP, 1 行不在设备列表中, 0 行有错误"));
    QVERIFY(ok->isEnabled());
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QTest::keyClicks(dns, "8.8.8.8");
    QTest::keyClick(dns, Qt::Key_Return);
    QCOMPARE(column(table, 5).constFirst(), QString("8.8.8.8"));
    QCOMPARE(dialog.commands().constFirst().dns, QString("8.8.8.8"));
    QVERIFY(accepted.isEmpty() && dialog.isVisible());

    netmask->setText("255.255.255.255");
    QCOMPARE(column(table, 6).constFirst(), QString("子网掩码 255.255.255.255 无效"));
    QVERIFY(!ok->isEnabled());
    netmask->setText("255.255.0.0");
    QCOMPARE(column(table, 6).constFirst(), QString());

    // While a search runs, nothing goes out; when it ends, every line is judged against its table.
    dialog.setSearching(true);
    QVERIFY(searching->isVisible() && !ok->isEnabled());
    devices.append(DeviceAddress {"02:00:00:00:00:09", "10.0.0.9"});
    dialog.setTable(devices);
    dialog.setSearching(false);
    QVERIFY(!searching->isVisible() && ok->isEnabled());
    QCOMPARE(column(table, 6).at(2), QString());
    QCOMPARE(dialog.commands().size(), 2);
    DeviceHints::clearInjectedNetworks();
}

QTEST_MAIN(TestBatchDialogs)
#include "test_batchdialogs.moc"
