#include "dialogs/batchmodifyalgodialog.h"
#include "ui_batchmodifyalgodialog.h"

#include <QMap>
#include <QPushButton>

BatchModifyAlgoDialog::BatchModifyAlgoDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::BatchModifyAlgoDialog)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("取消"));

    // Ids are what the devices understand; QMap keeps them in ascending order.
    const QMap<int, QString> algorithms {
        {1, QStringLiteral("人形算法")},
        {2, QStringLiteral("出入口算法")},
        {3, QStringLiteral("车工位算法")},
    };
    for (auto it = algorithms.cbegin(); it != algorithms.cend(); ++it) {
        ui->algo_comboBox->addItem(it.value(), it.key());
    }
}

BatchModifyAlgoDialog::~BatchModifyAlgoDialog()
{
    delete ui;
}

int BatchModifyAlgoDialog::getAlgoType() const
{
    // currentData() is invalid without a current item and so converts to 0.
    return ui->algo_comboBox->currentData(Qt::UserRole).toInt();
}

QString BatchModifyAlgoDialog::getAlgoName() const
{
    return ui->algo_comboBox->currentText();
}

int BatchModifyAlgoDialog::isReboot() const
{
    return ui->reboot_checkBox->isChecked() ? 1 : 0;
}
