#include "dialogs/addressplandialog.h"
#include "ui_addressplandialog.h"
#include "widgets/asciiinputvalidator.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QSignalBlocker>

#include <utility>

namespace {

enum Column { MacColumn, CurrentColumn, AddressColumn, NetmaskColumn, GatewayColumn, DnsColumn, NoteColumn, Columns };

const QString &columnText(const JudgedLine &line, int column)
{
    const QString *texts[Columns] = {&line.mac,     &line.current, &line.address, &line.netmask,
                                     &line.gateway, &line.dns,     &line.note};
    return *texts[column];
}

} // namespace

AddressPlanDialog::AddressPlanDialog(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table,
                                     QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::AddressPlanDialog)
    , m_lines(lines)
    , m_networks(DeviceHints::localNetworks())
    , m_prepared(Batch::preparePlan(lines, table, m_networks))
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->plan_buttonBox->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    ui->plan_buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    ui->plan_dns_lineEdit->setValidator(new AsciiInputValidator(QStringLiteral("^[0-9.;]+$"), this));
    ui->plan_searching_label->setVisible(false);

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
            // The rows as the spreadsheet numbers them, where the installer looks them up. Labelled
            // before they join the table: a header label set in the table is looked for among all the
            // others (setVerticalHeaderLabels took 0.9 s for 65,536 lines).
            plan->setVerticalHeaderItem(row, new QTableWidgetItem(QString::number(m_lines.at(row).row)));
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
    return Batch::planCommands(m_judged);
}

void AddressPlanDialog::setSearching(bool searching)
{
    m_searching = searching;
    ui->plan_searching_label->setVisible(searching);
    judge();
}

void AddressPlanDialog::setTable(const QVector<DeviceAddress> &table)
{
    m_prepared = Batch::preparePlan(m_lines, table, m_networks);
    judge();
}

void AddressPlanDialog::keyPressEvent(QKeyEvent *event)
{
    // Enter in a field takes what was typed; a whole plan goes out only by "确定".
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        judge();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AddressPlanDialog::judge()
{
    const PlanDefaults defaults {ui->plan_netmask_lineEdit->text(), ui->plan_gateway_lineEdit->text(),
                                 ui->plan_dns_lineEdit->text()};
    QVector<JudgedLine> judged = Batch::judgePreparedPlan(m_prepared, defaults);

    // A keystroke changes a column or two of most lines: only the cells whose text changed are set.
    QTableWidget *plan = ui->plan_tableWidget;
    const bool first = m_judged.size() != judged.size();
    {
        const QSignalBlocker blocker(plan->model());
        const QBrush errorText(QColor(0xc0, 0x00, 0x00));
        for (int row = 0; row < judged.size(); ++row) {
            const JudgedLine &line = judged.at(row);
            for (int column = 0; column < Columns; ++column) {
                const QString &text = columnText(line, column);
                if (first || text != columnText(m_judged.at(row), column)) {
                    plan->item(row, column)->setText(text);
                }
            }
            const bool error = line.state == PlanState::Error;
            if (first || error != (m_judged.at(row).state == PlanState::Error)) {
                plan->item(row, NoteColumn)->setForeground(error ? errorText : QBrush());
            }
            if (first || line.note != m_judged.at(row).note) {
                plan->item(row, NoteColumn)->setToolTip(line.note);
            }
        }
    }
    plan->viewport()->update();
    m_judged = std::move(judged);

    const PlanCounts counts = Batch::planCounts(m_judged);
    ui->plan_summary_label->setText(Batch::planSummary(counts));
    ui->plan_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!m_searching && counts.errors == 0 && counts.sent > 0);
}
