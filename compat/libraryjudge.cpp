#include "compat/libraryjudge.h"

#include "compat/peimage.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <set>

namespace {

const char *const Functions[] = {"vsnet_init", "vsnet_uninit", "vsnet_search", "vsnet_send_json_msg"};
// FILEVERSION 0.0.9999.1 of sdk/vsdevnetsdk.rc.in: the stand-in's mark, nothing else about it counts.
constexpr std::uint64_t StandInFileVersion = (std::uint64_t(9999) << 16) | 1;
// Bound the walk through the imports of imports, which looks in every folder for each name.
constexpr int MaxFilesRead = 64;
constexpr std::size_t MaxNamesLookedUp = 4096;
// A crafted file may name thousands; a box shows the first few and the count.
constexpr std::size_t MaxNamesShown = 8;

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string nameList(const std::vector<std::string> &names)
{
    std::string list;
    for (std::size_t i = 0; i < names.size() && i < MaxNamesShown; ++i) {
        list += (i > 0 ? ", " : "") + names[i];
    }
    if (names.size() > MaxNamesShown) {
        list += " 等 " + std::to_string(names.size()) + " 个";
    }
    return list;
}

// API sets are names the loader maps to system DLLs, not files of their own.
bool isApiSet(const std::string &name)
{
    const std::string lowered = lower(name);
    return startsWith(lowered, "api-ms-") || startsWith(lowered, "ext-ms-");
}

// A stdcall function keeps its argument size in its name (_vsnet_init@0 from MSVC, vsnet_init@0
// from MinGW), so a cdecl caller finds none of the four.
bool exportsStdcall(const std::vector<std::string> &exports)
{
    return std::any_of(exports.cbegin(), exports.cend(), [](const std::string &name) {
        return std::any_of(std::begin(Functions), std::end(Functions), [&name](const char *function) {
            const std::string decorated = std::string(function) + '@';
            return startsWith(name, decorated) || startsWith(name, '_' + decorated);
        });
    });
}

void walkImports(const PeImage &image, const DllLookup &lookup, LibraryJudgement *judgement)
{
    std::set<std::string> seen;
    std::deque<std::vector<std::string>> toCheck {image.imports};
    for (int read = 0; !toCheck.empty();) {
        const std::vector<std::string> imports = std::move(toCheck.front());
        toCheck.pop_front();
        for (const std::string &name : imports) {
            if (isApiSet(name) || seen.size() >= MaxNamesLookedUp || !seen.insert(lower(name)).second) {
                continue;
            }
            const FoundDll found = lookup.find(name);
            if (found.place == FoundDll::Nowhere) {
                judgement->missingImports.push_back(name);
                continue;
            }
            if (found.place == FoundDll::Beside) {
                judgement->companions.push_back(name);
            }
            if (found.place != FoundDll::Windows && read < MaxFilesRead) {
                ++read;
                if (const std::optional<std::string> bytes = lookup.read(found.path)) {
                    toCheck.push_back(readPeImage(*bytes).imports);
                }
            }
        }
    }
}

} // namespace

LibraryJudgement judgeLibrary(const std::optional<std::string> &image, const std::string &shown, int programBits,
                              const DllLookup &lookup)
{
    LibraryJudgement judgement;
    if (!image) {
        judgement.text = "无法读取设备库 " + shown + "。";
        return judgement;
    }
    const PeImage pe = readPeImage(*image);
    judgement.bits = pe.bits;
    judgement.standIn = pe.fileVersion == StandInFileVersion;
    if (pe.badImport) {
        // Such a name (not UTF-8, or a path) can be neither looked up nor shown.
        judgement.text =
            "设备库 " + shown + " 依赖的一个文件的名称无法读取 (不是 UTF-8 编码, 或者含有路径), 无法使用。";
        return judgement;
    }
    if (pe.bits == 0) {
        judgement.text = "设备库 " + shown + " 不是 32 位或 64 位的 Windows DLL, 无法使用。";
        return judgement;
    }
    for (const char *function : Functions) {
        if (std::find(pe.exports.cbegin(), pe.exports.cend(), function) == pe.exports.cend()) {
            judgement.absentFunctions.emplace_back(function);
        }
    }
    if (pe.bits != programBits) {
        const std::string bits = std::to_string(pe.bits);
        judgement.verdict = LibraryVerdict::OtherBits;
        judgement.text = "设备库 " + shown + " 是 " + bits + " 位的, 本程序是 " + std::to_string(programBits)
            + " 位的。请改用 Brelo_Tool 的 " + bits + " 位版本 (win" + bits + ")。";
        return judgement;
    }
    walkImports(pe, lookup, &judgement);
    if (!judgement.absentFunctions.empty()) {
        judgement.text = absentFunctionsText(shown, judgement.absentFunctions);
        if (exportsStdcall(pe.exports)) {
            judgement.text += "\n该库按 stdcall 约定导出函数, 本程序需要 cdecl 约定的设备库。";
        }
        return judgement;
    }
    judgement.verdict = LibraryVerdict::Usable;
    if (!judgement.missingImports.empty()) {
        judgement.text = "设备库 " + shown + " 依赖的 " + nameList(judgement.missingImports)
            + " 找不到。请安装设备厂商要求的运行库, 或把这些文件放到本程序所在的文件夹。";
    }
    return judgement;
}

std::string libraryNotFoundText(const std::string &folder)
{
    return "在 " + folder
        + " 找不到设备库 VSDevNetSDK.dll。请把设备厂商提供的 VSDevNetSDK.dll 放到本程序所在的文件夹。";
}

std::string absentFunctionsText(const std::string &shown, const std::vector<std::string> &absent)
{
    return "设备库 " + shown + " 缺少函数 " + nameList(absent) + ", 无法使用。";
}

std::string loadFailedText(const std::string &shown, const std::string &reason)
{
    return "无法加载设备库 " + shown + ": " + reason;
}
