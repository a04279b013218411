#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/devicerow.h"

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
#include <QtConcurrent/QtConcurrentRun>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , logMenu(nullptr)
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
    connect(clearAction, &QAction::triggered, this, [this] { ui->textEdit->clear(); });
    logMenu->addAction(clearAction);
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
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QTextEdit *log = ui->textEdit;
    QScrollBar *scrollBar = log->verticalScrollBar();
    const bool followTail = scrollBar->value() == scrollBar->maximum();

    // Device texts come from the network: they are shown as written, never interpreted as markup.
    QTextCursor cursor(log->document());
    cursor.movePosition(QTextCursor::End);
    if (!log->document()->isEmpty()) {
        cursor.insertBlock();
    }
    cursor.insertText(stamp + QStringLiteral(": ") + message);

    if (followTail) {
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
    watcher->setFuture(future);
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
