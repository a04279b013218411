#include "app/tablerows.h"

#include <QAbstractItemModel>
#include <QScrollBar>
#include <QTableView>

void layOutAppendedRow(QTableView *table, int row)
{
    QWidget *viewport = table->viewport();
    if (!viewport->updatesEnabled()) {
        return;
    }
    const QSize size = viewport->size();
    const int vertical = table->verticalScrollBar()->value();
    const int horizontal = table->horizontalScrollBar()->value();

    // Only the layout's blanket repaint is dropped here; nothing else runs in between.
    viewport->setAttribute(Qt::WA_UpdatesDisabled, true);
    table->doItemsLayout();
    viewport->setAttribute(Qt::WA_UpdatesDisabled, false);

    if (viewport->size() != size || table->verticalScrollBar()->value() != vertical
        || table->horizontalScrollBar()->value() != horizontal) {
        viewport->update();
        return;
    }
    const QAbstractItemModel *model = table->model();
    const QRect rowRect =
        table->visualRect(model->index(row, 0)).united(table->visualRect(model->index(row, model->columnCount() - 1)));
    viewport->update(rowRect.adjusted(0, 0, 0, 1));
}
