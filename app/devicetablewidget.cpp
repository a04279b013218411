#include "app/devicetablewidget.h"

#include "batch/addressplan.h"

#include <QAbstractItemModel>
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QSet>
#include <QSignalBlocker>
#include <QTimerEvent>

#include <algorithm>
#include <utility>

namespace {

// About the pace at which the log shows new lines, so that rows and lines show together.
constexpr int AppendedLayoutMs = 40;
// Rows' worth of cells made at a time.
constexpr int SpareRows = 64;

} // namespace

DeviceTableWidget::DeviceTableWidget(QWidget *parent)
    : QTableWidget(parent)
{
    // Any other change of the table's shape may move what is shown.
    const QAbstractItemModel *items = model();
    connect(items, &QAbstractItemModel::rowsRemoved, this, &DeviceTableWidget::needFullLayout);
    connect(items, &QAbstractItemModel::rowsMoved, this, &DeviceTableWidget::needFullLayout);
    connect(items, &QAbstractItemModel::columnsInserted, this, &DeviceTableWidget::needFullLayout);
    connect(items, &QAbstractItemModel::columnsRemoved, this, &DeviceTableWidget::needFullLayout);
    connect(items, &QAbstractItemModel::columnsMoved, this, &DeviceTableWidget::needFullLayout);
    connect(items, &QAbstractItemModel::layoutChanged, this, &DeviceTableWidget::needFullLayout);
    connect(items, &QAbstractItemModel::modelReset, this, &DeviceTableWidget::needFullLayout);
    connect(items, &QAbstractItemModel::rowsRemoved, this, &DeviceTableWidget::countHiddenRows);
    connect(items, &QAbstractItemModel::modelReset, this, &DeviceTableWidget::countHiddenRows);
}

DeviceTableWidget::~DeviceTableWidget()
{
    // The item model is a child of the view and reports its own reset as it goes, when this part of
    // the object is gone already.
    disconnect(model(), nullptr, this, nullptr);
    for (const QVector<QTableWidgetItem *> &cells : m_spareCells) {
        qDeleteAll(cells);
    }
}

QTableWidgetItem *DeviceTableWidget::newCell(int column)
{
    // Cells made one by one between a search's log lines lie spread over memory, and a sort of 50,000
    // rows took a third longer; made many rows at a time, the cells a sort compares lie together.
    if (m_spareCells.at(column).isEmpty()) {
        for (int each = 0; each <= MacColumn; ++each) {
            QVector<QTableWidgetItem *> &cells = m_spareCells[each];
            for (int row = 0; row < SpareRows; ++row) {
                auto *cell = new QTableWidgetItem(QString());
                cell->setTextAlignment(each == NumberColumn ? Qt::AlignCenter : Qt::AlignVCenter);
                if (each == NumberColumn) {
                    cell->setCheckState(Qt::Unchecked);
                }
                cells.prepend(cell);
            }
        }
    }
    return m_spareCells[column].takeLast();
}

void DeviceTableWidget::renumber()
{
    // Re-texting a cell in place makes the model search the whole table for it once rows have been
    // sorted; a detached cell is re-texted without that search and put back where it was.
    {
        const QSignalBlocker blocker(model());
        for (int row = 0; row < rowCount(); ++row) {
            QTableWidgetItem *cell = takeItem(row, NumberColumn);
            if (!cell) {
                continue;
            }
            cell->setText(QString::number(row + 1));
            setItem(row, NumberColumn, cell);
        }
    }
    viewport()->update();
}

void DeviceTableWidget::doItemsLayout()
{
    m_layoutRequested = false;
    if (m_fullLayout || m_appendedFrom < 0) {
        m_appendedLayout.stop();
        m_appendedFrom = -1;
        m_appendedDue = false;
        m_fullLayout = false;
        QTableWidget::doItemsLayout();
        if (m_unfilteredFrom >= 0) {
            filterRows(m_filter.markedOnly ? 0 : m_unfilteredFrom);
        }
    } else if (m_appendedDue) {
        layOutAppended();
    } else if (!m_appendedLayout.isActive()) {
        m_appendedLayout.start(AppendedLayoutMs, this);
    }
}

void DeviceTableWidget::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_appendedLayout.timerId()) {
        QTableWidget::timerEvent(event);
        return;
    }
    m_appendedLayout.stop();
    // The view still owes a layout for the last row: let that one do it, or it would find nothing
    // appended and lay out everything.
    if (m_layoutRequested) {
        m_appendedDue = true;
    } else {
        layOutAppended();
    }
}

void DeviceTableWidget::layOutAppended()
{
    const int from = std::exchange(m_appendedFrom, -1);
    m_appendedDue = false;
    if (m_unfilteredFrom >= 0) {
        // A new row may have given an older one its hint.
        filterRows(m_filter.markedOnly ? 0 : m_unfilteredFrom);
        return;
    }
    // The rows above the appended ones stay where they are: only the scroll range grows, and the
    // new rows need painting where they show.
    updateGeometries();
    const int top = rowViewportPosition(from);
    if (top < viewport()->height()) {
        viewport()->update(0, top, viewport()->width(), viewport()->height() - top);
    }
}

void DeviceTableWidget::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QTableWidget::rowsInserted(parent, start, end);
    if (m_filter.isActive()) {
        // Their cells come after them: hidden until the filter sees them with the appended layout.
        setRowsHidden(start, end + 1, [](int) { return true; });
        m_unfilteredFrom = m_unfilteredFrom < 0 ? start : std::min(m_unfilteredFrom, start);
    }
    if (end == rowCount() - 1) {
        m_appendedFrom = m_appendedFrom < 0 ? start : std::min(m_appendedFrom, start);
        // The view lays itself out for every new row; see doItemsLayout.
        m_layoutRequested = true;
    } else {
        needFullLayout();
    }
}

void DeviceTableWidget::setRowFilter(const RowFilter &filter)
{
    const RowFilter before = std::exchange(m_filter, filter);
    if (m_unfilteredFrom >= 0 || m_hiddenRows == 0 || !filter.isActive()) {
        filterRows(0);
        return;
    }
    // A keystroke either narrows what shows or widens it: only the rows that may change are judged.
    if (filter.narrows(before)) {
        setRowsHidden(0, rowCount(), [this](int row) { return isRowHidden(row) || !passes(row); });
    } else if (before.narrows(filter)) {
        setRowsHidden(0, rowCount(), [this](int row) { return isRowHidden(row) && !passes(row); });
    } else {
        setRowsHidden(0, rowCount(), [this](int row) { return !passes(row); });
    }
    updateGeometries();
    viewport()->update();
    emit shownRowsChanged();
}

void DeviceTableWidget::refilter()
{
    filterRows(0);
}

void DeviceTableWidget::sortRows(int column, Qt::SortOrder order)
{
    // The header carries each hidden row through a sort on its own, and a sort with most rows hidden
    // took nine times as long as one without: the rows are shown for the sort and hidden again after,
    // found by their cells rather than judged again.
    if (m_hiddenRows == 0) {
        sortByColumn(column, order);
        return;
    }
    QSet<const QTableWidgetItem *> hidden;
    hidden.reserve(m_hiddenRows);
    for (int row = 0; row < rowCount(); ++row) {
        if (isRowHidden(row)) {
            hidden.insert(item(row, NumberColumn));
        }
    }
    setRowsHidden(0, rowCount(), [](int) { return false; });
    sortByColumn(column, order);
    setRowsHidden(0, rowCount(), [this, &hidden](int row) {
        const QTableWidgetItem *number = item(row, NumberColumn);
        return number ? hidden.contains(number) : !passes(row);
    });
    updateGeometries();
    viewport()->update();
}

int DeviceTableWidget::appendRow()
{
    if (m_reservedRows > 0) {
        return rowCount() - m_reservedRows--;
    }
    const int row = rowCount();
    insertRow(row);
    return row;
}

void DeviceTableWidget::reserveRows(int count)
{
    m_reservedRows += count;
    setRowCount(rowCount() + count);
}

bool DeviceTableWidget::passes(int row) const
{
    if (m_filter.markedOnly) {
        const QTableWidgetItem *address = item(row, AddressColumn);
        if (!address || address->data(HintRole).toInt() == NoHint) {
            return false;
        }
    }
    if (m_filter.text.isEmpty()) {
        return true;
    }
    const QTableWidgetItem *number = item(row, NumberColumn);
    auto known = m_rowTexts.constFind(number);
    if (!number || known == m_rowTexts.cend()) {
        QStringList cells;
        for (int column = IdColumn; column <= MacColumn; ++column) {
            const QTableWidgetItem *cell = item(row, column);
            cells.append(cell ? cell->text() : QString());
        }
        if (!number) {
            return m_filter.matches(rowText(cells));
        }
        known = m_rowTexts.insert(number, rowText(cells));
    }
    return m_filter.matches(*known);
}

void DeviceTableWidget::filterRows(int from)
{
    m_unfilteredFrom = -1;
    if (m_filter.isActive()) {
        setRowsHidden(from, rowCount(), [this](int row) { return !passes(row); });
    } else {
        setRowsHidden(from, rowCount(), [](int) { return false; });
    }
    updateGeometries();
    viewport()->update();
    emit shownRowsChanged();
}

void DeviceTableWidget::setRowsHidden(int from, int to, const std::function<bool(int)> &hidden)
{
    // Hidden one by one with the header placing each, 60,000 rows took about a second; the view is
    // brought up to date once, by the caller.
    QHeaderView *rows = verticalHeader();
    const bool updates = rows->updatesEnabled();
    rows->setUpdatesEnabled(false);
    {
        const QSignalBlocker headerBlocker(rows);
        const QSignalBlocker itemsBlocker(model());
        for (int row = from; row < to; ++row) {
            const bool hide = hidden(row);
            if (hide && item(row, NumberColumn) && item(row, NumberColumn)->checkState() != Qt::Unchecked) {
                // Detached, as in markRow, so that a sorted model does not search for the cell.
                QTableWidgetItem *number = takeItem(row, NumberColumn);
                number->setCheckState(Qt::Unchecked);
                setItem(row, NumberColumn, number);
            }
            if (hide != rows->isSectionHidden(row)) {
                rows->setSectionHidden(row, hide);
                m_hiddenRows += hide ? 1 : -1;
            }
        }
    }
    rows->setUpdatesEnabled(updates);
}

void DeviceTableWidget::countHiddenRows()
{
    // The cells the texts were kept for may be gone.
    m_rowTexts.clear();
    m_reservedRows = 0;
    m_hiddenRows = 0;
    for (int row = 0; row < rowCount(); ++row) {
        m_hiddenRows += isRowHidden(row) ? 1 : 0;
    }
    if (m_unfilteredFrom >= rowCount()) {
        m_unfilteredFrom = -1;
    }
    emit shownRowsChanged();
}

void DeviceTableWidget::needFullLayout()
{
    m_fullLayout = true;
}

QVector<DeviceAddress> DeviceTableWidget::devices() const
{
    QVector<DeviceAddress> found;
    found.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row) {
        const QTableWidgetItem *mac = item(row, MacColumn);
        const QTableWidgetItem *ip = item(row, AddressColumn);
        if (mac && ip) {
            found.append({mac->text(), ip->text()});
        }
    }
    return found;
}

void DeviceTableWidget::markRow(int row, const QString &outcome, bool taken)
{
    const QTableWidgetItem *number = item(row, NumberColumn);
    if (number && number->toolTip() == outcome) {
        return;
    }
    // Changing an item in place makes the model search the whole table for it once rows have been
    // sorted; a detached item is changed without that search and put back where it was.
    {
        const QSignalBlocker blocker(model());
        for (int column = 0; column < columnCount(); ++column) {
            QTableWidgetItem *cell = takeItem(row, column);
            if (!cell) {
                continue;
            }
            cell->setToolTip(outcome);
            if (outcome.isEmpty()) {
                cell->setData(Qt::BackgroundRole, QVariant());
            } else {
                cell->setBackground(taken ? QColor(0xd4, 0xf4, 0xd4) : QColor(0xf8, 0xd4, 0xd4));
            }
            setItem(row, column, cell);
        }
    }
    viewport()->update(0, rowViewportPosition(row), viewport()->width(), rowHeight(row));
}
