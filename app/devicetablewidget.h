#ifndef BRELO_DEVICETABLEWIDGET_H
#define BRELO_DEVICETABLEWIDGET_H

#include <QBasicTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QTableWidget>
#include <QVector>

#include <array>
#include <functional>
#include <memory>

#include "app/rowfilter.h"

struct DeviceAddress;
namespace DeviceHints {
struct Network;
}

// The stock view lays out and repaints every shown row for each row a search appends, mostly out of
// sight; here appended rows are laid out together a moment later and repaint only where they show.
class DeviceTableWidget : public QTableWidget
{
    Q_OBJECT

public:
    // Which column holds what; the number column also holds the row's check box.
    enum Column { NumberColumn, IdColumn, AddressColumn, VersionColumn, ModelColumn, MacColumn };
    // What a row's address cell says needs doing, as DeviceHints::Mark flags; the find bar's "marked"
    // filter shows the rows with any.
    static constexpr int HintRole = Qt::UserRole + 1;

    explicit DeviceTableWidget(QWidget *parent = nullptr);
    ~DeviceTableWidget() override;

    // Every row's MAC and address, in table order.
    QVector<DeviceAddress> devices() const;
    // The outcome as every cell's tooltip, on green when taken, red otherwise; an empty text clears it.
    void markRow(int row, const QString &outcome, bool taken);

    // Aligned, and unchecked in the number column; the caller sets its text before putting it in place.
    QTableWidgetItem *newCell(int column);
    // Numbers the rows 1, 2, 3 … from the top, as after a sort.
    void renumber();

    // What the rows of the next search are judged against: this PC's networks, and the MACs of the
    // search before, whose absence makes a row new; none are new without one.
    void beginSearch(const QVector<DeviceHints::Network> &networks, const QSet<QString> *previous);
    // The address cell of a row arriving now, its hint flags judged and kept under HintRole; rows
    // already at that address become conflicts with it. Its tooltip is the outcome, then the lines
    // of its hints.
    QTableWidgetItem *newAddressCell(const QString &ip, const QString &mac);
    // Shows only the rows the filter passes, every row for an inactive one; a row it hides is
    // unchecked. Rows appended later are hidden until their cells are in and the filter has seen them.
    void setRowFilter(const RowFilter &filter);
    // The filter again, for rows whose hint flags changed.
    void refilter();
    int hiddenRowCount() const { return m_hiddenRows; }
    // As sortByColumn, keeping the filter.
    void sortRows(int column, Qt::SortOrder order);
    // The index of a new last row: one made ahead by reserveRows, or else a row inserted now.
    int appendRow();
    // Inserts rows at the end in one go, for appendRow to hand out.
    void reserveRows(int count);

    void doItemsLayout() override;

signals:
    void shownRowsChanged();

protected:
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void timerEvent(QTimerEvent *event) override;

private:
    struct Marks;
    class AddressCell;

    void needFullLayout();
    void rowsGone();
    void styleMarks();
    void layOutAppended();
    bool passes(int row) const;
    // Hides and shows the rows from `from` on as the filter says, all at once.
    void filterRows(int from);
    // Rows in [from, to) as hidden says; a row hidden is unchecked.
    void setRowsHidden(int from, int to, const std::function<bool(int)> &hidden);
    void countHiddenRows();

    // The first row appended at the end since the last layout, or -1.
    int m_appendedFrom = -1;
    bool m_fullLayout = false;
    // The view has asked for a layout that has not run yet.
    bool m_layoutRequested = false;
    // The appended rows are laid out with the view's next layout.
    bool m_appendedDue = false;
    QBasicTimer m_appendedLayout;
    // Cells made ahead, many rows at a time, per column; handed out from the back.
    std::array<QVector<QTableWidgetItem *>, MacColumn + 1> m_spareCells;
    std::unique_ptr<Marks> m_marks;
    RowFilter m_filter;
    // Each row's texts as the filter searches them, by the row's number cell, which moves with it.
    mutable QHash<const QTableWidgetItem *, RowText> m_rowTexts;
    int m_hiddenRows = 0;
    // The first appended row the filter has not seen yet, or -1.
    int m_unfilteredFrom = -1;
    // Rows made by reserveRows that appendRow has not handed out yet, at the end of the table.
    int m_reservedRows = 0;
};

#endif // BRELO_DEVICETABLEWIDGET_H
