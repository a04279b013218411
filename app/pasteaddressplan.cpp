#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/devicesearch.h"
#include "app/messagebox.h"
#include "batch/addresscheck.h"
#include "batch/planreader.h"
#include "dialogs/addressplandialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

void MainWindow::pasteAddressPlan()
{
    if (ui->dev_search_tableWidget->rowCount() == 0 && !m_search->busy()) {
        refuseBatch(QStringLiteral("请先搜索设备"));
        return;
    }
    const QClipboard *clipboard = QGuiApplication::clipboard();
    // The text alone cannot tell a quoted cell from a bare one that starts with a quote.
    const QMimeData *source = clipboard->mimeData(QClipboard::Clipboard);
    const PlanQuotes quotes = source ? Batch::planQuotesOf(source->formats()) : PlanQuotes::Guess;
    const PlanText plan = Batch::readAddressPlan(clipboard->text(QClipboard::Clipboard), MaxPlanLines, quotes);
    if (plan.tooLong) {
        refuseBatch(QStringLiteral("地址表过长: 最多 %1 行").arg(MaxPlanLines));
        return;
    }
    if (!Batch::hasMacLine(plan)) {
        MessageBox::information(QStringLiteral("剪贴板中没有地址表: 每行需要一个 MAC 地址和一个新的 IP 地址"));
        appendLog(QStringLiteral("剪贴板中没有地址表!"));
        return;
    }

    // A search keeps filling the table while the preview is open: judged against half a list, a plan
    // would leave out the devices not found yet.
    AddressPlanDialog dialog(plan.lines, ui->dev_search_tableWidget->devices());
    if (m_search->busy()) {
        dialog.setSearching(true);
    }
    connect(m_search, &DeviceSearch::started, &dialog, [&dialog] { dialog.setSearching(true); });
    connect(m_search, &DeviceSearch::idle, &dialog, [this, &dialog] {
        dialog.setTable(ui->dev_search_tableWidget->devices());
        dialog.setSearching(false);
    });
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    QVector<CheckedDevice> devices = dialog.commands();
    if (devices.isEmpty() || !sendIpCommands(devices, IpSend::NewBatch)) {
        return;
    }
    askToSearchAgain(devices);
}
