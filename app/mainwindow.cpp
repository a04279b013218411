#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/activitylog.h"
#include "app/devicelisttext.h"
#include "app/devicerow.h"
#include "app/devicesearch.h"
#include "app/devicetablewidget.h"
#include "app/findbar.h"
#include "batch/addresscheck.h"
#include "batch/addressplan.h"
#include "hints/devicehints.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QDebug>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTableWidgetItem>

#include <utility>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , logMenu(nullptr)
    , tableMenu(nullptr)
    , m_log(nullptr)
    , m_search(nullptr)
    , m_check(nullptr)
    , m_findBar(nullptr)
{
    ui->setupUi(this);

    const int initResult = vsnet_init();

    connect(this, &MainWindow::addSearchDeviceToTable, this, &MainWindow::addDevice2TableWidget, Qt::QueuedConnection);

    DeviceTableWidget *table = ui->dev_search_tableWidget;
    table->setColumnWidth(DeviceTableWidget::NumberColumn, 80);
    table->setColumnWidth(DeviceTableWidget::IdColumn, 320);
    table->setColumnWidth(DeviceTableWidget::AddressColumn, 200);
    table->setColumnWidth(DeviceTableWidget::VersionColumn, 200);
    table->setColumnWidth(DeviceTableWidget::ModelColumn, 200);
    table->installEventFilter(this);
    table->viewport()->installEventFilter(this);
    connect(table->horizontalHeader(), &QHeaderView::sectionClicked, this, &MainWindow::onHeaderSectionClicked);
    // Rows handed to the window before its first search are judged too.
    table->beginSearch(DeviceHints::localNetworks(), nullptr);

    m_log = new ActivityLog(ui->textEdit, this);
    logMenu = new QMenu(this);
    auto *clearAction = new QAction(QStringLiteral("清空"), this);
    connect(clearAction, &QAction::triggered, m_log, &ActivityLog::clear);
    logMenu->addAction(clearAction);

    tableMenu = new QMenu(this);
    auto *copyAction = new QAction(QStringLiteral("复制"), this);
    connect(copyAction, &QAction::triggered, this, &MainWindow::copyDeviceList);
    tableMenu->addAction(copyAction);
    auto *pasteAction = new QAction(QStringLiteral("粘贴地址表"), this);
    connect(pasteAction, &QAction::triggered, this, &MainWindow::pasteAddressPlan);
    tableMenu->addAction(pasteAction);
    connect(table, &QWidget::customContextMenuRequested, this, [this] { tableMenu->exec(QCursor::pos()); });

    m_findBar = new FindBar(table);
    auto *findAction = new QAction(QStringLiteral("查找…"), this);
    findAction->setShortcut(QKeySequence::Find);
    connect(findAction, &QAction::triggered, m_findBar, &FindBar::open);
    addAction(findAction);
    tableMenu->addAction(findAction);

    m_search = new DeviceSearch(&dev_search_cb, this, this);
    connect(m_search, &DeviceSearch::idle, this, [this] { ui->search_dev_btn->setEnabled(true); });
    connect(m_search, &DeviceSearch::finished, this, &MainWindow::onSearchFinished);

    m_check = new AddressCheck(this);
    connect(m_check, &AddressCheck::message, this, &MainWindow::appendLog);
    connect(m_check, &AddressCheck::searchWanted, this, &MainWindow::searchForCheck);
    connect(m_check, &AddressCheck::outcomesChanged, this, &MainWindow::markRows);
    connect(m_check, &AddressCheck::resendOffered, this, &MainWindow::offerResend);

    if (initResult < 0) {
        appendLog(QStringLiteral("设备库初始化失败, 错误码 %1!").arg(initResult));
    }
}

MainWindow::~MainWindow()
{
    // The library must not be released under a running search, and no device may be emitted to a
    // window that is going away.
    m_search->shutdown();
    delete ui;
    vsnet_uninit();
}

void MainWindow::appendLog(const QString &message)
{
    m_log->append(message);
}

void MainWindow::on_textEdit_customContextMenuRequested(QPoint pos)
{
    Q_UNUSED(pos)
    if (!logMenu) {
        return;
    }
    logMenu->exec(QCursor::pos());
}

void dev_search_cb(VSOneDev *dev, void *context)
{
    auto *self = static_cast<MainWindow *>(context);
    if (!self) {
        qDebug() << "dev_search_cb 中 context 转 self 为空";
        return;
    }
    // A superseded search's devices would show old addresses as current.
    if (!dev || !self->m_search->reports()) {
        return;
    }
    const DeviceRow row = App::deviceRowFromRecord(*dev);
    emit self->addSearchDeviceToTable(row.p2pid, row.ip, row.version, row.model, row.mac, row.hid);
}

void MainWindow::on_search_dev_btn_clicked()
{
    m_keptMarks.clear();
    m_heldRows.clear();
    appendLog(QStringLiteral("开始搜索, 清空表格!"));
    ui->search_dev_btn->setEnabled(false);
    QSet<QString> previous;
    previous.reserve(m_lastSearch.size());
    for (const DeviceAddress &device : std::as_const(m_lastSearch)) {
        previous.insert(device.mac);
    }
    ui->dev_search_tableWidget->beginSearch(DeviceHints::localNetworks(), m_searchedBefore ? &previous : nullptr);
    ui->dev_search_tableWidget->clearContents();
    ui->dev_search_tableWidget->setRowCount(0);
    m_search->request();
    m_check->searchStarted();
}

// A check searches for minutes, while the user may be choosing rows for the next batch. A device
// that one search misses keeps its mark for the next.
void MainWindow::searchForCheck()
{
    QSet<QString> shown;
    QSet<QString> marked;
    const DeviceTableWidget *table = ui->dev_search_tableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *number = table->item(row, DeviceTableWidget::NumberColumn);
        const QTableWidgetItem *mac = table->item(row, DeviceTableWidget::MacColumn);
        if (!mac) {
            continue;
        }
        shown.insert(mac->text());
        if (number && number->checkState() == Qt::Checked) {
            marked.insert(mac->text());
        }
    }
    QSet<QString> kept = m_keptMarks;
    kept.subtract(shown).unite(marked);
    on_search_dev_btn_clicked();
    m_keptMarks = std::move(kept);
}

void MainWindow::onSearchFinished(int result)
{
    addHeldRows();
    const QVector<DeviceAddress> found = ui->dev_search_tableWidget->devices();
    if (result < 0) {
        // What a failed search saw is no list to compare the next one with.
        appendLog(QStringLiteral("搜索失败, 错误码 %1!").arg(result));
    } else {
        appendLog(QStringLiteral("搜索完成!!!"));
        if (m_searchedBefore) {
            appendLog(DeviceHints::comparisonLine(m_lastSearch, found));
        }
        m_lastSearch = found;
        m_searchedBefore = true;
    }
    m_check->searchEnded(result, found);
    // A row that became a conflict with a later one changes what the "marked" filter shows.
    ui->dev_search_tableWidget->refilter();
}

void MainWindow::addDevice2TableWidget(QString p2pid, QString ip, QString version, QString model, QString mac,
                                       QString hid)
{
    if (!m_search->accepts() || holdRow({p2pid, ip, version, model, mac, hid})) {
        return;
    }
    appendLog(QStringLiteral("搜索到设备, ip: ") + ip + QStringLiteral(" mac: ") + mac);

    DeviceTableWidget *table = ui->dev_search_tableWidget;
    const QSignalBlocker blocker(table);
    const int row = table->appendRow();
    // The view repaints a new row where it shows once it has laid it out; telling it of each cell
    // on the way costs more than the row itself.
    const QSignalBlocker cellsBlocker(table->model());

    const auto put = [table, row](int column, const QString &text, bool checked = false) {
        QTableWidgetItem *item = table->newCell(column);
        item->setText(text);
        if (checked) {
            item->setCheckState(Qt::Checked);
        }
        table->setItem(row, column, item);
    };
    put(DeviceTableWidget::NumberColumn, QString::number(row + 1), m_keptMarks.contains(mac));
    put(DeviceTableWidget::IdColumn, hid.isEmpty() ? p2pid : hid);
    table->setItem(row, DeviceTableWidget::AddressColumn, table->newAddressCell(ip, mac));
    put(DeviceTableWidget::VersionColumn, version);
    put(DeviceTableWidget::ModelColumn, model);
    put(DeviceTableWidget::MacColumn, mac);
    if (m_check->hasRecord()) {
        const DeviceOutcome outcome = m_check->shownOutcome(mac);
        table->markRow(row, outcome.text, outcome.taken);
    }
}

// Each row inserted makes the view go over every hidden row: 60,000 devices arriving while the
// bar hid most rows took minutes. The devices that arrive together go in together.
bool MainWindow::holdRow(const DeviceRow &device)
{
    if (m_addingHeldRows || ui->dev_search_tableWidget->hiddenRowCount() == 0) {
        return false;
    }
    m_heldRows.append(device);
    if (m_heldRows.size() == 1) {
        QMetaObject::invokeMethod(this, &MainWindow::addHeldRows, Qt::QueuedConnection);
    }
    return true;
}

void MainWindow::addHeldRows()
{
    const QVector<DeviceRow> held = std::exchange(m_heldRows, {});
    if (held.isEmpty() || !m_search->accepts()) {
        return;
    }
    ui->dev_search_tableWidget->reserveRows(held.size());
    m_addingHeldRows = true;
    for (const DeviceRow &device : held) {
        addDevice2TableWidget(device.p2pid, device.ip, device.version, device.model, device.mac, device.hid);
    }
    m_addingHeldRows = false;
}

void MainWindow::markRows()
{
    DeviceTableWidget *table = ui->dev_search_tableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *mac = table->item(row, DeviceTableWidget::MacColumn);
        const DeviceOutcome outcome = mac ? m_check->shownOutcome(mac->text()) : DeviceOutcome();
        table->markRow(row, outcome.text, outcome.taken);
    }
}

void MainWindow::toggleRow(int row)
{
    QTableWidgetItem *item = ui->dev_search_tableWidget->item(row, DeviceTableWidget::NumberColumn);
    // The current row may be one the find bar has hidden since.
    if (!item || ui->dev_search_tableWidget->isRowHidden(row)) {
        return;
    }
    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

void MainWindow::on_dev_search_tableWidget_cellDoubleClicked(int row, int column)
{
    Q_UNUSED(column)
    toggleRow(row);
}

void MainWindow::setAllChecked(bool checked)
{
    QTableWidget *table = ui->dev_search_tableWidget;
    for (int row = 0; row < table->rowCount(); ++row) {
        QTableWidgetItem *item = table->item(row, DeviceTableWidget::NumberColumn);
        if (item && !table->isRowHidden(row)) {
            item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        }
    }
}

void MainWindow::on_select_all_btn_clicked()
{
    setAllChecked(true);
}

void MainWindow::on_unselect_all_btn_clicked()
{
    setAllChecked(false);
}

void MainWindow::copyDeviceList()
{
    const QTableWidget *table = ui->dev_search_tableWidget;
    QStringList headers;
    for (int column = 0; column < table->columnCount(); ++column) {
        const QTableWidgetItem *header = table->horizontalHeaderItem(column);
        headers.append(header ? header->text() : QString());
    }
    QVector<ListedDevice> rows;
    rows.reserve(table->rowCount());
    for (int row = 0; row < table->rowCount(); ++row) {
        ListedDevice device;
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem *item = table->item(row, column);
            device.cells.append(item ? item->text() : QString());
        }
        if (const QTableWidgetItem *number = table->item(row, DeviceTableWidget::NumberColumn)) {
            device.checked = number->checkState() == Qt::Checked;
        }
        device.hidden = table->isRowHidden(row);
        if (const QTableWidgetItem *mac = table->item(row, DeviceTableWidget::MacColumn)) {
            device.outcome = m_check->shownOutcome(mac->text()).text;
        }
        rows.append(device);
    }
    int copied = 0;
    const QString text = App::deviceListText(headers, rows, &copied);
    if (copied == 0) {
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    appendLog(QStringLiteral("已复制 %1 台设备到剪贴板").arg(copied));
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->dev_search_tableWidget && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // The table's own copy would take the current cell alone.
        if (key->matches(QKeySequence::Copy)) {
            copyDeviceList();
            return true;
        }
        if (key->matches(QKeySequence::Paste)) {
            pasteAddressPlan();
            return true;
        }
        const int row = ui->dev_search_tableWidget->currentRow();
        if (key->key() == Qt::Key_Space && row >= 0) {
            toggleRow(row);
            // Consumed: the table would toggle a checkable current cell a second time.
            return true;
        }
    }
    // A right click only opens the menu: the selection stays what the user made it.
    if (watched == ui->dev_search_tableWidget->viewport()
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A check waiting for late devices must not search from a window that is going away; the
    // batch's record goes with the window.
    m_check->endRecord();
    QMainWindow::closeEvent(event);
}

void MainWindow::onHeaderSectionClicked(int logicalIndex)
{
    if (logicalIndex == DeviceTableWidget::NumberColumn) {
        return;
    }
    DeviceTableWidget *table = ui->dev_search_tableWidget;
    table->sortRows(logicalIndex, table->horizontalHeader()->sortIndicatorOrder());
    table->renumber();
}
