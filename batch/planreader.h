#ifndef BRELO_PLANREADER_H
#define BRELO_PLANREADER_H

#include <QString>
#include <QStringList>
#include <QVector>

// More lines than any site has devices; beyond it the preview would only freeze the window.
constexpr int MaxPlanLines = 65536;
// Far longer than any address list: a longer cell is cut, and a line's cells past the last are left out.
constexpr int MaxPlanCellLength = 256;
constexpr int MaxPlanCells = 1024;

// How a quote at the start of a cell is read: Excel quotes a cell that holds a tab, a line break or a
// quote; Calc writes every cell bare. Guess: as quoted, unless the cell would swallow rows.
enum class PlanQuotes { Guess, Quoted, Bare };

// One line of an address plan as pasted: texts trimmed, full-width forms read as ASCII.
struct PlanLine
{
    // The MAC cell as written; empty when the line has none.
    QString mac;
    // Its twelve hex digits in upper case, by which it is matched to a row; empty when not a MAC.
    QString macKey;
    // An address as written, "DHCP" in any case, anything else a header's column held, or empty.
    QString address;
    // Empty where the line gives none of its own.
    QString netmask;
    QString gateway;
    QString dns;
    // As the spreadsheet numbers it: the clipboard's lines from 1, the header and empty lines counted.
    int row = 0;
    // A cell, or the cells past the last read, were cut.
    bool cut = false;
};

struct PlanText
{
    // Without the header line and the empty lines, in paste order.
    QVector<PlanLine> lines;
    // More than the limit: lines holds the limit and one more.
    bool tooLong = false;
};

namespace Batch {

// The clipboard's plain text as a spreadsheet or an editor writes it. Before anything is read,
// full-width forms become ASCII, every kind of space a space, and invisible characters go.
PlanText readAddressPlan(const QString &text, int maxLines = MaxPlanLines, PlanQuotes quotes = PlanQuotes::Guess);

// Which program put the text there, told by the clipboard's other formats (their MIME names).
PlanQuotes planQuotesOf(const QStringList &formats);

// Twelve upper-case hex digits for "AA:BB:CC:DD:EE:FF", "aa-bb-…", unpadded "2:B7:9E:0:0:6",
// "aabb.ccdd.eeff", "aabb-ccdd-eeff" or "AABBCCDDEEFF"; empty for anything else.
QString macKey(const QString &cell);

bool hasMacLine(const PlanText &plan);

} // namespace Batch

#endif // BRELO_PLANREADER_H
