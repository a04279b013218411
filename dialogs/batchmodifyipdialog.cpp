#include "dialogs/batchmodifyipdialog.h"
#include "ui_batchmodifyipdialog.h"

#include "batch/addressplan.h"
#include "widgets/asciiinputvalidator.h"
#include "widgets/myiplineedit.h"

#include <QCheckBox>
#include <QPushButton>

BatchModifyIPDialog::BatchModifyIPDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::BatchModifyIPDialog)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("取消"));

    // Only the characters of a ";"-separated address list, full-width ones taken as ASCII; the addresses
    // themselves are not checked.
    ui->dns_lineEdit->setValidator(new AsciiInputValidator(QStringLiteral("^[0-9.;]+$"), this));

    ui->reach_label->hide();
    connect(ui->ip_lineEdit, &MyIpLineEdit::textChanged, this, &BatchModifyIPDialog::judgeReach);
    connect(ui->netmask_lineEdit, &MyIpLineEdit::textChanged, this, &BatchModifyIPDialog::judgeReach);
    connect(ui->dhcp_checkBox, &QCheckBox::toggled, this, &BatchModifyIPDialog::judgeReach);
}

void BatchModifyIPDialog::setDeviceCount(int count)
{
    m_count = count;
    m_networks = DeviceHints::localNetworks();
    judgeReach();
}

void BatchModifyIPDialog::judgeReach()
{
    const QString start = ui->ip_lineEdit->text();
    // An unusable start address is refused when the batch starts; no warning before it is typed.
    const bool warn = m_count > 0 && !ui->dhcp_checkBox->isChecked() && Batch::isUsableDeviceAddress(start)
        && !DeviceHints::planReachable(Batch::planAddresses(start, m_count), ui->netmask_lineEdit->text(), m_networks);
    ui->reach_label->setVisible(warn);
}

BatchModifyIPDialog::~BatchModifyIPDialog()
{
    delete ui;
}

QString BatchModifyIPDialog::getStartIp() const
{
    return ui->ip_lineEdit->text();
}

QString BatchModifyIPDialog::getNetmask() const
{
    return ui->netmask_lineEdit->text();
}

QString BatchModifyIPDialog::getGateway() const
{
    return ui->gateway_lineEdit->text();
}

int BatchModifyIPDialog::isDhcp() const
{
    return ui->dhcp_checkBox->isChecked() ? 1 : 0;
}

QString BatchModifyIPDialog::getDns() const
{
    return ui->dns_lineEdit->text();
}

void BatchModifyIPDialog::showEvent(QShowEvent *event)
{
    Q_UNUSED(event)
    // The start address is what the user types first on every opening.
    ui->ip_lineEdit->setFocus(Qt::OtherFocusReason);
}

void BatchModifyIPDialog::on_dhcp_checkBox_clicked(bool checked)
{
    // DNS servers are still sent with DHCP, so the DNS field stays editable.
    ui->ip_lineEdit->setEnabled(!checked);
    ui->netmask_lineEdit->setEnabled(!checked);
    ui->gateway_lineEdit->setEnabled(!checked);
}
