#ifndef BRELO_ROWFILTER_H
#define BRELO_ROWFILTER_H

#include <QString>
#include <QStringList>

// A row's texts as the find bar searches them: its cells case-folded and joined, and its MAC's hex
// digits alone. Made once per row, so that a keystroke over 60,000 rows compares and nothing more.
struct RowText
{
    QString cells;
    QString macDigits;
};

// What the find bar asks of a table row: a cell that contains the typed text, case aside, or a MAC
// that holds it in any notation; and, with markedOnly, a hint on the row.
struct RowFilter
{
    // Case-folded.
    QString text;
    // The typed hex digits, case-folded, when the text may be part of a MAC; empty otherwise.
    QString macDigits;
    bool markedOnly = false;

    bool isActive() const { return !text.isEmpty() || markedOnly; }
    bool matches(const RowText &row) const;
    // Whether every row this filter passes, other passes too: typing on only narrows.
    bool narrows(const RowFilter &other) const;
};

namespace App {

// The cells in any order, the MAC last.
RowText rowText(const QStringList &cells);
RowFilter rowFilter(const QString &typed, bool markedOnly);

} // namespace App

#endif // BRELO_ROWFILTER_H
