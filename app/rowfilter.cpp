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
            digits.append(c.toUpper());
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

RowFilter rowFilter(const QString &typed, bool markedOnly)
{
    RowFilter filter;
    filter.text = typed.trimmed();
    filter.macDigits = macDigitsOf(filter.text);
    filter.markedOnly = markedOnly;
    return filter;
}

bool RowFilter::matchesText(const QString &cell) const
{
    return cell.contains(text, Qt::CaseInsensitive);
}

bool RowFilter::matchesMac(const QString &mac) const
{
    if (matchesText(mac)) {
        return true;
    }
    if (macDigits.isEmpty()) {
        return false;
    }
    // Compared without separators and without a copy: this runs for every row at every keystroke.
    QChar digits[32];
    int count = 0;
    for (const QChar c : mac) {
        if (isHexDigit(c) && count < 32) {
            digits[count++] = c.toUpper();
        }
    }
    return QString::fromRawData(digits, count).contains(macDigits);
}
