#include "libcheckcommand.h"

#include "compat/dllsearch.h"
#include "compat/libraryjudge.h"
#include "placer.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

constexpr int ProgramBits = int(sizeof(void *) * 8);

constexpr int ExitUsable = 0;
constexpr int ExitOtherBits = 1;
constexpr int ExitUnusable = 2;
constexpr int ExitUsage = 9;

const char Usage[] =
    "usage: brelo_libcheck <dll> <out-file>\n"
    "       brelo_libcheck --place <payload> <folder> <messages-file> [--sdk <dll>]\n"
    "                      [--previous <VendorDll> <VendorDllSize> <VendorCompanions>]\n"
    "       brelo_libcheck --check <folder> <messages-file> [--sdk <dll>]\n"
    "       brelo_libcheck --remove <folder> <messages-file>\n"
    "Files written are UTF-16LE with a BOM and CRLF line ends. The judge's exit codes: 0 usable, 1 other\n"
    "bitness, 2 unusable, 9 usage or an out-file that cannot be written; the others': setup.exe's.\n";

// Control characters never reach a line of an out-file: each line stays one line.
std::string utf16Line(std::string line)
{
    std::replace_if(
        line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '?');
    std::u16string text;
    try {
        text = std::filesystem::u8path(line).u16string();
    } catch (const std::exception &) {
        text = u"?";
    }
    std::string bytes;
    for (const char16_t unit : text + u"\r\n") {
        bytes += char(unit & 0xff);
        bytes += char(unit >> 8);
    }
    return bytes;
}

bool writeUtf16Lines(const std::string &file, const std::vector<std::string> &lines)
{
    std::string bytes = "\xff\xfe";
    for (const std::string &line : lines) {
        bytes += utf16Line(line);
    }
    std::ofstream out(std::filesystem::u8path(file), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return !out.fail();
}

int judge(const std::string &dll, const std::string &outFile)
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(std::filesystem::u8path(dll), error).parent_path();
    const DllSearch search = DllSearch::likeLoader(folder);
    const LibraryJudgement judgement = judgeLibrary(DllSearch::read(dll), dll, ProgramBits, search.lookup());

    const char *verdicts[] = {"usable", "otherbits", "unusable"};
    std::vector<std::string> lines {"verdict=" + std::string(verdicts[int(judgement.verdict)]),
                                    "bits=" + std::to_string(judgement.bits),
                                    std::string("standin=") + (judgement.standIn ? "1" : "0")};
    for (const std::string &name : judgement.companions) {
        lines.push_back("companion=" + name);
    }
    for (const std::string &name : judgement.missingImports) {
        lines.push_back("missing_import=" + name);
    }
    for (std::size_t start = 0; start < judgement.text.size();) {
        const std::size_t end = std::min(judgement.text.find('\n', start), judgement.text.size());
        lines.push_back("text=" + judgement.text.substr(start, end - start));
        start = end + 1;
    }
    if (!writeUtf16Lines(outFile, lines)) {
        return ExitUsage;
    }
    switch (judgement.verdict) {
    case LibraryVerdict::Usable:
        return ExitUsable;
    case LibraryVerdict::OtherBits:
        return ExitOtherBits;
    case LibraryVerdict::Unusable:
        break;
    }
    return ExitUnusable;
}

// The placer's modes: their messages go to the messages-file and to standard error.
int finish(const PlacerResult &result, const std::string &messagesFile, const Say &say)
{
    for (const std::string &line : result.messages) {
        say(line);
    }
    return writeUtf16Lines(messagesFile, result.messages) ? result.exitCode : ExitUsage;
}

PreviousVendorRecord previousRecord(const std::string &copied, const std::string &size, const std::string &companions)
{
    PreviousVendorRecord record;
    record.copied = copied == "1";
    record.librarySize = std::strtoull(size.c_str(), nullptr, 10);
    for (std::size_t start = 0; start < companions.size();) {
        const std::size_t end = std::min(companions.find('|', start), companions.size());
        if (end > start) {
            record.companions.push_back(companions.substr(start, end - start));
        }
        start = end + 1;
    }
    return record;
}

int place(const std::vector<std::string> &args, const Say &say)
{
    Placement placement;
    const bool check = args[0] == "--check";
    const std::size_t positional = check ? 3 : 4;
    if (args.size() < positional) {
        return -1;
    }
    placement.payload = check ? std::filesystem::path() : std::filesystem::u8path(args[1]);
    placement.folder = std::filesystem::u8path(args[positional - 2]);
    for (std::size_t i = positional; i < args.size(); ++i) {
        if (args[i] == "--sdk" && i + 1 < args.size()) {
            placement.library = std::filesystem::u8path(args[++i]);
        } else if (args[i] == "--previous" && !check && i + 3 < args.size()) {
            placement.previous = previousRecord(args[i + 1], args[i + 2], args[i + 3]);
            i += 3;
        } else {
            return -1;
        }
    }
    return finish(placeFiles(placement), args[positional - 1], say);
}

} // namespace

int runLibCheck(const std::vector<std::string> &args, const Say &say)
{
    int code = -1;
    if (args.size() == 2 && args[0].compare(0, 2, "--") != 0) {
        code = judge(args[0], args[1]);
    } else if (!args.empty() && (args[0] == "--place" || args[0] == "--check")) {
        code = place(args, say);
    } else if (args.size() == 3 && args[0] == "--remove") {
        code = finish(removeInstalled(std::filesystem::u8path(args[1])), args[2], say);
    }
    if (code < 0) {
        say(Usage);
        return ExitUsage;
    }
    return code;
}
