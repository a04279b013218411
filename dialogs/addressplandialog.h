#ifndef BRELO_ADDRESSPLANDIALOG_H
#define BRELO_ADDRESSPLANDIALOG_H

#include <QDialog>
#include <QVector>

#include "batch/addressplan.h"
#include "batch/planjudge.h"
#include "batch/planreader.h"

namespace Ui {
class AddressPlanDialog;
}

// The preview of a pasted address plan: what will happen to each line, judged again whenever a field
// for the lines without settings of their own changes. "确定" only while something would be sent and
// nothing is wrong.
class AddressPlanDialog : public QDialog
{
    Q_OBJECT

public:
    // table: the device table's rows, in table order, as the dialog opens.
    AddressPlanDialog(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table, QWidget *parent = nullptr);
    ~AddressPlanDialog() override;

    // The commands of the lines to be sent, in line order.
    QVector<CheckedDevice> commands() const;

private:
    void judge();

    Ui::AddressPlanDialog *ui;
    QVector<PlanLine> m_lines;
    QVector<DeviceAddress> m_table;
    QVector<JudgedLine> m_judged;
};

#endif // BRELO_ADDRESSPLANDIALOG_H
