#ifndef BRELO_DEVICETABLEWIDGET_H
#define BRELO_DEVICETABLEWIDGET_H

#include <QBasicTimer>
#include <QSet>
#include <QString>
#include <QTableWidget>
#include <QVector>

#include <array>
#include <memory>

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
    // What a row's address cell says needs doing, as flags under HintRole; the find bar's "marked"
    // filter shows the rows with any.
    enum Hint { NoHint = 0, ConflictHint = 1, OwnAddressHint = 2, UnreachableHint = 4, NewHint = 8 };
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

    void doItemsLayout() override;

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
};

#endif // BRELO_DEVICETABLEWIDGET_H
