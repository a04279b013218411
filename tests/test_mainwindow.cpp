#include <QTest>
#include <QTimer>

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPaintEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "app/devicelisttext.h"
#include "app/devicetablewidget.h"
#include "app/mainwindow.h"
#include "app/rowfilter.h"
#include "fakes/fakevsnet.h"
#include "hints/devicehints.h"

Q_DECLARE_METATYPE(QVector<ListedDevice>)

namespace {

// Collects what a widget was asked to paint.
class PaintSpy : public QObject
{
public:
    explicit PaintSpy(QWidget *widget)
        : QObject(widget)
    {
        widget->installEventFilter(this);
    }
    QRegion painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent *>(event)->region();
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void windowLayoutAndTexts();
    void tableSettings();
    void libraryInitialisedOnceAndReleasedOnClose();
    void logLineHasTimestampThenMessage();
    void logContextMenuHasOnlyClearAndClears();
    void logPaneIsReadOnly();
    void logFollowsNewestLineAfterBurst();
    void logLinesCanBeHitAndSelected();
    void deviceListText_data();
    void deviceListText();
    void tableCopiesByShortcutAndMenu();
    void appendedRowsShowAndExtendTheScrollRange();
    void addressCellsMarkConflictsOwnAddressAndUnreachableRows();
    void rowFilterMatches_data();
    void rowFilterMatches();
    void findBarFiltersRowsAsTheyArriveAndClosesWithEsc();
};

void TestMainWindow::init()
{
    FakeVsnet::reset();
    // 192.168.1.2/24, whatever this machine's networks are.
    DeviceHints::injectNetworks({{0xC0A80102, 24}});
}

void TestMainWindow::windowLayoutAndTexts()
{
    MainWindow window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Brelo_Tool"));
    QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window.size(), QSize(1280, 720));

    const QList<QPair<QString, QString>> buttons = {{"select_all_btn", "全选"},
                                                    {"unselect_all_btn", "不选"},
                                                    {"search_dev_btn", "刷新"},
                                                    {"batch_modify_ip_btn", "批量修改IP"},
                                                    {"batch_modify_algo_btn", "批量修改算法"}};
    for (const auto &button : buttons) {
        auto *widget = window.findChild<QPushButton *>(button.first);
        QVERIFY2(widget, qPrintable(button.first));
        QCOMPARE(widget->text(), button.second);
        QVERIFY(widget->isEnabled());
    }
    // The button row reads left to right in this order.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int previousX = -1;
    for (const auto &button : buttons) {
        const int x = window.findChild<QPushButton *>(button.first)->mapTo(&window, QPoint()).x();
        QVERIFY2(x > previousX, qPrintable(button.first));
        previousX = x;
    }
}

void TestMainWindow::tableSettings()
{
    MainWindow window;
    auto *table = window.findChild<QTableWidget *>("dev_search_tableWidget");
    QVERIFY(table);
    QCOMPARE(table->columnCount(), 6);
    QCOMPARE(table->rowCount(), 0);

    const QStringList headers = {"序号", "设备ID", "IP地址", "版本号", "型号", "MAC地址"};
    for (int column = 0; column < headers.size(); ++column) {
        QVERIFY(table->horizontalHeaderItem(column));
        QCOMPARE(table->horizontalHeaderItem(column)->text(), headers.at(column));
    }
    const int widths[] = {80, 320, 200, 200, 200};
    for (int column = 0; column < 5; ++column) {
        QCOMPARE(table->columnWidth(column), widths[column]);
    }
    QVERIFY(table->horizontalHeader()->stretchLastSection());
    QVERIFY(!table->horizontalHeader()->highlightSections());
    QVERIFY(table->verticalHeader()->isHidden());
    QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(table->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(table->focusPolicy(), Qt::ClickFocus);
    QVERIFY(!table->alternatingRowColors());
    QCOMPARE(table->font().pointSize(), 10);
    QCOMPARE(table->styleSheet(), QStringLiteral("QTableWidget{outline:none;}"));
    QVERIFY(!table->isSortingEnabled());

    // Column 5 takes the width the first five columns leave.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(table->columnWidth(5), table->viewport()->width() - (80 + 320 + 3 * 200));
}

void TestMainWindow::libraryInitialisedOnceAndReleasedOnClose()
{
    {
        MainWindow window;
        QCOMPARE(FakeVsnet::initCount(), 1);
        QCOMPARE(FakeVsnet::uninitCount(), 0);
    }
    QCOMPARE(FakeVsnet::initCount(), 1);
    QCOMPARE(FakeVsnet::uninitCount(), 1);
}

void TestMainWindow::logLineHasTimestampThenMessage()
{
    MainWindow window;
    auto *log = window.findChild<QTextEdit *>("textEdit");
    QVERIFY(log);
    QCOMPARE(log->toPlainText(), QString());

    const QString message = QStringLiteral("  两端空格 and <b>markup</b>: kept  ");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    window.appendLog(QStringLiteral("first"));
    window.appendLog(message);
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);

    const QStringList lines = log->toPlainText().split('\n');
    QCOMPARE(lines.size(), 2);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}: "));
    for (const QString &line : lines) {
        QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
        const QDateTime when = QDateTime::fromString(line.left(19), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        QVERIFY(when.isValid());
        QVERIFY(when >= before.addMSecs(-before.time().msec()) && when <= after);
    }
    QCOMPARE(lines.at(0).mid(21), QStringLiteral("first"));
    QCOMPARE(lines.at(1).mid(21), message);
    // Plain text: the tags are shown above, and the word between them is not shown bold.
    const QTextCursor word = log->document()->find(QStringLiteral("markup"));
    QVERIFY(!word.isNull());
    QCOMPARE(word.charFormat().fontWeight(), int(QFont::Normal));
}

void TestMainWindow::logContextMenuHasOnlyClearAndClears()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *log = window.findChild<QTextEdit *>("textEdit");
    QCOMPARE(log->contextMenuPolicy(), Qt::CustomContextMenu);
    window.appendLog(QStringLiteral("line"));

    QStringList seenActions;
    QPoint menuPos;
    auto pickClear = [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        menuPos = menu->pos();
        for (QAction *action : menu->actions()) {
            seenActions.append(action->text());
        }
        menu->actions().constFirst()->trigger();
        menu->close();
    };
    QCursor::setPos(QPoint(40, 50));
    QTimer::singleShot(0, &window, pickClear);
    emit log->customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(seenActions, QStringList {QStringLiteral("清空")});
    QCOMPARE(menuPos, QCursor::pos());
    QCOMPARE(log->toPlainText(), QString());

    // Clearing an empty pane writes nothing.
    QTimer::singleShot(0, &window, pickClear);
    emit log->customContextMenuRequested(QPoint());
    QCOMPARE(log->toPlainText(), QString());
}

void TestMainWindow::logPaneIsReadOnly()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *log = window.findChild<QTextEdit *>("textEdit");
    QVERIFY(log->isReadOnly());
    QCOMPARE(log->font().pointSize(), 9);
    log->setFocus();
    QTest::keyClicks(log, QStringLiteral("typed"));
    QCOMPARE(log->toPlainText(), QString());
}

void TestMainWindow::logFollowsNewestLineAfterBurst()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *log = window.findChild<QTextEdit *>("textEdit");
    for (int i = 0; i < 500; ++i) {
        window.appendLog(QStringLiteral("line %1 设备").arg(i));
        // Each line is in the document as soon as it is written, painted or not.
        QCOMPARE(log->document()->blockCount(), i + 1);
    }
    QCOMPARE(log->document()->lastBlock().text().mid(21), QStringLiteral("line 499 设备"));

    QScrollBar *scrollBar = log->verticalScrollBar();
    QTRY_VERIFY(scrollBar->maximum() > 0);
    QTRY_COMPARE(scrollBar->value(), scrollBar->maximum());
    // The line shown at the bottom of the pane is the newest one.
    const QPoint bottom(20, log->viewport()->height() - 6);
    QTRY_COMPARE(log->cursorForPosition(bottom).blockNumber(), 499);

    // A reader who scrolled up is not pulled down by new lines.
    scrollBar->setValue(0);
    const int maximum = scrollBar->maximum();
    window.appendLog(QStringLiteral("newer"));
    QTRY_VERIFY(scrollBar->maximum() > maximum);
    QCoreApplication::processEvents();
    QCOMPARE(scrollBar->value(), 0);
    QCOMPARE(log->cursorForPosition(QPoint(20, 6)).blockNumber(), 0);
}

void TestMainWindow::logLinesCanBeHitAndSelected()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *log = window.findChild<QTextEdit *>("textEdit");
    window.appendLog(QStringLiteral("alpha"));
    window.appendLog(QStringLiteral("第二行 beta"));
    QTRY_VERIFY(log->document()->documentLayout()->documentSize().height() > 0);

    // A click at the start of the second line puts the cursor there; a drag selects text.
    const QRect second = log->cursorRect(QTextCursor(log->document()->findBlockByNumber(1)));
    QVERIFY(second.top() > log->cursorRect(QTextCursor(log->document())).top());
    const QPoint from(second.left() + 1, second.center().y());
    const QPoint to(log->viewport()->width() - 10, second.center().y());
    QTest::mousePress(log->viewport(), Qt::LeftButton, Qt::NoModifier, from);
    // QTest's move carries no pressed button, so the drag is sent by hand.
    QMouseEvent drag(QEvent::MouseMove, to, log->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(log->viewport(), &drag);
    QTest::mouseRelease(log->viewport(), Qt::LeftButton, Qt::NoModifier, to);
    QVERIFY2(log->textCursor().selectedText().endsWith(QStringLiteral("第二行 beta")),
             qPrintable(log->textCursor().selectedText()));
    QVERIFY(!log->textCursor().selectedText().contains(QStringLiteral("alpha")));
}

void TestMainWindow::deviceListText_data()
{
    QTest::addColumn<QVector<ListedDevice>>("rows");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("copied");

    const QString header = "序号\t设备ID\tIP地址\t版本号\t型号\tMAC地址";
    const ListedDevice a {false, {"1", "P1", "10.0.0.1", "V1", "M1", "02:00:00:00:00:01"}, {}};
    const ListedDevice b {true, {"2", "P2", "10.0.0.2", "V2", "M2", "02:00:00:00:00:02"}, {}};
    const ListedDevice c {true, {"3", "P3", "10.0.0.3", "V3", "M3", "02:00:00:00:00:03"}, {}};
    ListedDevice unchecked = b;
    unchecked.checked = false;
    ListedDevice taken = c;
    taken.outcome = "已生效";
    ListedDevice hiddenChecked = c;
    hiddenChecked.hidden = true;
    ListedDevice broken = a;
    broken.cells[1] = "P\t1";
    broken.cells[4] = "M\r\n1\n";

    QTest::newRow("checked rows in table order")
        << QVector<ListedDevice> {a, b, c}
        << header + "\n2\tP2\t10.0.0.2\tV2\tM2\t02:00:00:00:00:02\n3\tP3\t10.0.0.3\tV3\tM3\t02:00:00:00:00:03\n"
        << 2;
    QTest::newRow("every row when none is checked")
        << QVector<ListedDevice> {a, unchecked}
        << header + "\n1\tP1\t10.0.0.1\tV1\tM1\t02:00:00:00:00:01\n2\tP2\t10.0.0.2\tV2\tM2\t02:00:00:00:00:02\n"
        << 2;
    QTest::newRow("outcome column once any row has one") << QVector<ListedDevice> {b, taken}
                                                         << header
            + "\t核对\n2\tP2\t10.0.0.2\tV2\tM2\t02:00:00:00:00:02\t\n3\tP3\t10.0.0.3\tV3\tM3\t02:00:00:00:00:"
              "03\t已生效\n" << 2;
    QTest::newRow("tabs and line breaks in device texts become spaces")
        << QVector<ListedDevice> {broken} << header + "\n1\tP 1\t10.0.0.1\tV1\tM  1 \t02:00:00:00:00:01\n"
        << 1;
    QTest::newRow("hidden rows never, none checked among the shown: every shown row")
        << QVector<ListedDevice> {a, hiddenChecked, unchecked}
        << header + "\n1\tP1\t10.0.0.1\tV1\tM1\t02:00:00:00:00:01\n2\tP2\t10.0.0.2\tV2\tM2\t02:00:00:00:00:02\n"
        << 2;
    QTest::newRow("no rows, no text") << QVector<ListedDevice> {} << QString() << 0;
}

void TestMainWindow::deviceListText()
{
    QFETCH(QVector<ListedDevice>, rows);
    QFETCH(QString, text);
    QFETCH(int, copied);
    const QStringList headers {"序号", "设备ID", "IP地址", "版本号", "型号", "MAC地址"};
    int count = -1;
    QCOMPARE(App::deviceListText(headers, rows, &count), text);
    QCOMPARE(count, copied);
}

void TestMainWindow::tableCopiesByShortcutAndMenu()
{
    MainWindow window;
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTableWidget *table = window.findChild<QTableWidget *>("dev_search_tableWidget");
    QGuiApplication::clipboard()->clear();
    table->setFocus();
    QTest::keySequence(table, QKeySequence::Copy);
    QVERIFY(QGuiApplication::clipboard()->text().isEmpty());

    for (int i = 1; i <= 2; ++i) {
        emit window.addSearchDeviceToTable("P", QStringLiteral("10.0.0.%1").arg(i), "V", "M",
                                           QStringLiteral("02:00:00:00:00:0%1").arg(i), QString());
    }
    QTRY_COMPARE(table->rowCount(), 2);
    table->setCurrentCell(1, 2);
    QTest::keySequence(table, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text().count('\n'), 3);
    QVERIFY(window.findChild<QTextEdit *>("textEdit")->toPlainText().endsWith("已复制 2 台设备到剪贴板"));

    table->item(1, 0)->setCheckState(Qt::Checked);
    // A right click on another row: the press, then the menu request the platform makes of it.
    const QPoint onFirstRow = table->visualItemRect(table->item(0, 2)).center();
    QTest::mousePress(table->viewport(), Qt::RightButton, {}, onFirstRow);
    QStringList seenActions;
    QTimer::singleShot(0, &window, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        for (QAction *action : menu->actions()) {
            seenActions.append(action->text());
        }
        menu->actions().constFirst()->trigger();
        menu->close();
    });
    QContextMenuEvent request(QContextMenuEvent::Mouse, onFirstRow, table->viewport()->mapToGlobal(onFirstRow));
    QApplication::sendEvent(table->viewport(), &request);
    QTest::mouseRelease(table->viewport(), Qt::RightButton, {}, onFirstRow);
    QCOMPARE(seenActions, QStringList({"复制", "粘贴地址表", "查找…"}));
    QCOMPARE(QGuiApplication::clipboard()->text().section('\n', 1),
             QStringLiteral("2\tP\t10.0.0.2\tV\tM\t02:00:00:00:00:02\n"));
    QVERIFY(window.findChild<QTextEdit *>("textEdit")->toPlainText().endsWith("已复制 1 台设备到剪贴板"));
    // Copying changes neither the check boxes nor the selection.
    QCOMPARE(table->item(0, 0)->checkState(), Qt::Unchecked);
    QCOMPARE(table->currentRow(), 1);
}

void TestMainWindow::appendedRowsShowAndExtendTheScrollRange()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *table = window.findChild<QTableWidget *>("dev_search_tableWidget");
    auto *spy = new PaintSpy(table->viewport());
    auto addRows = [&window](int count) {
        for (int i = 0; i < count; ++i) {
            emit window.addSearchDeviceToTable("P", "10.0.0.1", "V", "M", "02:00:00:00:00:01", QString());
        }
    };

    addRows(1);
    QTRY_COMPARE(table->rowCount(), 1);
    QTRY_VERIFY(spy->painted.contains(table->visualItemRect(table->item(0, 5))));
    addRows(300);
    QTRY_COMPARE(table->rowCount(), 301);
    // Rows below the shown ones are laid out too: the table scrolls to them and paints them there.
    QTRY_VERIFY(table->verticalScrollBar()->maximum() > 0);
    table->scrollToBottom();
    spy->painted = QRegion();
    QTRY_VERIFY(table->rowAt(table->viewport()->height() - 1) == 300
                && spy->painted.contains(table->visualItemRect(table->item(300, 5))));
}

void TestMainWindow::addressCellsMarkConflictsOwnAddressAndUnreachableRows()
{
    MainWindow window;
    auto *table = window.findChild<DeviceTableWidget *>("dev_search_tableWidget");
    // The first device answers twice at its address: one device, but two others share that address.
    const QStringList answers {"192.168.1.9 01", "10.0.0.7 02",    "192.168.1.9 03", "192.168.1.2 04",
                               "192.168.1.9 01", "192.168.1.9 05", "192.168.1.77 06"};
    for (const QString &answer : answers) {
        emit window.addSearchDeviceToTable("P", answer.section(' ', 0, 0), "V", "M",
                                           "02:00:00:00:00:" + answer.section(' ', 1), QString());
    }
    QTRY_COMPARE(table->rowCount(), answers.size());
    // Marks follow their rows through a sort.
    table->sortByColumn(DeviceTableWidget::MacColumn, Qt::DescendingOrder);
    table->markRow(0, "已生效", true);
    QStringList marks;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *ip = table->item(row, DeviceTableWidget::AddressColumn);
        marks.append(QStringLiteral("%1 %2 %3")
                         .arg(table->item(row, DeviceTableWidget::MacColumn)->text().right(2))
                         .arg(ip->data(DeviceTableWidget::HintRole).toInt())
                         .arg(ip->toolTip()));
        QCOMPARE(table->item(row, DeviceTableWidget::MacColumn)->toolTip(), row == 0 ? "已生效" : "");
        QCOMPARE(ip->icon().isNull(), marks.constLast().contains(" 0 "));
    }
    const QString conflict = "1 IP地址冲突: 另有 2 台设备使用 192.168.1.9";
    QCOMPARE(marks,
             QStringList({"06 0 已生效", "05 " + conflict, "04 2 IP地址与本机相同", "03 " + conflict,
                          "02 4 不在本机网段 (本机: 192.168.1.2/24)", "01 " + conflict, "01 " + conflict}));
    QVERIFY(table->item(4, 2)->foreground() != table->item(3, 2)->foreground());
}

void TestMainWindow::rowFilterMatches_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("cell");
    QTest::addColumn<bool>("isMac");
    QTest::addColumn<bool>("matches");

    const QString mac = QStringLiteral("02:9E:00:10:00:33");
    QTest::newRow("any case") << "p2p-0"
                              << "P2P-001" << false << true;
    QTest::newRow("mac as bare digits") << "9e00" << mac << true << true;
    QTest::newRow("mac with dashes, spaces around") << " 9e-00-1 " << mac << true << true;
    QTest::newRow("mac as written") << "9E:00" << mac << true << true;
    QTest::newRow("an address is not a mac fragment") << "10.0" << mac << true << false;
    QTest::newRow("an address") << "10.0"
                                << "192.168.10.0" << false << true;
    QTest::newRow("digits of a mac in another cell") << "9e00"
                                                     << "9E:00" << false << false;
}

void TestMainWindow::rowFilterMatches()
{
    QFETCH(QString, typed);
    QFETCH(QString, cell);
    QFETCH(bool, isMac);
    QFETCH(bool, matches);
    const QStringList cells =
        isMac ? QStringList {"P", "192.168.1.1", "V", "M", cell} : QStringList {cell, "", "", "", ""};
    QCOMPARE(App::rowFilter(typed, false).matches(App::rowText(cells)), matches);
}

void TestMainWindow::findBarFiltersRowsAsTheyArriveAndClosesWithEsc()
{
    MainWindow window;
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *table = window.findChild<QTableWidget *>("dev_search_tableWidget");
    // Only the fourth device is marked: outside this PC's network.
    const auto add = [&window](const QStringList &macs) {
        for (const QString &mac : macs) {
            const QString ip = mac.endsWith('4') ? "10.0.0.4" : "192.168.1.1" + mac.right(1);
            emit window.addSearchDeviceToTable("P", ip, "V", "M", mac, QString());
        }
    };
    const auto shown = [table] {
        QStringList macs;
        for (int row = 0; row < table->rowCount(); ++row) {
            if (!table->isRowHidden(row)) {
                macs.append(table->item(row, DeviceTableWidget::MacColumn)->text());
            }
        }
        return macs;
    };
    add({"02:9E:00:00:00:01", "02:00:00:00:00:02", "02:00:00:00:9E:03"});
    QTRY_COMPARE(table->rowCount(), 3);
    table->item(1, 0)->setCheckState(Qt::Checked);

    QTest::keySequence(&window, QKeySequence::Find);
    auto *edit = window.findChild<QLineEdit *>("find_lineEdit");
    auto *count = window.findChild<QLabel *>("find_count_label");
    QVERIFY(edit->isVisible() && edit->hasFocus());
    QTest::keyClicks(edit, "9e00");
    QCOMPARE(shown(), QStringList {"02:9E:00:00:00:01"});
    QCOMPARE(count->text(), QStringLiteral("显示 1 / 3 台"));
    QCOMPARE(table->item(1, 0)->checkState(), Qt::Unchecked);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(shown(), QStringList({"02:9E:00:00:00:01", "02:00:00:00:9E:03"}));
    QTest::keyClicks(edit, "00");

    // Rows that arrive while the bar is open are judged as they come, and a sort keeps the filter.
    add({"02:00:00:00:00:04", "02:9E:00:00:00:05"});
    QTRY_COMPARE(count->text(), QStringLiteral("显示 2 / 5 台"));
    emit table->horizontalHeader()->sectionClicked(DeviceTableWidget::MacColumn);
    QStringList sorted = shown();
    sorted.sort();
    QCOMPARE(sorted, QStringList({"02:9E:00:00:00:01", "02:9E:00:00:00:05"}));

    edit->clear();
    window.findChild<QCheckBox *>("find_marked_checkBox")->click();
    QCOMPARE(shown(), QStringList {"02:00:00:00:00:04"});

    QTest::keyClick(edit, Qt::Key_Escape);
    QVERIFY(!edit->isVisible());
    QCOMPARE(shown().size(), 5);

    // Opened again after rows arrived: the longer count fits beside the other widgets.
    add({"02:00:00:00:00:16", "02:00:00:00:00:17", "02:00:00:00:00:18", "02:00:00:00:00:19", "02:00:00:00:00:1A"});
    QTRY_COMPARE(table->rowCount(), 10);
    QTest::keySequence(&window, QKeySequence::Find);
    QCOMPARE(count->text(), QStringLiteral("显示 1 / 10 台"));
    auto *marked = window.findChild<QCheckBox *>("find_marked_checkBox");
    QVERIFY(edit->geometry().right() < marked->geometry().left());
    QVERIFY(marked->geometry().right() < count->geometry().left());
    QVERIFY(count->width() >= count->sizeHint().width());

    // With nothing to filter by, the count follows the rows as they arrive.
    marked->click();
    add({"02:00:00:00:00:2B"});
    QTRY_COMPARE(count->text(), QStringLiteral("显示 11 / 11 台"));
}

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
