#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/messagebox.h"

#include <QDebug>

QStringList MainWindow::batchTargets(const QString &nothingChecked)
{
    if (ui->dev_search_tableWidget->rowCount() == 0) {
        qDebug() << "设备列表表格为空";
        refuseBatch(nothingChecked);
        return {};
    }
    const QStringList macs = checkedMacs();
    if (macs.isEmpty()) {
        refuseBatch(nothingChecked);
    }
    return macs;
}

QStringList MainWindow::checkedMacs() const
{
    QStringList macs;
    const DeviceTableWidget *table = ui->dev_search_tableWidget;
    const int rows = table->rowCount();
    for (int row = 0; row < rows; ++row) {
        const QTableWidgetItem *number = table->item(row, DeviceTableWidget::NumberColumn);
        if (!number) {
            break;
        }
        // A row the find bar hides is never a target.
        if (number->checkState() != Qt::Checked || table->isRowHidden(row)) {
            continue;
        }
        const QTableWidgetItem *mac = table->item(row, DeviceTableWidget::MacColumn);
        if (mac && !mac->text().isEmpty()) {
            macs.append(mac->text());
        }
    }
    return macs;
}

void MainWindow::refuseBatch(const QString &text)
{
    MessageBox::information(text);
    appendLog(text + QLatin1Char('!'));
}
