#include "app/findbar.h"
#include "ui_findbar.h"

#include "app/devicetablewidget.h"
#include "app/rowfilter.h"

#include <QKeyEvent>
#include <QLabel>

#include <algorithm>

FindBar::FindBar(DeviceTableWidget *table)
    : QFrame(table)
    , ui(new Ui::FindBar)
    , m_table(table)
{
    ui->setupUi(this);
    hide();
    connect(ui->find_lineEdit, &QLineEdit::textChanged, this, &FindBar::filter);
    connect(ui->find_marked_checkBox, &QCheckBox::toggled, this, &FindBar::filter);
    connect(ui->find_close_btn, &QToolButton::clicked, this, &FindBar::dismiss);
    connect(table, &DeviceTableWidget::shownRowsChanged, this, &FindBar::showCount);
    table->installEventFilter(this);
}

FindBar::~FindBar()
{
    delete ui;
}

void FindBar::open()
{
    show();
    raise();
    filter();
    showCount();
    place();
    ui->find_lineEdit->setFocus(Qt::ShortcutFocusReason);
    ui->find_lineEdit->selectAll();
}

void FindBar::dismiss()
{
    if (isHidden()) {
        return;
    }
    hide();
    m_table->setRowFilter(RowFilter());
    m_table->setFocus(Qt::OtherFocusReason);
}

void FindBar::filter()
{
    if (!isHidden()) {
        m_table->setRowFilter(App::rowFilter(ui->find_lineEdit->text(), ui->find_marked_checkBox->isChecked()));
    }
}

void FindBar::showCount()
{
    // Counted again as the bar opens; closed, it costs a trickle of rows nothing.
    if (isHidden()) {
        return;
    }
    const int total = m_table->rowCount();
    QLabel *count = ui->find_count_label;
    count->setText(QStringLiteral("显示 %1 / %2 台").arg(total - m_table->hiddenRowCount()).arg(total));
    // As wide as any count of this many rows, so that typing moves nothing; the bar widens as rows arrive
    // (reopened after a search, it kept the width of the count it had before, and the count overlapped).
    const int width = count->fontMetrics().horizontalAdvance(QStringLiteral("显示 %1 / %1 台").arg(total));
    if (width != count->minimumWidth()) {
        count->setMinimumWidth(width);
        place();
    }
}

void FindBar::place()
{
    // Right-aligned over the first rows, so that the header stays free for sorting.
    const QRect rows = m_table->viewport()->geometry();
    const int width = std::min(sizeHint().width(), rows.width());
    setGeometry(rows.right() + 1 - width, rows.top(), width, sizeHint().height());
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_table && !isHidden()) {
        if (event->type() == QEvent::Resize) {
            place();
        } else if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            dismiss();
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        return;
    }
    QFrame::keyPressEvent(event);
}
