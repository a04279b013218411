#ifndef BRELO_PLANJUDGE_H
#define BRELO_PLANJUDGE_H

#include <QString>
#include <QVector>

#include "batch/checkeddevice.h"

struct DeviceAddress;
struct PlanLine;

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
    // no netmask or gateway. As pasted where it cannot be read.
    QString address;
    QString netmask;
    QString gateway;
    QString dns;
    // The reason of an error, the state, or a warning that does not stop the send.
    QString note;
};

// The dialog's fields, for the lines that give no netmask, gateway or DNS of their own.
struct PlanDefaults
{
    QString netmask;
    QString gateway;
    QString dns;
};

struct PlanCounts
{
    int lines = 0;
    int sent = 0;
    int notListed = 0;
    int errors = 0;
};

// Each line by the batch's own rules, against the table's rows (in table order) and the other lines.
QVector<JudgedLine> judgeAddressPlan(const QVector<PlanLine> &lines, const QVector<DeviceAddress> &table,
                                     const PlanDefaults &defaults);
PlanCounts planCounts(const QVector<JudgedLine> &judged);
QString planSummary(const PlanCounts &counts);
// The commands of the lines sent, in line order.
QVector<CheckedDevice> planCommands(const QVector<JudgedLine> &judged);

#endif // BRELO_PLANJUDGE_H
