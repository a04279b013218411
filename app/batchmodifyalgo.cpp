#include "app/mainwindow.h"

#include "app/messagebox.h"
#include "batch/addresscheck.h"
#include "batch/devicecommand.h"
#include "dialogs/batchmodifyalgodialog.h"

void MainWindow::on_batch_modify_algo_btn_clicked()
{
    // Taken before the dialog opens: rows found or checked meanwhile do not join this batch.
    const QStringList macs = batchTargets(QStringLiteral("请先勾选需要修改算法的设备"));
    if (macs.isEmpty()) {
        return;
    }

    BatchModifyAlgoDialog dialog;
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const int algoType = dialog.getAlgoType();
    const QString algoName = dialog.getAlgoName();
    const int reboot = dialog.isReboot();

    // A rebooting device would be misjudged by a check still waiting for a batch IP change. The
    // record of that batch stays: no address changes here.
    m_check->cancel();
    int failed = 0;
    for (const QString &mac : macs) {
        const QByteArray command = Batch::algoConfigCommand(mac, algoType, reboot);
        const int result = vsnet_send_json_msg("255.255.255.255", command.constData());
        appendLog(Batch::algoCommandLogLine(mac, algoName, result));
        if (result < 0) {
            ++failed;
        }
    }

    if (failed > 0) {
        MessageBox::warning(
            QStringLiteral("批量修改算法未完成: %1 台设备中 %2 台发送失败!").arg(macs.size()).arg(failed));
    } else {
        MessageBox::information(QStringLiteral("批量修改算法完成!"));
    }
}
