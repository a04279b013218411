#include "libcheckcommand.h"

#include "compat/dllsearch.h"
#include "compat/libraryjudge.h"
#include "sha256.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

constexpr int ProgramBits = int(sizeof(void *) * 8);

constexpr int ExitUsable = 0;
constexpr int ExitOtherBits = 1;
constexpr int ExitUnusable = 2;
constexpr int ExitUnreadable = 3;
constexpr int ExitUsage = 9;

const char Usage[] = "usage: brelo_libcheck <dll> <out-file>\n"
                     "       brelo_libcheck --record <folder> <list-file> <manifest-file>\n"
                     "       brelo_libcheck --unchanged <folder> <manifest-file> <out-file>\n"
                     "Out-files are UTF-16LE with a BOM and CRLF line ends, one key=value a line.\n"
                     "Exit codes: 0 usable, 1 other bitness, 2 unusable, 3 a listed file unreadable, 9 usage\n"
                     "or an output that cannot be written.\n";

void appendUtf16(std::string &out, std::uint32_t unit)
{
    out += char(unit & 0xff);
    out += char(unit >> 8);
}

// Invalid UTF-8 becomes U+FFFD, so that a line is never lost whole.
std::string utf8ToUtf16le(const std::string &text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        std::uint32_t point = length == 1 ? lead : length == 2 ? lead & 0x1f : length == 3 ? lead & 0x0f : lead & 0x07;
        bool valid = length > 0 && i + length <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            valid = (next >> 6) == 2;
            point = (point << 6) | (next & 0x3f);
        }
        if (!valid) {
            appendUtf16(out, 0xfffd);
            ++i;
            continue;
        }
        i += length;
        if (point >= 0x10000) {
            point -= 0x10000;
            appendUtf16(out, 0xd800 + (point >> 10));
            appendUtf16(out, 0xdc00 + (point & 0x3ff));
        } else {
            appendUtf16(out, point);
        }
    }
    return out;
}

std::string utf16leToUtf8(const std::string &bytes)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t point = std::uint8_t(bytes[i]) | (std::uint32_t(std::uint8_t(bytes[i + 1])) << 8);
        if (point >= 0xd800 && point < 0xdc00 && i + 3 < bytes.size()) {
            const std::uint32_t low = std::uint8_t(bytes[i + 2]) | (std::uint32_t(std::uint8_t(bytes[i + 3])) << 8);
            if (low >= 0xdc00 && low < 0xe000) {
                point = 0x10000 + ((point - 0xd800) << 10) + (low - 0xdc00);
                i += 2;
            }
        }
        if (point < 0x80) {
            out += char(point);
        } else if (point < 0x800) {
            out += char(0xc0 | (point >> 6));
            out += char(0x80 | (point & 0x3f));
        } else if (point < 0x10000) {
            out += char(0xe0 | (point >> 12));
            out += char(0x80 | ((point >> 6) & 0x3f));
            out += char(0x80 | (point & 0x3f));
        } else {
            out += char(0xf0 | (point >> 18));
            out += char(0x80 | ((point >> 12) & 0x3f));
            out += char(0x80 | ((point >> 6) & 0x3f));
            out += char(0x80 | (point & 0x3f));
        }
    }
    return out;
}

std::filesystem::path pathOf(const std::string &utf8)
{
    return std::filesystem::u8path(utf8);
}

// A file's lines as UTF-8, from UTF-16LE with its BOM or from UTF-8; empty lines left out.
std::optional<std::vector<std::string>> readLines(const std::string &file)
{
    std::ifstream in(pathOf(file), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    if (text.compare(0, 2, "\xff\xfe") == 0) {
        text = utf16leToUtf8(text.substr(2));
    } else if (text.compare(0, 3, "\xef\xbb\xbf") == 0) {
        text.erase(0, 3);
    }
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
        start = end + 1;
    }
    return lines;
}

bool writeFile(const std::string &file, const std::string &bytes)
{
    std::ofstream out(pathOf(file), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return !out.fail();
}

bool writeUtf16Lines(const std::string &file, const std::vector<std::string> &lines)
{
    std::string bytes = "\xff\xfe";
    for (const std::string &line : lines) {
        bytes += utf8ToUtf16le(line + "\r\n");
    }
    return writeFile(file, bytes);
}

// A listed path below the folder; the installer writes them with backslashes.
std::filesystem::path listedFile(const std::string &folder, std::string relative)
{
    for (char &c : relative) {
        c = c == '\\' ? '/' : c;
    }
    return pathOf(folder) / pathOf(relative);
}

std::optional<std::string> hashFile(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    Sha256 sha;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        sha.add(std::string_view(buffer, std::size_t(in.gcount())));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return sha.hexDigest();
}

int judge(const std::string &dll, const std::string &outFile)
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(pathOf(dll), error).parent_path();
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

int record(const std::string &folder, const std::string &listFile, const std::string &manifestFile)
{
    const std::optional<std::vector<std::string>> list = readLines(listFile);
    if (!list) {
        return ExitUsage;
    }
    std::string manifest;
    bool allRead = true;
    for (const std::string &relative : *list) {
        const std::optional<std::string> hash = hashFile(listedFile(folder, relative));
        if (hash) {
            manifest += *hash + "  " + relative + "\r\n";
        }
        allRead = allRead && hash;
    }
    if (!writeFile(manifestFile, manifest)) {
        return ExitUsage;
    }
    return allRead ? ExitUsable : ExitUnreadable;
}

int unchanged(const std::string &folder, const std::string &manifestFile, const std::string &outFile)
{
    const std::optional<std::vector<std::string>> manifest = readLines(manifestFile);
    if (!manifest) {
        return ExitUsage;
    }
    std::vector<std::string> lines;
    for (const std::string &entry : *manifest) {
        // A line not of the manifest's form names no file that may be taken for unchanged.
        if (entry.size() < 67 || entry.compare(64, 2, "  ") != 0) {
            continue;
        }
        const std::string relative = entry.substr(66);
        const std::filesystem::path file = listedFile(folder, relative);
        std::error_code error;
        if (!std::filesystem::exists(file, error) && !error) {
            lines.push_back("gone=" + relative);
        } else {
            lines.push_back((hashFile(file) == entry.substr(0, 64) ? "same=" : "changed=") + relative);
        }
    }
    return writeUtf16Lines(outFile, lines) ? ExitUsable : ExitUsage;
}

} // namespace

int runLibCheck(const std::vector<std::string> &args)
{
    if (args.size() == 2 && args[0].compare(0, 2, "--") != 0) {
        return judge(args[0], args[1]);
    }
    if (args.size() == 4 && args[0] == "--record") {
        return record(args[1], args[2], args[3]);
    }
    if (args.size() == 4 && args[0] == "--unchanged") {
        return unchanged(args[1], args[2], args[3]);
    }
    std::fputs(Usage, stderr);
    return ExitUsage;
}
