#include "app/mainwindow.h"

#include "app/messagebox.h"
#include "batch/addresscheck.h"
#include "batch/addressplan.h"
#include "batch/devicecommand.h"
#include "dialogs/batchmodifyipdialog.h"

#include <QSet>

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
    // A device that reads a leading zero as octal would take another address than the one logged.
    const QString netmask = plainDecimalAddress(dialog.getNetmask());
    const QString gateway = plainDecimalAddress(dialog.getGateway());
    const int dhcp = dialog.isDhcp();
    const QString dns = plainDecimalDns(dialog.getDns().trimmed());

    // Read only now: a search may have added devices while the dialog was open, and they count.
    const QSet<QString> moving(macs.constBegin(), macs.constEnd());
    QVector<DeviceAddress> others;
    for (const DeviceAddress &device : tableDevices()) {
        if (!moving.contains(device.mac)) {
            others.append(device);
        }
    }

    // Without DHCP every device must get an address of its own that it can be reached at;
    // otherwise nothing is sent at all, so that no device ends up unreachable or in conflict.
    QStringList addresses;
    if (!dhcp) {
        if (!isUsableDeviceAddress(startIp)) {
            refuseBatch(QStringLiteral("起始IP地址 %1 不是可用的设备地址").arg(startIp));
            return;
        }
        addresses = planAddresses(startIp, macs.size());
        for (QString &address : addresses) {
            address = plainDecimalAddress(address);
        }
        const QString refusal = addressPlanRefusal(addresses, netmask, gateway, others);
        if (!refusal.isEmpty()) {
            refuseBatch(refusal);
            return;
        }
    }

    // Devices told something new would be misjudged by a check still waiting for an earlier batch.
    m_check->cancel();
    QVector<CheckedDevice> commands;
    int failed = 0;
    for (int i = 0; i < macs.size(); ++i) {
        const QString ip = dhcp ? QString() : addresses.at(i);
        const QByteArray command = ipConfigCommand(macs.at(i), dhcp, ip, netmask, gateway, dns);
        const int result = vsnet_send_json_msg("255.255.255.255", command.constData());
        // With DHCP the device gets no address from us, and the log says so.
        appendLog(ipCommandLogLine(macs.at(i), dhcp ? QStringLiteral("DHCP") : ip, result));
        if (result < 0) {
            ++failed;
        }
        if (!dhcp) {
            CheckedDevice device;
            device.mac = macs.at(i);
            device.address = ip;
            device.netmask = netmask;
            device.gateway = gateway;
            device.dns = dns;
            device.sent = result >= 0;
            commands.append(device);
        }
    }

    const QString question = failed > 0
        ? QStringLiteral("批量修改IP未完成: %1 台设备中 %2 台发送失败! 需要立即重新搜索设备吗？")
              .arg(macs.size())
              .arg(failed)
        : QStringLiteral("批量修改IP完成! 需要立即重新搜索设备吗？");
    if (MessageBox::question(question) == QMessageBox::Ok) {
        on_search_dev_btn_clicked();
        if (!commands.isEmpty()) {
            m_check->start(commands);
        }
    }
}
