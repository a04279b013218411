#ifndef BRELO_PLANJUDGE_H
#define BRELO_PLANJUDGE_H

#include <QString>
#include <QVector>

#include "batch/checkeddevice.h"

struct DeviceAddress;
struct PlanLine;

namespace DeviceHints {
struct Network;
}

// What becomes of one line of a pasted plan.
enum class PlanState { Sent, NotListed, Unchanged, Empty, Error };

struct JudgedLine
{
    PlanState state = PlanState::Error;
    // As the table shows it, else as pasted.
    QString mac;
    // The address the table shows.
    QString current;
    // What goes out: plain decimal, the fields filled in where the line gives nothing; "DHCP" with
    // no netmask or gateway. As pasted where it cannot be read. Netmask, gateway and DNS only on the
    // lines that are sent.
    QString address;
    QString netmask;
    QString gateway;
    QString dns;
    // The reason of an error, the state, or a warning that does not stop the send.
    QString note;
    // As the spreadsheet numbers it.
    int row = 0;
};

// The dialog's fields, for the lines that give no netmask, gateway or DNS of their own.
struct PlanDefaults
{
    QString netmask;
    QString gateway;
    QString dns;
};

// A netmask, gateway or DNS list as read once: the text that goes out and whether it may.
struct PlanSetting
{
    QString text;
    quint32 value = 0;
    bool valid = false;
};

// What a line's verdict owes to the lines and the table alone; it holds while only the fields change.
struct PreparedLine
{
    // The whole verdict unless fieldsDecide.
    JudgedLine verdict;
    bool fieldsDecide = false;
    bool dhcp = false;
    bool listed = false;
    bool cut = false;
    quint32 address = 0;
    // The line's own; empty text where the field's is taken.
    PlanSetting netmask;
    PlanSetting gateway;
    PlanSetting dns;
    // The device the plan leaves alone that holds the address, or empty.
    QString holder;
    // Another line's row with the same address, or 0.
    int sameAddressRow = 0;
    // The longest netmask, as a prefix length, under which this PC can still reach the address; -1 when
    // the address lies in none of its networks.
    int reachablePrefix = -1;
};

struct PlanCounts
{
    int lines = 0;
    int sent = 0;
    int unchanged = 0;
    int empty = 0;
    int notListed = 0;
    int errors = 0;
};

namespace Batch {

// Each line by the batch's own rules, against the table's rows (in table order) and the other lines; a
// line sent where this PC's networks would not reach it is warned, never refused.
QVector<PreparedLine> preparePlan(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table,
                                  const QVector<DeviceHints::Network> &networks);
// At every keystroke in a field: only what depends on the fields is judged again.
QVector<JudgedLine> judgePreparedPlan(const QVector<PreparedLine> &prepared, const PlanDefaults &defaults);
QVector<JudgedLine> judgeAddressPlan(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table,
                                     const PlanDefaults &defaults, const QVector<DeviceHints::Network> &networks);
PlanCounts planCounts(const QVector<JudgedLine> &judged);
QString planSummary(const PlanCounts &counts);
// The commands of the lines sent, in line order.
QVector<CheckedDevice> planCommands(const QVector<JudgedLine> &judged);

} // namespace Batch

#endif // BRELO_PLANJUDGE_H
