#include <QTest>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>

#include <cstring>

#include "app/devicerow.h"
#include "app/mainwindow.h"
#include "batch/addressplan.h"
#include "fakes/fakevsnet.h"
#include "guitest.h"
#include "hints/devicehints.h"

using FakeVsnet::makeDevice;

namespace {

QList<Qt::CheckState> checkStates(QTableWidget *table)
{
    QList<Qt::CheckState> states;
    for (int row = 0; row < table->rowCount(); ++row) {
        states.append(table->item(row, 0)->checkState());
    }
    return states;
}

QVector<VSOneDev> threeDevices()
{
    QVector<VSOneDev> devices;
    devices.append(makeDevice("192.168.1.9", "P2P-A", "V1.0", "CAM-1", {0x02, 0x00, 0x00, 0x00, 0x00, 0x01}));
    devices.append(makeDevice("192.168.1.10", "P2P-B", "V1.1", "CAM-2", {0x02, 0xFF, 0x80, 0x7F, 0xAB, 0x0C}, "HID-B"));
    devices.append(makeDevice("192.168.1.100", "P2P-C", "V0.9", "BOX-3", {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54}));
    return devices;
}

// A user's double click: press and release, then the double-click press and its release.
void doubleClick(QTableWidget *table, QPoint where)
{
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, where);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, where);
    QTest::mouseRelease(table->viewport(), Qt::LeftButton, Qt::NoModifier, where);
}

} // namespace

class TestDeviceSearch : public GuiTest
{
    Q_OBJECT

private slots:
    void init();

    void recordToRow_data();
    void recordToRow();
    void recordFieldsWithoutTerminatorStayInsideTheirSpan();

    void searchShowsRowsAndLogLinesInArrivalOrder();
    void newSearchRemovesPreviousRowsAndChecks();
    void searchWithoutDevicesLogsStartAndEnd();
    void completionIsLoggedOncePerSearchEvenWhenItEndsAtOnce();
    void nullContextOnlyWritesDebugLine();
    void searchSaysWhatChangedSinceThePreviousOne();

    void doubleClickAnyCellTogglesItsRow();
    void spaceTogglesTheClickedRowOnce_data();
    void spaceTogglesTheClickedRowOnce();
    void selectAllAndNone();
    void headerClickSortsByTextAndRenumbers();
    void numberHeaderDoesNothing();
    void rowAfterSortIsAppendedWithNextNumber();

    void closingDuringSearchWaitsForItBeforeRelease();
    void supersededSearchAddsNothing_data();
    void supersededSearchAddsNothing();

private:
    QPushButton *refresh(MainWindow &window) { return button(window, "search_dev_btn"); }
    void search(MainWindow &window, const QVector<VSOneDev> &devices);
    void clickHeader(MainWindow &window, int section);
};

void TestDeviceSearch::init()
{
    FakeVsnet::reset();
    // 192.168.1.2/24, whatever this machine's networks are.
    DeviceHints::injectNetworks({{0xC0A80102, 24}});
}

void TestDeviceSearch::search(MainWindow &window, const QVector<VSOneDev> &devices)
{
    FakeVsnet::setDevices(devices);
    const int done = logMessages(window).count(QStringLiteral("搜索完成!!!"));
    QTest::mouseClick(refresh(window), Qt::LeftButton);
    QTRY_COMPARE(logMessages(window).count(QStringLiteral("搜索完成!!!")), done + 1);
}

void TestDeviceSearch::clickHeader(MainWindow &window, int section)
{
    QHeaderView *header = table(window)->horizontalHeader();
    const int x = header->sectionViewportPosition(section) + header->sectionSize(section) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
}

void TestDeviceSearch::recordToRow_data()
{
    QTest::addColumn<QVector<unsigned char>>("mac");
    QTest::addColumn<QString>("macText");

    QTest::newRow("all zero") << QVector<unsigned char> {0, 0, 0, 0, 0, 0} << "00:00:00:00:00:00";
    QTest::newRow("all FF") << QVector<unsigned char> {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF} << "FF:FF:FF:FF:FF:FF";
    QTest::newRow("mixed, upper case, no sign extension")
        << QVector<unsigned char> {0x02, 0x80, 0x7F, 0xAB, 0x0c, 0x9d} << "02:80:7F:AB:0C:9D";
}

void TestDeviceSearch::recordToRow()
{
    QFETCH(QVector<unsigned char>, mac);
    QFETCH(QString, macText);

    const VSOneDev dev = makeDevice("10.0.0.7", "P2P-\xe4\xb8\xad", "V2.3", "型号X", mac, "HID-7");
    const DeviceRow row = App::deviceRowFromRecord(dev);
    QCOMPARE(row.ip, QStringLiteral("10.0.0.7"));
    QCOMPARE(row.p2pid, QStringLiteral("P2P-中"));
    QCOMPARE(row.version, QStringLiteral("V2.3"));
    QCOMPARE(row.model, QStringLiteral("型号X"));
    QCOMPARE(row.mac, macText);
    QCOMPARE(row.hid, QStringLiteral("HID-7"));
    QCOMPARE(App::macToText(dev.mac), macText);

    const DeviceRow noHid = App::deviceRowFromRecord(makeDevice("1.2.3.4", "P", "V", "M", mac));
    QVERIFY(noHid.hid.isEmpty());
}

void TestDeviceSearch::recordFieldsWithoutTerminatorStayInsideTheirSpan()
{
    VSOneDev dev;
    // Every byte set: no field has a NUL, and the record's tail is not zero either.
    std::memset(&dev, 'x', sizeof dev);
    const DeviceRow row = App::deviceRowFromRecord(dev);
    QCOMPARE(row.ip, QString(VSNET_IP_LEN, 'x'));
    QCOMPARE(row.p2pid, QString(VSNET_P2PID_LEN, 'x'));
    QCOMPARE(row.version, QString(VSNET_VERSION_LEN, 'x'));
    QCOMPARE(row.model, QString(VSNET_MODEL_LEN, 'x'));
    QCOMPARE(row.hid, QString(VSNET_HID_LEN, 'x'));
    QCOMPARE(row.mac, QStringLiteral("78:78:78:78:78:78"));

    // Nothing after a NUL is read.
    std::memcpy(dev.version, "V1\0tail", 7);
    QCOMPARE(App::deviceRowFromRecord(dev).version, QStringLiteral("V1"));
}

void TestDeviceSearch::searchShowsRowsAndLogLinesInArrivalOrder()
{
    MainWindow window;
    window.show();
    FakeVsnet::setDevices(threeDevices());
    FakeVsnet::setHold(true);

    QTest::mouseClick(refresh(window), Qt::LeftButton);
    QVERIFY(!refresh(window)->isEnabled());
    // Rows appear while the library still blocks.
    QTRY_COMPARE(table(window)->rowCount(), 3);
    QVERIFY(!refresh(window)->isEnabled());
    QVERIFY(!logMessages(window).contains(QStringLiteral("搜索完成!!!")));

    FakeVsnet::release();
    QTRY_VERIFY(refresh(window)->isEnabled());
    QTRY_COMPARE(logMessages(window),
                 QStringList({"开始搜索, 清空表格!", "搜索到设备, ip: 192.168.1.9 mac: 02:00:00:00:00:01",
                              "搜索到设备, ip: 192.168.1.10 mac: 02:FF:80:7F:AB:0C",
                              "搜索到设备, ip: 192.168.1.100 mac: FE:DC:BA:98:76:54", "搜索完成!!!"}));

    QTableWidget *t = table(window);
    QCOMPARE(column(t, 0), QStringList({"1", "2", "3"}));
    QCOMPARE(column(t, 1), QStringList({"P2P-A", "HID-B", "P2P-C"}));
    QCOMPARE(column(t, 2), QStringList({"192.168.1.9", "192.168.1.10", "192.168.1.100"}));
    QCOMPARE(column(t, 3), QStringList({"V1.0", "V1.1", "V0.9"}));
    QCOMPARE(column(t, 4), QStringList({"CAM-1", "CAM-2", "BOX-3"}));
    QCOMPARE(column(t, 5), QStringList({"02:00:00:00:00:01", "02:FF:80:7F:AB:0C", "FE:DC:BA:98:76:54"}));
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));
    QCOMPARE(t->item(0, 0)->textAlignment(), int(Qt::AlignCenter));
    QCOMPARE(t->item(0, 3)->textAlignment(), int(Qt::AlignVCenter));
    QVERIFY(!(t->item(0, 2)->flags() & Qt::ItemIsEditable) || t->editTriggers() == QAbstractItemView::NoEditTriggers);
}

void TestDeviceSearch::newSearchRemovesPreviousRowsAndChecks()
{
    MainWindow window;
    window.show();
    search(window, threeDevices());
    table(window)->item(1, 0)->setCheckState(Qt::Checked);

    // The same device delivered twice gives two rows.
    const VSOneDev again = threeDevices().at(1);
    FakeVsnet::setDevices(QVector<VSOneDev>(2, again));
    FakeVsnet::setHold(true);
    QTest::mouseClick(refresh(window), Qt::LeftButton);
    QTRY_COMPARE(table(window)->rowCount(), 2);
    QCOMPARE(column(table(window), 5), QStringList({"02:FF:80:7F:AB:0C", "02:FF:80:7F:AB:0C"}));
    QCOMPARE(checkStates(table(window)), QList<Qt::CheckState>({Qt::Unchecked, Qt::Unchecked}));
    FakeVsnet::release();
    QTRY_VERIFY(refresh(window)->isEnabled());
    // The log keeps the first search's lines.
    QCOMPARE(logMessages(window).count(QStringLiteral("开始搜索, 清空表格!")), 2);
}

void TestDeviceSearch::searchWithoutDevicesLogsStartAndEnd()
{
    MainWindow window;
    search(window, {});
    QCOMPARE(table(window)->rowCount(), 0);
    QCOMPARE(logMessages(window), QStringList({"开始搜索, 清空表格!", "搜索完成!!!"}));
    QVERIFY(refresh(window)->isEnabled());
}

void TestDeviceSearch::completionIsLoggedOncePerSearchEvenWhenItEndsAtOnce()
{
    MainWindow window;
    // Searches with no device return at once, often before the watcher is given the future.
    for (int i = 0; i < 25; ++i) {
        search(window, {});
    }
    QCoreApplication::processEvents();
    QCOMPARE(logMessages(window).count(QStringLiteral("搜索完成!!!")), 25);
    QCOMPARE(logMessages(window).count(QStringLiteral("开始搜索, 清空表格!")), 25);
    QCOMPARE(FakeVsnet::searchCount(), 25);
    QVERIFY(refresh(window)->isEnabled());
}

void TestDeviceSearch::searchSaysWhatChangedSinceThePreviousOne()
{
    MainWindow window;
    search(window, threeDevices());
    QVERIFY(logMessages(window).filter("与上次搜索相比").isEmpty());
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(table(window)->item(row, 2)->toolTip(), QString());
    }

    // The second device moved, the third is gone, a fourth is new.
    QVector<VSOneDev> next = threeDevices();
    next[1] = makeDevice("192.168.1.20", "P2P-B", "V1.1", "CAM-2", {0x02, 0xFF, 0x80, 0x7F, 0xAB, 0x0C});
    next[2] = makeDevice("192.168.1.30", "P2P-D", "V1.0", "CAM-4", {0x02, 0, 0, 0, 0, 0x0D});
    search(window, next);
    QCOMPARE(logMessages(window).mid(logMessages(window).lastIndexOf("搜索完成!!!")),
             QStringList({"搜索完成!!!",
                          "与上次搜索相比: 新增 1 台, 1 台没有应答: FE:DC:BA:98:76:54 (192.168.1.100); 1 台地址已变"}));
    QCOMPARE(column(table(window), 2).size(), 3);
    QCOMPARE(table(window)->item(1, 2)->toolTip(), QString());
    QCOMPARE(table(window)->item(2, 2)->toolTip(), QStringLiteral("新设备"));

    // Beyond ten, the line names the first ten and the count.
    QVector<DeviceAddress> many;
    for (int i = 0; i < 12; ++i) {
        many.append({QStringLiteral("02:00:00:00:00:%1").arg(i, 2, 10, QLatin1Char('0')), "10.0.0.1"});
    }
    const QString line = DeviceHints::comparisonLine(many, many.mid(11));
    QVERIFY(line.startsWith("与上次搜索相比: 新增 0 台, 11 台没有应答: 02:00:00:00:00:00 (10.0.0.1), "));
    QVERIFY(line.endsWith("02:00:00:00:00:09 (10.0.0.1) 等 11 台"));
}

void TestDeviceSearch::nullContextOnlyWritesDebugLine()
{
    MainWindow window;
    VSOneDev dev = threeDevices().constFirst();
    QTest::ignoreMessage(QtDebugMsg, "dev_search_cb 中 context 转 self 为空");
    dev_search_cb(&dev, nullptr);
    QCoreApplication::processEvents();
    QCOMPARE(table(window)->rowCount(), 0);
    QVERIFY(logMessages(window).isEmpty());
}

void TestDeviceSearch::doubleClickAnyCellTogglesItsRow()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    search(window, threeDevices());
    QTableWidget *t = table(window);
    for (int col = 0; col < 6; ++col) {
        const QRect cell = t->visualRect(t->model()->index(2, col));
        // Away from the check box of column 0.
        const QPoint where(cell.right() - 4, cell.center().y());
        const Qt::CheckState before = t->item(2, 0)->checkState();
        doubleClick(t, where);
        QVERIFY2(t->item(2, 0)->checkState() != before, qPrintable(QString::number(col)));
    }
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));

    // A single click selects the row and leaves its box alone.
    const QRect cell = t->visualRect(t->model()->index(1, 3));
    QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(t->currentRow(), 1);
    QCOMPARE(t->item(1, 0)->checkState(), Qt::Unchecked);

    // A partially checked box counts as unchecked for the toggle.
    t->item(0, 0)->setCheckState(Qt::PartiallyChecked);
    doubleClick(t, t->visualRect(t->model()->index(0, 4)).center());
    QCOMPARE(t->item(0, 0)->checkState(), Qt::Checked);
}

void TestDeviceSearch::spaceTogglesTheClickedRowOnce_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("number column") << 0;
    QTest::newRow("address column") << 2;
}

// The key goes wherever the focus is, as a user's key would: after a click on a row, to the table,
// not to the button pressed before.
void TestDeviceSearch::spaceTogglesTheClickedRowOnce()
{
    QFETCH(int, column);
    MainWindow window;
    QVERIFY(showActive(&window));
    search(window, threeDevices());
    QTableWidget *t = table(window);
    click(window, "select_all_btn");
    click(window, "unselect_all_btn");

    // The middle of the cell, away from the check box.
    QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier,
                      t->visualRect(t->model()->index(1, column)).center());
    QCOMPARE(QApplication::focusWidget(), t);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));

    // Other keys still reach the table; without a current row Space changes nothing.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QCOMPARE(t->currentRow(), 2);
    t->setCurrentCell(-1, -1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));
}

void TestDeviceSearch::selectAllAndNone()
{
    MainWindow window;
    auto *all = window.findChild<QPushButton *>("select_all_btn");
    auto *none = window.findChild<QPushButton *>("unselect_all_btn");
    // On an empty table both do nothing.
    QTest::mouseClick(all, Qt::LeftButton);
    QTest::mouseClick(none, Qt::LeftButton);
    QVERIFY(logMessages(window).isEmpty());

    search(window, threeDevices());
    QTableWidget *t = table(window);
    t->setCurrentCell(2, 1);
    const int logLines = logMessages(window).size();

    QTest::mouseClick(all, Qt::LeftButton);
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Checked, Qt::Checked, Qt::Checked}));
    QTest::mouseClick(none, Qt::LeftButton);
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Unchecked, Qt::Unchecked, Qt::Unchecked}));
    QCOMPARE(t->currentRow(), 2);
    QCOMPARE(logMessages(window).size(), logLines);
}

void TestDeviceSearch::headerClickSortsByTextAndRenumbers()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    search(window, threeDevices());
    QTableWidget *t = table(window);
    t->item(0, 0)->setCheckState(Qt::Checked); // 192.168.1.9

    clickHeader(window, 2);
    // Text order: .10 and .100 come before .9.
    QCOMPARE(column(t, 2), QStringList({"192.168.1.10", "192.168.1.100", "192.168.1.9"}));
    QCOMPARE(column(t, 0), QStringList({"1", "2", "3"}));
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Unchecked, Qt::Unchecked, Qt::Checked}));
    QCOMPARE(column(t, 5), QStringList({"02:FF:80:7F:AB:0C", "FE:DC:BA:98:76:54", "02:00:00:00:00:01"}));

    // The same header again reverses the order.
    clickHeader(window, 2);
    QCOMPARE(column(t, 2), QStringList({"192.168.1.9", "192.168.1.100", "192.168.1.10"}));
    QCOMPARE(column(t, 0), QStringList({"1", "2", "3"}));
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Checked, Qt::Unchecked, Qt::Unchecked}));

    // Another header starts ascending.
    clickHeader(window, 4);
    QCOMPARE(column(t, 4), QStringList({"BOX-3", "CAM-1", "CAM-2"}));
    QCOMPARE(column(t, 0), QStringList({"1", "2", "3"}));
    QCOMPARE(checkStates(t), QList<Qt::CheckState>({Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
}

void TestDeviceSearch::numberHeaderDoesNothing()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    search(window, threeDevices());
    QTableWidget *t = table(window);
    clickHeader(window, 4);
    const QStringList models = column(t, 4);
    t->item(0, 0)->setText(QStringLiteral("x"));

    clickHeader(window, 0);
    clickHeader(window, 0);
    QCOMPARE(column(t, 4), models);
    QCOMPARE(t->item(0, 0)->text(), QStringLiteral("x"));
}

void TestDeviceSearch::rowAfterSortIsAppendedWithNextNumber()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    FakeVsnet::setDevices(threeDevices());
    FakeVsnet::setHold(true);
    QTest::mouseClick(refresh(window), Qt::LeftButton);
    QTRY_COMPARE(table(window)->rowCount(), 3);
    clickHeader(window, 2);

    emit window.addSearchDeviceToTable("P2P-D", "192.168.1.0", "V3", "ZZZ", "02:00:00:00:00:0D", QString());
    QTRY_COMPARE(table(window)->rowCount(), 4);
    QCOMPARE(column(table(window), 2).constLast(), QStringLiteral("192.168.1.0"));
    QCOMPARE(column(table(window), 0), QStringList({"1", "2", "3", "4"}));
    FakeVsnet::release();
    QTRY_VERIFY(refresh(window)->isEnabled());
}

void TestDeviceSearch::closingDuringSearchWaitsForItBeforeRelease()
{
    QVector<VSOneDev> many;
    for (int i = 0; i < 500; ++i) {
        many.append(makeDevice("10.0.0.1", "P", "V", "M",
                               {2, 0, 0, 0, static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i)}));
    }
    // Twenty windows, each closed under a running search: at once, once rows arrive, with every row shown.
    for (int round = 0; round < 20; ++round) {
        FakeVsnet::reset();
        FakeVsnet::setDevices(many);
        // The library keeps searching for a while after the window starts to close.
        FakeVsnet::setHold(true, 500);
        {
            MainWindow window;
            window.show();
            QTest::mouseClick(refresh(window), Qt::LeftButton);
            QVERIFY(FakeVsnet::waitForRunning(1));
            if (round % 3 == 1) {
                QTRY_VERIFY(table(window)->rowCount() > 0);
            } else if (round % 3 == 2) {
                QTRY_COMPARE(table(window)->rowCount(), many.size());
            }
            QCOMPARE(FakeVsnet::runningSearches(), 1);
        }
        QCOMPARE(FakeVsnet::runningSearches(), 0);
        QCOMPARE(FakeVsnet::uninitCount(), 1);
        QVERIFY(!FakeVsnet::uninitUnderSearch());
        QVERIFY(!FakeVsnet::callbackAfterUninit());
        // Nothing queued for the destroyed window is left to deliver.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

void TestDeviceSearch::supersededSearchAddsNothing_data()
{
    QTest::addColumn<bool>("reportedBefore");
    // The library's callback has to drop them.
    QTest::newRow("devices reported after the new request") << false;
    // Handed on, but still queued for the window: the window has to drop them.
    QTest::newRow("rows queued before the new request") << true;
}

// A search requested while another still runs, as "确定" after a batch IP change may do.
void TestDeviceSearch::supersededSearchAddsNothing()
{
    QFETCH(bool, reportedBefore);
    MainWindow window;
    FakeVsnet::setDevices(threeDevices());
    FakeVsnet::setHold(true, 0, !reportedBefore);
    QTest::mouseClick(refresh(window), Qt::LeftButton);
    if (reportedBefore) {
        // The event loop has not run since the click, so every row is still queued.
        QVERIFY(FakeVsnet::waitForReported(3, 30000));
        QCOMPARE(table(window)->rowCount(), 0);
    } else {
        QVERIFY(FakeVsnet::waitForRunning(1, 30000));
    }
    QVERIFY(QMetaObject::invokeMethod(&window, "on_search_dev_btn_clicked"));
    QCOMPARE(logMessages(window), QStringList({"开始搜索, 清空表格!", "开始搜索, 清空表格!"}));

    // The second waits for the first to return and finds two others.
    QVector<VSOneDev> newer;
    newer.append(makeDevice("10.0.0.7", "P2P-D", "V2", "CAM-4", {2, 0, 0, 0, 0, 7}));
    newer.append(threeDevices().at(0));
    FakeVsnet::setDevices(newer);
    FakeVsnet::setHold(false);
    FakeVsnet::release();
    QTRY_VERIFY(refresh(window)->isEnabled());
    QCOMPARE(FakeVsnet::searchCount(), 2);
    QCOMPARE(column(table(window), 5), QStringList({"02:00:00:00:00:07", "02:00:00:00:00:01"}));
    QCOMPARE(column(table(window), 0), QStringList({"1", "2"}));
    QCOMPARE(logMessages(window).mid(2),
             QStringList({"搜索到设备, ip: 10.0.0.7 mac: 02:00:00:00:00:07",
                          "搜索到设备, ip: 192.168.1.9 mac: 02:00:00:00:00:01", "搜索完成!!!"}));
}

QTEST_MAIN(TestDeviceSearch)
#include "test_devicesearch.moc"
