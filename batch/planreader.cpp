#include "batch/planreader.h"

#include "batch/addressplan.h"

#include <QStringList>

namespace {

// What a Chinese input method in full-width mode types for the digits, letters and marks an address
// or a MAC is written with.
void foldFullWidth(QString &text)
{
    for (QChar &c : text) {
        const ushort code = c.unicode();
        if ((code >= 0xFF10 && code <= 0xFF1A) || (code >= 0xFF21 && code <= 0xFF3A)
            || (code >= 0xFF41 && code <= 0xFF5A) || code == 0xFF0D || code == 0xFF0E) {
            c = QLatin1Char(char(code - 0xFEE0));
        } else if (code == 0x3002) {
            c = QLatin1Char('.');
        } else if (code == 0x3000) {
            c = QLatin1Char(' ');
        }
    }
}

bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char('\t') || c == QLatin1Char(',') || c == QLatin1Char(';');
}

// The quote that closes the cell opened at open, before limit, or -1; "" stands for a quote.
int closingQuote(const QString &text, int open, int limit)
{
    int at = open + 1;
    while (true) {
        at = text.indexOf(QLatin1Char('"'), at);
        if (at < 0 || at >= limit) {
            return -1;
        }
        if (at + 1 < limit && text.at(at + 1) == QLatin1Char('"')) {
            at += 2;
            continue;
        }
        return at;
    }
}

// A quoted cell that runs past a line break and holds a tab is bare text that happens to start with a
// quote: some spreadsheets write every cell bare, and the rows up to the next stray quote would vanish
// into one cell.
bool spansRows(const QString &text, int open, int close)
{
    bool lineBreak = false;
    bool tab = false;
    for (int at = open; at < close && !(lineBreak && tab); ++at) {
        lineBreak = lineBreak || isLineBreak(text.at(at));
        tab = tab || text.at(at) == QLatin1Char('\t');
    }
    return lineBreak && tab;
}

// A quote that never closes is typed text: from there on, quotes are plain characters, which keeps
// the reading linear in the text.
struct Scan
{
    const QString &text;
    int quotesFrom;
};

// Where the line starting at from ends (a quoted cell may hold line breaks), and the separator it is
// split at: a tab, else ",", else ";", else (null) runs of white space.
int lineEnd(Scan &scan, int from, QChar *separator)
{
    const QString &text = scan.text;
    bool tab = false;
    bool comma = false;
    bool semicolon = false;
    bool cellStart = true;
    int at = from;
    while (at < text.size() && !isLineBreak(text.at(at))) {
        const QChar c = text.at(at);
        if (isSeparator(c)) {
            tab = tab || c == QLatin1Char('\t');
            comma = comma || c == QLatin1Char(',');
            semicolon = semicolon || c == QLatin1Char(';');
            cellStart = true;
        } else if (c == QLatin1Char('"') && cellStart && at < scan.quotesFrom) {
            const int close = closingQuote(text, at, text.size());
            if (close < 0) {
                scan.quotesFrom = at;
            } else if (!spansRows(text, at, close)) {
                at = close;
            }
            cellStart = false;
        } else if (!c.isSpace()) {
            cellStart = false;
        }
        ++at;
    }
    *separator = tab ? QLatin1Char('\t') : comma ? QLatin1Char(',') : semicolon ? QLatin1Char(';') : QChar();
    return at;
}

QStringList cellsOf(const Scan &scan, int from, int end, QChar separator)
{
    const QString &text = scan.text;
    const bool byBlanks = separator.isNull();
    QStringList cells;
    QString cell;
    bool cellStart = true;
    const auto endCell = [&] {
        cell = cell.trimmed();
        if (!byBlanks || !cell.isEmpty()) {
            cells.append(cell);
        }
        cell.clear();
        cellStart = true;
    };
    for (int at = from; at < end; ++at) {
        const QChar c = text.at(at);
        if (byBlanks ? c.isSpace() : c == separator) {
            endCell();
            continue;
        }
        if (c == QLatin1Char('"') && cellStart && at < scan.quotesFrom) {
            const int close = closingQuote(text, at, end);
            if (close >= 0) {
                cell += text.mid(at + 1, close - at - 1).replace(QLatin1String("\"\""), QLatin1String("\""));
                at = close;
                cellStart = false;
                continue;
            }
        }
        cell += c;
        cellStart = cellStart && c.isSpace();
    }
    endCell();
    return cells;
}

enum Field { MacField, AddressField, NetmaskField, GatewayField, DnsField, FieldCount };

// The column each field is read from, or -1; the MAC column's is -1 when the line is no header.
struct Columns
{
    int at[FieldCount] = {-1, -1, -1, -1, -1};
};

int columnNamed(const QStringList &cells, std::initializer_list<const char *> names)
{
    for (int column = 0; column < cells.size(); ++column) {
        for (const char *name : names) {
            if (cells.at(column).compare(QString::fromUtf8(name), Qt::CaseInsensitive) == 0) {
                return column;
            }
        }
    }
    return -1;
}

Columns headerColumns(const QStringList &cells)
{
    Columns columns;
    columns.at[MacField] = columnNamed(cells, {"MAC地址", "MAC", "MAC Address", "物理地址"});
    columns.at[AddressField] = columnNamed(cells, {"新IP", "新IP地址", "New IP"});
    if (columns.at[AddressField] < 0) {
        // Our own copy, its address column edited.
        columns.at[AddressField] = columnNamed(cells, {"IP地址", "IP", "IP Address"});
    }
    columns.at[NetmaskField] = columnNamed(cells, {"子网掩码", "掩码", "Netmask", "Subnet Mask"});
    columns.at[GatewayField] = columnNamed(cells, {"默认网关", "网关", "Gateway"});
    columns.at[DnsField] = columnNamed(cells, {"DNS"});
    return columns;
}

bool isAddress(const QString &cell)
{
    quint32 address = 0;
    return parseAddress(cell, &address);
}

PlanLine lineByHeader(const QStringList &cells, const Columns &columns)
{
    const auto cell = [&](Field field) { return columns.at[field] < 0 ? QString() : cells.value(columns.at[field]); };
    PlanLine line;
    line.mac = cell(MacField);
    line.macKey = macKey(line.mac);
    line.address = cell(AddressField);
    line.netmask = cell(NetmaskField);
    line.gateway = cell(GatewayField);
    line.dns = cell(DnsField);
    return line;
}

PlanLine lineByCells(const QStringList &cells)
{
    PlanLine line;
    QStringList addresses;
    bool dhcp = false;
    for (const QString &cell : cells) {
        const QString key = macKey(cell);
        if (!key.isEmpty()) {
            // A device ID may be twelve hex digits too; a MAC written with separators is the MAC.
            if (line.mac.isEmpty() || (line.mac.size() == 12 && cell.size() > 12)) {
                line.mac = cell;
                line.macKey = key;
            }
        } else if (isAddress(cell)) {
            addresses.append(cell);
        } else if (cell.compare(QLatin1String("DHCP"), Qt::CaseInsensitive) == 0) {
            dhcp = true;
        }
    }
    line.address = dhcp ? QStringLiteral("DHCP") : addresses.value(0);
    line.netmask = addresses.value(1);
    line.gateway = addresses.value(2);
    return line;
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

} // namespace

QString macKey(const QString &cell)
{
    // Where the separators stand in each notation, and which separators it takes.
    int every = 0;
    QString separators;
    if (cell.size() == 17) {
        every = 3;
        separators = QStringLiteral(":-");
    } else if (cell.size() == 14) {
        every = 5;
        separators = QStringLiteral(".");
    } else if (cell.size() != 12) {
        return {};
    }
    QString key;
    key.reserve(12);
    for (int i = 0; i < cell.size(); ++i) {
        const QChar c = cell.at(i);
        if (every > 0 && i % every == every - 1) {
            if (c != cell.at(every - 1) || !separators.contains(c)) {
                return {};
            }
        } else if (isHexDigit(c)) {
            key += c.toUpper();
        } else {
            return {};
        }
    }
    return key;
}

bool hasMacLine(const PlanText &plan)
{
    for (const PlanLine &line : plan.lines) {
        if (!line.macKey.isEmpty()) {
            return true;
        }
    }
    return false;
}

PlanText readAddressPlan(const QString &text, int maxLines)
{
    QString folded = text;
    if (folded.startsWith(QChar(0xFEFF))) {
        folded.remove(0, 1);
    }
    foldFullWidth(folded);

    PlanText plan;
    Scan scan {folded, int(folded.size())};
    bool first = true;
    Columns columns;
    bool byHeader = false;
    int at = 0;
    while (at < folded.size()) {
        QChar separator;
        const int end = lineEnd(scan, at, &separator);
        const QStringList cells = cellsOf(scan, at, end, separator);
        const bool crlf =
            end + 1 < folded.size() && folded.at(end) == QLatin1Char('\r') && folded.at(end + 1) == QLatin1Char('\n');
        at = end + (crlf ? 2 : 1);

        bool empty = true;
        for (const QString &cell : cells) {
            empty = empty && cell.isEmpty();
        }
        if (empty) {
            continue;
        }
        if (first) {
            first = false;
            bool anyMac = false;
            for (const QString &cell : cells) {
                anyMac = anyMac || !macKey(cell).isEmpty();
            }
            if (!anyMac) {
                columns = headerColumns(cells);
                byHeader = columns.at[MacField] >= 0;
                if (byHeader) {
                    continue;
                }
            }
        }
        if (plan.lines.size() == maxLines) {
            plan.tooLong = true;
        }
        plan.lines.append(byHeader ? lineByHeader(cells, columns) : lineByCells(cells));
        if (plan.tooLong) {
            break;
        }
    }
    return plan;
}
