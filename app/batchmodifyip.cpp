#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagebox.h"
#include "batch/addresscheck.h"
#include "batch/addressplan.h"
#include "batch/devicecommand.h"
#include "dialogs/batchmodifyipdialog.h"

#include <algorithm>

void MainWindow::on_batch_modify_ip_btn_clicked()
{
    // Taken before the dialog opens: rows found or checked meanwhile do not join this batch.
    const QStringList macs = batchTargets(QStringLiteral("请先勾选需要修改 IP 的设备"));
    if (macs.isEmpty()) {
        return;
    }

    BatchModifyIPDialog dialog;
    dialog.setDeviceCount(macs.size());
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    const QString startIp = dialog.getStartIp();
    // A device that reads a leading zero as octal would take another address than the one logged.
    const QString netmask = Batch::plainDecimalAddress(dialog.getNetmask());
    const QString gateway = Batch::plainDecimalAddress(dialog.getGateway());
    const int dhcp = dialog.isDhcp();
    const QString dns = Batch::plainDecimalDns(dialog.getDns().trimmed());

    QStringList addresses;
    if (!dhcp) {
        if (!Batch::isUsableDeviceAddress(startIp)) {
            refuseBatch(QStringLiteral("起始IP地址 %1 不是可用的设备地址").arg(startIp));
            return;
        }
        addresses = Batch::planAddresses(startIp, macs.size());
    }
    QVector<CheckedDevice> devices;
    devices.reserve(macs.size());
    for (int i = 0; i < macs.size(); ++i) {
        CheckedDevice device;
        device.mac = macs.at(i);
        device.dhcp = dhcp != 0;
        device.address = dhcp ? QString() : Batch::plainDecimalAddress(addresses.at(i));
        device.netmask = netmask;
        device.gateway = gateway;
        device.dns = dns;
        devices.append(device);
    }
    if (!sendIpCommands(devices, IpSend::NewBatch)) {
        return;
    }
    askToSearchAgain(devices);
}

void MainWindow::askToSearchAgain(const QVector<CheckedDevice> &devices)
{
    const int failed =
        int(std::count_if(devices.cbegin(), devices.cend(), [](const CheckedDevice &device) { return !device.sent; }));
    const QString question = failed > 0
        ? QStringLiteral("批量修改IP未完成: %1 台设备中 %2 台发送失败! 需要立即重新搜索设备吗？")
              .arg(devices.size())
              .arg(failed)
        : QStringLiteral("批量修改IP完成! 需要立即重新搜索设备吗？");
    if (MessageBox::question(question) == QMessageBox::Ok) {
        on_search_dev_btn_clicked();
        m_check->start();
    }
}

void MainWindow::offerResend(const QString &question, QVector<CheckedDevice> devices)
{
    if (MessageBox::question(question) != QMessageBox::Ok) {
        return;
    }
    if (!sendIpCommands(devices, IpSend::Resend)) {
        return;
    }
    m_check->startResend(devices);
    on_search_dev_btn_clicked();
}

bool MainWindow::sendIpCommands(QVector<CheckedDevice> &devices, IpSend kind)
{
    // Nothing of a refused plan goes out, lest a device end up unreachable or in conflict. The table
    // is read only now: rows found while a dialog was open count.
    const QVector<DeviceAddress> table = ui->dev_search_tableWidget->devices();
    const QString refusal = Batch::sendRefusal(devices, table);
    if (!refusal.isEmpty()) {
        refuseBatch(refusal);
        return false;
    }

    // A check still waiting for an earlier batch would misjudge devices told something new. A DHCP
    // device is judged against the address it has now.
    if (kind == IpSend::NewBatch) {
        m_check->endForNewBatch();
        Batch::noteAddressesBefore(devices, table);
    }
    for (CheckedDevice &device : devices) {
        const QByteArray command = Batch::ipConfigCommand(device.mac, device.dhcp ? 1 : 0, device.address,
                                                          device.netmask, device.gateway, device.dns);
        const int result = vsnet_send_json_msg("255.255.255.255", command.constData());
        appendLog(Batch::ipCommandLogLine(device.mac, device.dhcp ? QStringLiteral("DHCP") : device.address, result));
        device.sent = result >= 0;
    }
    if (kind == IpSend::NewBatch) {
        m_check->beginRecord(devices);
    }
    return true;
}
