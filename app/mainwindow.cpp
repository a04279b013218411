#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/devicerow.h"
#include "app/logdocumentlayout.h"

#include <QAction>
#include <QCursor>
#include <QDateTime>
#include <QDebug>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidgetItem>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , logMenu(nullptr)
    , m_viewUpdateTimer(new QTimer(this))
{
    ui->setupUi(this);

    vsnet_init();

    connect(this, &MainWindow::addSearchDeviceToTable, this, &MainWindow::addDevice2TableWidget, Qt::QueuedConnection);

    QTableWidget *table = ui->dev_search_tableWidget;
    table->setColumnWidth(0, 80);
    table->setColumnWidth(1, 320);
    table->setColumnWidth(2, 200);
    table->setColumnWidth(3, 200);
    table->setColumnWidth(4, 200);
    table->installEventFilter(this);
    connect(table->horizontalHeader(), &QHeaderView::sectionClicked, this, &MainWindow::onHeaderSectionClicked);

    logMenu = new QMenu(this);
    auto *clearAction = new QAction(QStringLiteral("清空"), this);
    connect(clearAction, &QAction::triggered, this, [this] {
        flushViewUpdates();
        ui->textEdit->clear();
    });
    logMenu->addAction(clearAction);

    // Nothing in a read-only log is ever undone; keeping undo steps would only cost memory.
    QTextDocument *log = ui->textEdit->document();
    log->setUndoRedoEnabled(false);
    // The stock layout shapes every line as it arrives; ours only the lines that are shown.
    log->setDocumentLayout(new LogDocumentLayout(log));
    m_viewUpdateTimer->setSingleShot(true);
    m_viewUpdateTimer->setInterval(50);
    connect(m_viewUpdateTimer, &QTimer::timeout, this, &MainWindow::flushViewUpdates);
}

MainWindow::~MainWindow()
{
    // The library must not be released under a running search, and no device may be emitted to a
    // window that is going away: stop emitting, then wait for every search this window started.
    m_closing = true;
    for (QFutureWatcher<void> *watcher : qAsConst(m_searches)) {
        watcher->waitForFinished();
        delete watcher;
    }
    m_searches.clear();

    delete ui;
    vsnet_uninit();
}

void MainWindow::appendLog(const QString &message)
{
    const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (second != m_stampSecond) {
        m_stampSecond = second;
        m_stamp = QDateTime::fromSecsSinceEpoch(second).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    deferViewUpdates();

    // Device texts come from the network: they are shown as written, never interpreted as markup.
    QTextDocument *document = ui->textEdit->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    if (!document->isEmpty()) {
        cursor.insertBlock();
    }
    cursor.insertText(m_stamp + QStringLiteral(": ") + message);
}

// Laying out and painting after every line or row makes a burst of devices freeze the window, and
// a steady trickle keep it busy. The line is in the document and the row in the table at once; an
// open edit block and disabled updates only hold back their layout and painting until the timer.
void MainWindow::deferViewUpdates()
{
    if (m_viewsDeferred) {
        return;
    }
    m_viewsDeferred = true;
    const QScrollBar *scrollBar = ui->textEdit->verticalScrollBar();
    m_logFollowsTail = scrollBar->value() == scrollBar->maximum();
    QTextCursor(ui->textEdit->document()).beginEditBlock();
    ui->textEdit->viewport()->setUpdatesEnabled(false);
    ui->dev_search_tableWidget->setUpdatesEnabled(false);
    m_viewUpdateTimer->start();
}

void MainWindow::flushViewUpdates()
{
    if (!m_viewsDeferred) {
        return;
    }
    m_viewsDeferred = false;
    m_viewUpdateTimer->stop();
    QTextCursor(ui->textEdit->document()).endEditBlock();
    ui->textEdit->viewport()->setUpdatesEnabled(true);
    ui->dev_search_tableWidget->setUpdatesEnabled(true);
    if (m_logFollowsTail) {
        QScrollBar *scrollBar = ui->textEdit->verticalScrollBar();
        scrollBar->setValue(scrollBar->maximum());
    }
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
    if (!dev || self->m_closing.load()) {
        return;
    }
    const DeviceRow row = deviceRowFromRecord(*dev);
    emit self->addSearchDeviceToTable(row.p2pid, row.ip, row.version, row.model, row.mac, row.hid);
}

void MainWindow::on_search_dev_btn_clicked()
{
    appendLog(QStringLiteral("开始搜索, 清空表格!"));
    ui->search_dev_btn->setEnabled(false);
    ui->dev_search_tableWidget->clearContents();
    ui->dev_search_tableWidget->setRowCount(0);

    const QFuture<int> future = QtConcurrent::run(&vsnet_search, &dev_search_cb, static_cast<void *>(this));
    auto *watcher = new QFutureWatcher<void>();
    m_searches.append(watcher);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] { onSearchFinished(watcher); });
    // Only now: a search that has already ended still reports finished() once the future is set.
    watcher->setFuture(QFuture<void>(future));
}

void MainWindow::onSearchFinished(QFutureWatcher<void> *watcher)
{
    m_searches.removeOne(watcher);
    // A batch IP change may start a search while another still runs; refresh waits for the last.
    if (m_searches.isEmpty()) {
        ui->search_dev_btn->setEnabled(true);
    }
    watcher->deleteLater();
    appendLog(QStringLiteral("搜索完成!!!"));
}

void MainWindow::addDevice2TableWidget(QString p2pid, QString ip, QString version, QString model, QString mac,
                                       QString hid)
{
    appendLog(QStringLiteral("搜索到设备, ip: ") + ip + QStringLiteral(" mac: ") + mac);

    QTableWidget *table = ui->dev_search_tableWidget;
    const QSignalBlocker blocker(table);
    const int row = table->rowCount();
    table->insertRow(row);

    auto *number = new QTableWidgetItem(QString::number(row + 1));
    number->setTextAlignment(Qt::AlignCenter);
    number->setCheckState(Qt::Unchecked);
    table->setItem(row, 0, number);

    const QString texts[] = {hid.isEmpty() ? p2pid : hid, ip, version, model, mac};
    for (int column = 1; column <= 5; ++column) {
        auto *item = new QTableWidgetItem(texts[column - 1]);
        item->setTextAlignment(Qt::AlignVCenter);
        table->setItem(row, column, item);
    }
}

void MainWindow::toggleRow(int row)
{
    QTableWidgetItem *item = ui->dev_search_tableWidget->item(row, 0);
    if (!item) {
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
        if (QTableWidgetItem *item = table->item(row, 0)) {
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

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->dev_search_tableWidget && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Space) {
        const int row = ui->dev_search_tableWidget->currentRow();
        if (row >= 0) {
            toggleRow(row);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::onHeaderSectionClicked(int logicalIndex)
{
    if (logicalIndex == 0) {
        return;
    }
    QTableWidget *table = ui->dev_search_tableWidget;
    table->sortByColumn(logicalIndex, table->horizontalHeader()->sortIndicatorOrder());

    // Re-texting an item in place makes the model search for it after a sort, which is quadratic
    // over the table. A detached item is re-texted without that search and put back where it was.
    {
        const QSignalBlocker blocker(table->model());
        for (int row = 0; row < table->rowCount(); ++row) {
            QTableWidgetItem *item = table->takeItem(row, 0);
            if (!item) {
                continue;
            }
            item->setText(QString::number(row + 1));
            table->setItem(row, 0, item);
        }
    }
    table->viewport()->update();
}
