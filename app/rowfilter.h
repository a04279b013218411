#ifndef BRELO_ROWFILTER_H
#define BRELO_ROWFILTER_H

#include <QString>

// What the find bar asks of a table row: a cell that contains the typed text, case aside, or a MAC
// that holds it in any notation; and, with markedOnly, a hint on the row.
struct RowFilter
{
    QString text;
    // The typed hex digits, upper case, when the text may be part of a MAC; empty otherwise.
    QString macDigits;
    bool markedOnly = false;

    bool isActive() const { return !text.isEmpty() || markedOnly; }
    bool matchesText(const QString &cell) const;
    bool matchesMac(const QString &mac) const;
};

RowFilter rowFilter(const QString &typed, bool markedOnly);

#endif // BRELO_ROWFILTER_H
