#include "app/devicetablewidget.h"

#include "batch/addressplan.h"
#include "batch/devicehints.h"

#include <QAbstractItemModel>
#include <QBrush>
#include <QColor>
#include <QIcon>
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

static_assert(int(DeviceTableWidget::ConflictHint) == int(DeviceHints::Conflict)
                  && int(DeviceTableWidget::OwnAddressHint) == int(DeviceHints::OwnAddress)
                  && int(DeviceTableWidget::UnreachableHint) == int(DeviceHints::Unreachable)
                  && int(DeviceTableWidget::NewHint) == int(DeviceHints::New),
              "the table shows the hints' marks as they are");

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
    const bool readable = parseAddress(ip, &address);
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
    if (end == rowCount() - 1) {
        m_appendedFrom = m_appendedFrom < 0 ? start : std::min(m_appendedFrom, start);
        // The view lays itself out for every new row; see doItemsLayout.
        m_layoutRequested = true;
    } else {
        needFullLayout();
    }
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
