#include "app/devicetablewidget.h"

#include "batch/addressplan.h"
#include "hints/devicehints.h"

#include <QAbstractItemModel>
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QIcon>
#include <QSet>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimerEvent>

#include <algorithm>
#include <utility>

namespace {

// About the pace at which the log shows new lines, so that rows and lines show together.
constexpr int AppendedLayoutMs = 40;
// Rows' worth of cells made at a time.
constexpr int SpareRows = 64;

} // namespace

// What the rows of the current search are judged against, and how their marks look.
struct DeviceTableWidget::Marks
{
    QVector<DeviceHints::Network> networks;
    // No row is judged unreachable before the networks are known.
    bool judgesReach = false;
    QSet<QString> previous;
    bool comparing = false;
    DeviceHints::AddressHolders holders;
    QIcon conflictIcon;
    QIcon unreachableIcon;
    QBrush unreachableText;
};

// A row's marks are worked out when asked for: a conflict found later reaches every row at that
// address at once, and the count in each of their tooltips stays right, with nothing rewritten.
// Twenty thousand devices at one factory address would otherwise rewrite every earlier row per row.
class DeviceTableWidget::AddressCell : public QTableWidgetItem
{
public:
    explicit AddressCell(const Marks *marks)
        : QTableWidgetItem(QString(), UserType)
        , m_marks(marks)
    {
    }

    void judge(bool readable, quint32 address, int fixedMarks)
    {
        m_readable = readable;
        m_address = address;
        m_fixed = fixedMarks;
    }

    int marks() const
    {
        return m_fixed
            | (m_readable && DeviceHints::devicesAt(m_marks->holders, m_address) > 1 ? DeviceHints::Conflict : 0);
    }

    QVariant data(int role) const override
    {
        if (role == HintRole) {
            return marks();
        }
        if (m_fixed == 0 && !m_readable) {
            return QTableWidgetItem::data(role);
        }
        switch (role) {
        case Qt::DecorationRole: {
            const int shown = marks();
            if (shown & (DeviceHints::Conflict | DeviceHints::OwnAddress)) {
                return m_marks->conflictIcon;
            }
            if (shown & DeviceHints::Unreachable) {
                return m_marks->unreachableIcon;
            }
            break;
        }
        case Qt::ForegroundRole:
            if (m_fixed & DeviceHints::Unreachable) {
                return m_marks->unreachableText;
            }
            break;
        case Qt::ToolTipRole: {
            QStringList lines = DeviceHints::markLines(marks(), DeviceHints::devicesAt(m_marks->holders, m_address),
                                                       text(), m_marks->networks);
            if (lines.isEmpty()) {
                break;
            }
            // The batch's outcome comes first, as in the row's other cells.
            const QString outcome = QTableWidgetItem::data(role).toString();
            if (!outcome.isEmpty()) {
                lines.prepend(outcome);
            }
            return lines.join(QLatin1Char('\n'));
        }
        default:
            break;
        }
        return QTableWidgetItem::data(role);
    }

private:
    const Marks *m_marks;
    bool m_readable = false;
    quint32 m_address = 0;
    int m_fixed = 0;
};

DeviceTableWidget::DeviceTableWidget(QWidget *parent)
    : QTableWidget(parent)
    , m_marks(std::make_unique<Marks>())
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
    connect(items, &QAbstractItemModel::rowsRemoved, this, &DeviceTableWidget::rowsGone);
    connect(items, &QAbstractItemModel::modelReset, this, &DeviceTableWidget::rowsGone);
    styleMarks();
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
                QTableWidgetItem *cell =
                    each == AddressColumn ? new AddressCell(m_marks.get()) : new QTableWidgetItem(QString());
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

void DeviceTableWidget::beginSearch(const QVector<DeviceHints::Network> &networks, const QSet<QString> *previous)
{
    m_marks->networks = networks;
    m_marks->judgesReach = true;
    m_marks->comparing = previous != nullptr;
    m_marks->previous = previous ? *previous : QSet<QString>();
    m_marks->holders.byAddress.clear();
    styleMarks();
}

void DeviceTableWidget::styleMarks()
{
    m_marks->conflictIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this);
    m_marks->unreachableIcon = style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this);
    m_marks->unreachableText = palette().brush(QPalette::Disabled, QPalette::Text);
}

QTableWidgetItem *DeviceTableWidget::newAddressCell(const QString &ip, const QString &mac)
{
    auto *cell = static_cast<AddressCell *>(newCell(AddressColumn));
    cell->setText(ip);
    int marks = DeviceHints::NoMark;
    quint32 address = 0;
    const bool readable = Batch::parseAddress(ip, &address);
    if (readable) {
        if (DeviceHints::isOwnAddress(address, m_marks->networks)) {
            marks |= DeviceHints::OwnAddress;
        } else if (m_marks->judgesReach && !DeviceHints::inNetworks(address, m_marks->networks)) {
            marks |= DeviceHints::Unreachable;
        }
        // The rows already at this address now show the conflict too.
        if (DeviceHints::addHolder(m_marks->holders, address, mac)) {
            viewport()->update();
        }
    }
    if (m_marks->comparing && !mac.isEmpty() && !m_marks->previous.contains(mac)) {
        marks |= DeviceHints::New;
    }
    cell->judge(readable, address, marks);
    return cell;
}

void DeviceTableWidget::rowsGone()
{
    if (rowCount() == 0) {
        m_marks->holders.byAddress.clear();
    }
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
    // Shown as they are, and counted so (a find bar open with nothing to filter by said "0 / 0").
    emit shownRowsChanged();
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
    if (m_filter.isActive() || m_hiddenRows > 0) {
        filterRows(0);
    }
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
        if (!address || address->data(HintRole).toInt() == DeviceHints::NoMark) {
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
            return m_filter.matches(App::rowText(cells));
        }
        known = m_rowTexts.insert(number, App::rowText(cells));
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
