#include "app/rowfilter.h"

namespace {

bool isHexDigit(QChar c)
{
    return c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// "9e00", "9e-00" or "9E:00" may all be meant as part of "9E:00:..."; "10.0.0" is an address.
QString macDigitsOf(const QString &text)
{
    QString digits;
    bool dotted = false;
    bool macLike = false;
    for (const QChar c : text) {
        if (isHexDigit(c)) {
            digits.append(c.toLower());
            macLike = macLike || !c.isDigit();
        } else if (c == QLatin1Char(':') || c == QLatin1Char('-')) {
            macLike = true;
        } else if (c == QLatin1Char('.')) {
            dotted = true;
        } else {
            return {};
        }
    }
    return dotted && !macLike ? QString() : digits;
}

} // namespace

namespace App {

RowText rowText(const QStringList &cells)
{
    RowText row;
    // A line break cannot be typed into the bar, so no match spans two cells.
    row.cells = cells.join(QLatin1Char('\n')).toCaseFolded();
    if (!cells.isEmpty()) {
        for (const QChar c : cells.constLast()) {
            if (isHexDigit(c)) {
                row.macDigits.append(c.toLower());
            }
        }
    }
    return row;
}

RowFilter rowFilter(const QString &typed, bool markedOnly)
{
    RowFilter filter;
    filter.text = typed.trimmed().toCaseFolded();
    filter.macDigits = macDigitsOf(filter.text);
    filter.markedOnly = markedOnly;
    return filter;
}

} // namespace App

bool RowFilter::matches(const RowText &row) const
{
    return row.cells.contains(text) || (!macDigits.isEmpty() && row.macDigits.contains(macDigits));
}

bool RowFilter::narrows(const RowFilter &other) const
{
    if (!markedOnly && other.markedOnly) {
        return false;
    }
    return other.text.isEmpty()
        || (text.contains(other.text)
            && (macDigits.isEmpty() || (!other.macDigits.isEmpty() && macDigits.contains(other.macDigits))));
}
