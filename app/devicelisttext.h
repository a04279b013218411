#ifndef BRELO_DEVICELISTTEXT_H
#define BRELO_DEVICELISTTEXT_H

#include <QString>
#include <QStringList>
#include <QVector>

// One table row as the user sees it: its check box, its six cell texts, the outcome of a check and
// whether the find bar hides it.
struct ListedDevice
{
    bool checked = false;
    QStringList cells;
    QString outcome;
    bool hidden = false;
};

namespace App {

// The rows for the installer's records as tab-separated lines, header first, each line ending in a
// line feed: the checked shown rows, or every shown row when none is checked. A seventh column "核对" holds the
// outcome when any row has one. Empty when there are no rows; copied gives the number of rows.
QString deviceListText(const QStringList &headers, const QVector<ListedDevice> &rows, int *copied = nullptr);

} // namespace App

#endif // BRELO_DEVICELISTTEXT_H
