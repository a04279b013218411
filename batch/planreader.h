#ifndef BRELO_PLANREADER_H
#define BRELO_PLANREADER_H

#include <QString>
#include <QVector>

// More lines than any site has devices; beyond it the preview would only freeze the window.
constexpr int MaxPlanLines = 65536;

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
};

struct PlanText
{
    // Without the header line and the empty lines, in paste order.
    QVector<PlanLine> lines;
    // More than the limit: lines holds the limit and one more.
    bool tooLong = false;
};

// The clipboard's plain text as a spreadsheet or an editor writes it.
PlanText readAddressPlan(const QString &text, int maxLines = MaxPlanLines);

// Twelve upper-case hex digits for "AA:BB:CC:DD:EE:FF", "aa-bb-…", "aabb.ccdd.eeff" or
// "AABBCCDDEEFF"; empty for anything else.
QString macKey(const QString &cell);

bool hasMacLine(const PlanText &plan);

#endif // BRELO_PLANREADER_H
