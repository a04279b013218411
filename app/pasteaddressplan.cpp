#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagebox.h"
#include "batch/addresscheck.h"
#include "batch/planreader.h"
#include "dialogs/addressplandialog.h"

#include <QClipboard>
#include <QGuiApplication>

void MainWindow::pasteAddressPlan()
{
    if (ui->dev_search_tableWidget->rowCount() == 0) {
        refuseBatch(QStringLiteral("请先搜索设备"));
        return;
    }
    const PlanText plan = readAddressPlan(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
    if (plan.tooLong) {
        refuseBatch(QStringLiteral("地址表过长: 最多 %1 行").arg(MaxPlanLines));
        return;
    }
    if (!hasMacLine(plan)) {
        MessageBox::information(QStringLiteral("剪贴板中没有地址表: 每行需要一个 MAC 地址和一个新的 IP 地址"));
        appendLog(QStringLiteral("剪贴板中没有地址表!"));
        return;
    }

    AddressPlanDialog dialog(plan.lines, ui->dev_search_tableWidget->devices());
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    QVector<CheckedDevice> devices = dialog.commands();
    if (devices.isEmpty() || !sendIpCommands(devices, IpSend::NewBatch)) {
        return;
    }
    askToSearchAgain(devices);
}
