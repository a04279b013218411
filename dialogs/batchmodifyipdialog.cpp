#include "dialogs/batchmodifyipdialog.h"
#include "ui_batchmodifyipdialog.h"
#include "widgets/asciiinputvalidator.h"

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
