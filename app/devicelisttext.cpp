#include "app/devicelisttext.h"

#include <algorithm>
#include <iterator>

namespace {

// Device texts come from the network: a tab or line break in one must not split its row.
QString cellText(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

QString line(const QStringList &cells)
{
    QStringList texts;
    texts.reserve(cells.size());
    for (const QString &cell : cells) {
        texts.append(cellText(cell));
    }
    return texts.join(QLatin1Char('\t')) + QLatin1Char('\n');
}

} // namespace

namespace App {

QString deviceListText(const QStringList &headers, const QVector<ListedDevice> &listed, int *copied)
{
    QVector<ListedDevice> rows;
    std::copy_if(listed.cbegin(), listed.cend(), std::back_inserter(rows),
                 [](const ListedDevice &row) { return !row.hidden; });
    const bool anyChecked =
        std::any_of(rows.cbegin(), rows.cend(), [](const ListedDevice &row) { return row.checked; });
    const bool withOutcome =
        std::any_of(rows.cbegin(), rows.cend(), [](const ListedDevice &row) { return !row.outcome.isEmpty(); });
    int count = 0;
    QString text;
    for (const ListedDevice &row : rows) {
        if (anyChecked && !row.checked) {
            continue;
        }
        ++count;
        text += line(withOutcome ? row.cells + QStringList {row.outcome} : row.cells);
    }
    if (copied) {
        *copied = count;
    }
    if (count == 0) {
        return {};
    }
    return line(withOutcome ? headers + QStringList {QStringLiteral("核对")} : headers) + text;
}

} // namespace App
