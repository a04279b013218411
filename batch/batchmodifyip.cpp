#include "app/mainwindow.h"

#include "app/messagebox.h"
#include "batch/addressplan.h"
#include "batch/devicecommand.h"
#include "dialogs/batchmodifyipdialog.h"

void MainWindow::on_batch_modify_ip_btn_clicked()
{
    // Taken before the dialog opens: rows found or checked meanwhile do not join this batch.
    const QStringList macs = batchTargets(QStringLiteral("请先勾选需要修改 IP 的设备"));
    if (macs.isEmpty()) {
        return;
    }

    BatchModifyIPDialog dialog;
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QString startIp = dialog.getStartIp();
    const QString netmask = dialog.getNetmask();
    const QString gateway = dialog.getGateway();
    const int dhcp = dialog.isDhcp();
    const QString dns = dialog.getDns().trimmed();

    // Without DHCP every device must get an address of its own that a device can really have;
    // otherwise nothing is sent at all, so that no device ends up unreachable or in conflict.
    QStringList addresses;
    if (!dhcp) {
        if (!isUsableDeviceAddress(startIp)) {
            refuseBatch(QStringLiteral("起始IP地址 %1 不是可用的设备地址").arg(startIp));
            return;
        }
        addresses = planAddresses(startIp, macs.size());
        const int distinct = distinctAddressCount(addresses);
        if (distinct < macs.size()) {
            refuseBatch(QStringLiteral("可分配的IP地址不足: 选中 %1 台设备, 从起始IP地址起只能分配 %2 个不重复的地址")
                            .arg(macs.size())
                            .arg(distinct));
            return;
        }
    }

    for (int i = 0; i < macs.size(); ++i) {
        const QString ip = dhcp ? QString() : addresses.at(i);
        const QByteArray command = ipConfigCommand(macs.at(i), dhcp, ip, netmask, gateway, dns);
        vsnet_send_json_msg("255.255.255.255", command.constData());
        // With DHCP the device gets no address from us, and the log says so.
        appendLog(macs.at(i) + QStringLiteral(" 设备修改 IP 为 ") + (dhcp ? QStringLiteral("DHCP") : ip));
    }

    if (MessageBox::question(QStringLiteral("批量修改IP完成! 需要立即重新搜索设备吗？")) == QMessageBox::Ok) {
        on_search_dev_btn_clicked();
    }
}
