// Reads arbitrary clipboard text as an address plan (its length picks the quote rule) and judges it
// against a small table, and checks what the window relies on: the line limit, rows in clipboard order,
// cells cut to their limit, MAC keys of twelve upper-case hex digits, one judgement per line, one
// command per line to be sent, that a plan the preview finds without error is never refused as it
// goes out, and that every command, judged again as a line of its own, is one the judge accepts. A
// slow input (a quadratic scan) fails through libFuzzer's -timeout.
#include "batch/addressplan.h"
#include "batch/checkeddevice.h"
#include "batch/planjudge.h"
#include "batch/planreader.h"
#include "hints/devicehints.h"

#include <QString>
#include <QVector>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr int MaxLines = 64;

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool isKey(const QString &key)
{
    if (key.size() != 12) {
        return false;
    }
    for (const QChar c : key) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F')))) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The whole input is the text, so that the corpus keeps its meaning.
    const PlanQuotes quotes = PlanQuotes(size % 3);
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const PlanText plan = Batch::readAddressPlan(text, MaxLines, quotes);
    check(plan.lines.size() <= MaxLines + 1);
    check(plan.tooLong == (plan.lines.size() == MaxLines + 1));
    int row = 0;
    for (const PlanLine &line : plan.lines) {
        check(line.macKey.isEmpty() || isKey(line.macKey));
        check(line.macKey == Batch::macKey(line.mac));
        check(line.row > row);
        row = line.row;
        for (const QString *cell : {&line.mac, &line.address, &line.netmask, &line.gateway, &line.dns}) {
            check(cell->size() <= MaxPlanCellLength);
        }
    }

    const QVector<DeviceAddress> table {{QStringLiteral("02:00:00:00:00:01"), QStringLiteral("192.168.1.11")},
                                        {QStringLiteral("02:00:00:00:00:02"), QStringLiteral("192.168.1.12")},
                                        {QStringLiteral("02:00:00:00:00:03"), QStringLiteral("10.0.0.3")},
                                        {QStringLiteral("02:00:00:00:00:03"), QStringLiteral("10.0.0.33")},
                                        {QStringLiteral("0A:0B:0C:0D:0E:0F"), QStringLiteral("")}};
    const QVector<JudgedLine> judged = Batch::judgeAddressPlan(
        plan.lines, table, {QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1"), QString()},
        {{0xC0A80102, 24}});
    check(judged.size() == plan.lines.size());
    const PlanCounts counts = Batch::planCounts(judged);
    const QVector<CheckedDevice> commands = Batch::planCommands(judged);
    check(commands.size() == counts.sent);
    for (const CheckedDevice &command : commands) {
        check(command.dhcp || Batch::isUsableDeviceAddress(command.address));
        check(command.dhcp == command.address.isEmpty());
        PlanLine alone {command.mac,
                        Batch::macKey(command.mac),
                        command.dhcp ? QStringLiteral("DHCP") : command.address,
                        command.netmask,
                        command.gateway,
                        command.dns};
        alone.row = 1;
        check(Batch::judgeAddressPlan({alone}, {}, {}, {}).constFirst().state == PlanState::NotListed);
    }
    if (counts.errors == 0) {
        check(Batch::sendRefusal(commands, table).isEmpty());
    }
    return 0;
}
