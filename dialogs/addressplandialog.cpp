#include "dialogs/addressplandialog.h"
#include "ui_addressplandialog.h"
#include "widgets/asciiinputvalidator.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

enum Column { MacColumn, CurrentColumn, AddressColumn, NetmaskColumn, GatewayColumn, DnsColumn, NoteColumn, Columns };

} // namespace

AddressPlanDialog::AddressPlanDialog(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table,
                                     QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AddressPlanDialog)
    , m_lines(lines)
    , m_table(table)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->plan_buttonBox->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    ui->plan_buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    ui->plan_dns_lineEdit->setValidator(new AsciiInputValidator(QStringLiteral("^[0-9.;]+$"), this));

    QTableWidget *plan = ui->plan_tableWidget;
    // Measured on the widest texts rather than on thousands of cells.
    const int address = plan->fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.000")) + 16;
    plan->setColumnWidth(MacColumn, plan->fontMetrics().horizontalAdvance(QStringLiteral("AA:AA:AA:AA:AA:AA")) + 16);
    for (int column = CurrentColumn; column < NoteColumn; ++column) {
        plan->setColumnWidth(column, address);
    }
    // Thousands of rows: a fixed height spares the view measuring each one.
    plan->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    plan->setRowCount(m_lines.size());
    {
        // The view learns of the cells all at once, when it next paints, rather than one by one.
        const QSignalBlocker blocker(plan->model());
        for (int row = 0; row < m_lines.size(); ++row) {
            for (int column = 0; column < Columns; ++column) {
                plan->setItem(row, column, new QTableWidgetItem());
            }
        }
    }

    connect(ui->plan_netmask_lineEdit, &MyIpLineEdit::textChanged, this, &AddressPlanDialog::judge);
    connect(ui->plan_gateway_lineEdit, &MyIpLineEdit::textChanged, this, &AddressPlanDialog::judge);
    connect(ui->plan_dns_lineEdit, &QLineEdit::textChanged, this, &AddressPlanDialog::judge);
    judge();
}

AddressPlanDialog::~AddressPlanDialog()
{
    delete ui;
}

QVector<CheckedDevice> AddressPlanDialog::commands() const
{
    return planCommands(m_judged);
}

void AddressPlanDialog::judge()
{
    const PlanDefaults defaults {ui->plan_netmask_lineEdit->text(), ui->plan_gateway_lineEdit->text(),
                                 ui->plan_dns_lineEdit->text()};
    m_judged = judgeAddressPlan(m_lines, m_table, defaults);

    QTableWidget *plan = ui->plan_tableWidget;
    {
        const QSignalBlocker blocker(plan->model());
        const QBrush errorText(QColor(0xc0, 0x00, 0x00));
        for (int row = 0; row < m_judged.size(); ++row) {
            const JudgedLine &line = m_judged.at(row);
            const QString texts[Columns] = {line.mac,     line.current, line.address, line.netmask,
                                            line.gateway, line.dns,     line.note};
            for (int column = 0; column < Columns; ++column) {
                plan->item(row, column)->setText(texts[column]);
            }
            QTableWidgetItem *note = plan->item(row, NoteColumn);
            note->setForeground(line.state == PlanState::Error ? errorText : QBrush());
            note->setToolTip(line.note);
        }
    }
    plan->viewport()->update();

    const PlanCounts counts = planCounts(m_judged);
    ui->plan_summary_label->setText(planSummary(counts));
    ui->plan_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(counts.errors == 0 && counts.sent > 0);
}
