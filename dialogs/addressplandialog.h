#ifndef BRELO_ADDRESSPLANDIALOG_H
#define BRELO_ADDRESSPLANDIALOG_H

#include <QDialog>
#include <QVector>

#include "batch/addressplan.h"
#include "batch/planjudge.h"
#include "batch/planreader.h"
#include "hints/devicehints.h"

class QKeyEvent;

namespace Ui {
class AddressPlanDialog;
}

// The preview of a pasted address plan: what will happen to each line, judged again whenever a field
// for the lines without settings of their own changes, and against the whole table once a search
// ends. "确定" only while no search runs, something would be sent and nothing is wrong.
class AddressPlanDialog : public QDialog
{
    Q_OBJECT

public:
    // table: the device table's rows, in table order, as the dialog opens.
    AddressPlanDialog(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table, QWidget *parent = nullptr);
    ~AddressPlanDialog() override;

    // The commands of the lines to be sent, in line order.
    QVector<CheckedDevice> commands() const;

    // While a search fills the table, the lines are judged against the rows found so far.
    void setSearching(bool searching);
    // The table again, as a search left it: every line is judged again.
    void setTable(const QVector<DeviceAddress> &table);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void judge();

    Ui::AddressPlanDialog *ui;
    QVector<PlanLine> m_lines;
    // This PC's networks, read once as the preview opens rather than at each keystroke or search.
    QVector<DeviceHints::Network> m_networks;
    QVector<PreparedLine> m_prepared;
    QVector<JudgedLine> m_judged;
    bool m_searching = false;
};

#endif // BRELO_ADDRESSPLANDIALOG_H
