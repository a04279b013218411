#include "libcheckcommand.h"

#include "compat/dllsearch.h"
#include "compat/libraryjudge.h"
#include "compat/peimage.h"
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

// Control characters never reach a line of an out-file: each line stays one line. A byte that is not
// part of UTF-8 (a name in a code page's bytes) becomes "?", the rest of the line stays.
std::string utf16Line(const std::string &line)
{
    std::u32string text;
    for (std::size_t at = 0; at < line.size();) {
        const unsigned char lead = static_cast<unsigned char>(line[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        if (!isUtf8(std::string_view(line).substr(at, length))) {
            text += U'?';
            ++at;
            continue;
        }
        char32_t point = length == 1 ? lead : lead & (0x7f >> length);
        for (std::size_t i = 1; i < length; ++i) {
            point = (point << 6) | (static_cast<unsigned char>(line[at + i]) & 0x3f);
        }
        text += point < 0x20 || point == 0x7f ? U'?' : point;
        at += length;
    }
    std::string bytes;
    const auto put = [&bytes](char16_t unit) {
        bytes += char(unit & 0xff);
        bytes += char(unit >> 8);
    };
    for (const char32_t point : text + U"\r\n") {
        if (point >= 0x10000) {
            put(char16_t(0xd800 + ((point - 0x10000) >> 10)));
            put(char16_t(0xdc00 + ((point - 0x10000) & 0x3ff)));
        } else {
            put(char16_t(point));
        }
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

// The placer's modes: their messages go to the messages-file and to standard error. The file is tried
// before the placer runs, so that one that cannot be written stops it before any change, with one of
// setup's codes; the placer's code stands once it ran.
int runPlacer(const std::function<PlacerResult()> &placer, const std::string &messagesFile, const Say &say)
{
    if (!writeUtf16Lines(messagesFile, {})) {
        say("无法写入 " + messagesFile + "。Cannot write " + messagesFile + ". "
            + "没有做任何更改。Nothing was changed.");
        return SetupNotWritten;
    }
    PlacerResult result;
    try {
        result = placer();
    } catch (const std::exception &error) {
        result.exitCode = SetupNotWritten;
        result.messages.push_back(std::string("brelo_libcheck: ") + error.what());
    }
    for (const std::string &line : result.messages) {
        say(line);
    }
    writeUtf16Lines(messagesFile, result.messages);
    return result.exitCode;
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
    return runPlacer([placement] { return placeFiles(placement); }, args[positional - 1], say);
}

} // namespace

int runLibCheck(const std::vector<std::string> &args, const Say &say)
try {
    int code = -1;
    if (args.size() == 2 && args[0].compare(0, 2, "--") != 0) {
        code = judge(args[0], args[1]);
    } else if (!args.empty() && (args[0] == "--place" || args[0] == "--check")) {
        code = place(args, say);
    } else if (args.size() == 3 && args[0] == "--remove") {
        const std::filesystem::path folder = std::filesystem::u8path(args[1]);
        code = runPlacer([folder] { return removeInstalled(folder); }, args[2], say);
    }
    if (code < 0) {
        say(Usage);
        return ExitUsage;
    }
    return code;
} catch (const std::exception &error) {
    say(std::string("brelo_libcheck: ") + error.what());
    return SetupNotWritten;
}
