#include "batch/planreader.h"

#include "batch/addressplan.h"

#include <QStringList>

#include <algorithm>
#include <utility>

namespace Batch {

namespace {

// What a Chinese input method in full-width mode types for the digits, letters and marks an address
// or a MAC is written with, and for the separators between cells. Spaces of every width read as one;
// characters that show nothing (zero-width spaces and joiners, a byte-order mark mid-text) go, else
// they make errors the user cannot see.
QString normalized(const QString &text)
{
    int at = 0;
    while (at < text.size() && text.at(at).unicode() < 0x80) {
        ++at;
    }
    if (at == text.size()) {
        return text;
    }
    QString out(text.size(), Qt::Uninitialized);
    QChar *end = std::copy(text.constData(), text.constData() + at, out.data());
    for (; at < text.size(); ++at) {
        const QChar c = text.at(at);
        const ushort code = c.unicode();
        if (code < 0x80) {
            *end++ = c;
        } else if ((code >= 0xFF0C && code <= 0xFF1B) || (code >= 0xFF21 && code <= 0xFF3A)
                   || (code >= 0xFF41 && code <= 0xFF5A)) {
            *end++ = QLatin1Char(char(code - 0xFEE0));
        } else if (code == 0x3002) {
            *end++ = QLatin1Char('.');
        } else if (code == 0x3001) {
            *end++ = QLatin1Char(',');
        } else if (c.category() == QChar::Separator_Space) {
            *end++ = QLatin1Char(' ');
        } else if (c.category() != QChar::Other_Format) {
            *end++ = c;
        }
    }
    out.truncate(int(end - out.constData()));
    return out;
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
    PlanQuotes quotes;
    int quotesFrom;

    bool opensCell(int at) const { return quotes != PlanQuotes::Bare && at < quotesFrom; }
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
        } else if (c == QLatin1Char('"') && cellStart && scan.opensCell(at)) {
            const int close = closingQuote(text, at, text.size());
            if (close < 0) {
                scan.quotesFrom = at;
            } else if (scan.quotes == PlanQuotes::Quoted || !spansRows(text, at, close)) {
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

// The cells of a line, each cut to the longest a plan needs; cut tells whether anything was left out.
QStringList cellsOf(const Scan &scan, int from, int end, QChar separator, bool *cut)
{
    const QString &text = scan.text;
    const bool byBlanks = separator.isNull();
    QStringList cells;
    QString cell;
    bool cellStart = true;
    const auto add = [&](QChar c) {
        if (cell.size() < MaxPlanCellLength) {
            if (!cell.isEmpty() || !c.isSpace()) {
                cell += c;
            }
        } else if (!c.isSpace()) {
            *cut = true;
        }
    };
    const auto endCell = [&] {
        cell = cell.trimmed();
        if (!byBlanks || !cell.isEmpty()) {
            if (cells.size() < MaxPlanCells) {
                cells.append(cell);
            } else {
                *cut = *cut || !cell.isEmpty();
            }
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
        if (c == QLatin1Char('"') && cellStart && scan.opensCell(at)) {
            const int close = closingQuote(text, at, end);
            if (close >= 0) {
                for (int inner = at + 1; inner < close; ++inner) {
                    // A quote inside is written twice.
                    inner += text.at(inner) == QLatin1Char('"') ? 1 : 0;
                    add(text.at(inner));
                }
                at = close;
                cellStart = false;
                continue;
            }
        }
        add(c);
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

// A cell that was meant as an address: "192.168.1.2299", "192,168.1.50", "192.168.1." or an IPv6
// address. Read in its place, so that the judge names it rather than the next address moving up.
bool looksLikeAddress(const QString &cell)
{
    int dots = 0;
    int colons = 0;
    bool digit = false;
    bool hexLetter = false;
    for (const QChar c : cell) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digit = true;
        } else if (c == QLatin1Char('.') || c == QLatin1Char(',')) {
            ++dots;
        } else if (c == QLatin1Char(':')) {
            ++colons;
        } else if ((c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                   || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))) {
            hexLetter = true;
        } else if (c != QLatin1Char(' ')) {
            return false;
        }
    }
    const bool ipv6 = cell.contains(QLatin1String("::")) || colons >= 6;
    return ipv6 || (digit && !hexLetter && colons == 0 && dots >= 3);
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

bool isDhcp(const QString &cell)
{
    return cell.compare(QLatin1String("DHCP"), Qt::CaseInsensitive) == 0;
}

// A header-less line: its first MAC, then the addresses in order. An empty cell in one of the block's
// address columns is an empty field in its place, so that a blank new-IP cell is no new IP rather than
// the netmask moving up; text there is a note, as lines laid out unlike the others have.
PlanLine lineByCells(const QStringList &cells, const QVector<bool> &addressColumns)
{
    PlanLine line;
    QStringList addresses;
    bool dhcp = false;
    for (int column = 0; column < cells.size(); ++column) {
        const QString &cell = cells.at(column);
        const QString key = macKey(cell);
        if (!key.isEmpty()) {
            // A device ID may be twelve hex digits too; a MAC written with separators is the MAC.
            if (line.mac.isEmpty() || (line.mac.size() == 12 && cell.size() > 12)) {
                line.mac = cell;
                line.macKey = key;
            }
        } else if (isAddress(cell) || looksLikeAddress(cell)) {
            addresses.append(cell);
        } else if (isDhcp(cell)) {
            dhcp = true;
        } else if (cell.isEmpty() && addressColumns.value(column)) {
            addresses.append(QString());
        }
    }
    line.address = dhcp ? QStringLiteral("DHCP") : addresses.value(0);
    line.netmask = addresses.value(1);
    line.gateway = addresses.value(2);
    return line;
}

// The columns of a header-less block that hold an address or "DHCP" on any line. Only lines split at
// tabs, commas or semicolons have columns: runs of blanks drop empty cells and split notes.
QVector<bool> addressColumnsOf(const QVector<QStringList> &cellsOfLines, const QVector<bool> &hasColumns)
{
    QVector<bool> columns;
    for (int index = 0; index < cellsOfLines.size(); ++index) {
        const QStringList &cells = cellsOfLines.at(index);
        for (int column = 0; hasColumns.at(index) && column < cells.size(); ++column) {
            const QString &cell = cells.at(column);
            if (macKey(cell).isEmpty() && (isAddress(cell) || looksLikeAddress(cell) || isDhcp(cell))) {
                columns.resize(std::max(int(columns.size()), column + 1));
                columns[column] = true;
            }
        }
    }
    return columns;
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

// The hex digits of cell in groups split at separator, each group padded to width when it may be
// shorter, or empty when a group is not 1 to width (or exactly width) hex digits.
QString groupedKey(const QString &cell, QChar separator, int groups, int width, bool padded)
{
    QString key;
    key.reserve(12);
    int group = 0;
    int from = 0;
    while (group < groups) {
        int to = cell.indexOf(separator, from);
        if (to < 0) {
            to = int(cell.size());
        }
        const int length = to - from;
        if (length < (padded ? 1 : width) || length > width) {
            return {};
        }
        for (int pad = length; pad < width; ++pad) {
            key += QLatin1Char('0');
        }
        for (int i = from; i < to; ++i) {
            if (!isHexDigit(cell.at(i))) {
                return {};
            }
            key += cell.at(i).toUpper();
        }
        ++group;
        from = to + 1;
        if (to == cell.size()) {
            break;
        }
    }
    return group == groups && from == cell.size() + 1 ? key : QString();
}

} // namespace

QString macKey(const QString &cell)
{
    if (cell.size() < 11 || cell.size() > 17) {
        return {};
    }
    if (cell.size() == 12) {
        return groupedKey(cell, QChar(), 1, 12, false);
    }
    for (const char separator : {':', '-'}) {
        if (cell.count(QLatin1Char(separator)) == 5) {
            return groupedKey(cell, QLatin1Char(separator), 6, 2, true);
        }
    }
    for (const char separator : {'.', '-'}) {
        if (cell.size() == 14 && cell.count(QLatin1Char(separator)) == 2) {
            return groupedKey(cell, QLatin1Char(separator), 3, 4, false);
        }
    }
    return {};
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

PlanQuotes planQuotesOf(const QStringList &formats)
{
    for (const QString &format : formats) {
        if (format.contains(QLatin1String("openoffice"), Qt::CaseInsensitive)
            || format.contains(QLatin1String("libreoffice"), Qt::CaseInsensitive)
            || format.contains(QLatin1String("Star Embed"), Qt::CaseInsensitive)) {
            return PlanQuotes::Bare;
        }
        if (format.contains(QLatin1String("XML Spreadsheet"), Qt::CaseInsensitive)
            || format.contains(QLatin1String("Biff"), Qt::CaseInsensitive)
            || format.contains(QLatin1String("com.microsoft.Excel"), Qt::CaseInsensitive)) {
            return PlanQuotes::Quoted;
        }
    }
    return PlanQuotes::Guess;
}

PlanText readAddressPlan(const QString &text, int maxLines, PlanQuotes quotes)
{
    const QString folded = normalized(text);

    PlanText plan;
    Scan scan {folded, quotes, int(folded.size())};
    bool first = true;
    Columns columns;
    bool byHeader = false;
    QVector<QStringList> headerless;
    QVector<bool> hasColumns;
    int row = 0;
    int at = 0;
    while (at < folded.size()) {
        ++row;
        QChar separator;
        const int end = lineEnd(scan, at, &separator);
        bool cut = false;
        const QStringList cells = cellsOf(scan, at, end, separator, &cut);
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
        plan.lines.append(byHeader ? lineByHeader(cells, columns) : PlanLine());
        plan.lines.last().row = row;
        plan.lines.last().cut = cut;
        if (!byHeader) {
            headerless.append(cells);
            hasColumns.append(!separator.isNull());
        }
        if (plan.tooLong) {
            break;
        }
    }
    if (!byHeader) {
        // Every line first, since a column is an address column when any line has an address there.
        const QVector<bool> addressColumns = addressColumnsOf(headerless, hasColumns);
        for (int index = 0; index < plan.lines.size(); ++index) {
            PlanLine read = lineByCells(headerless.at(index), hasColumns.at(index) ? addressColumns : QVector<bool>());
            read.row = plan.lines.at(index).row;
            read.cut = plan.lines.at(index).cut;
            plan.lines[index] = std::move(read);
        }
    }
    return plan;
}

} // namespace Batch
