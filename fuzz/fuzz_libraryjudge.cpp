// Feeds arbitrary files to the judge of a VSDevNetSDK.dll and its PE reader, and checks what they
// promise: names within their bounds and no import that is no DLL name (each control character is
// also planted in one), and a text exactly when something is wrong. Every import whose
// name has an even length is found beside it as the same file, so the walk through imports meets
// itself and must still end. A slow input (an unbounded scan) fails through libFuzzer's -timeout.
#include "compat/libraryjudge.h"
#include "compat/peimage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void checkNames(const std::vector<std::string> &names, std::size_t maxCount)
{
    check(names.size() <= maxCount);
    for (const std::string &name : names) {
        check(!name.empty() && name.size() <= 512 && name.find('\0') == std::string::npos);
    }
}

// Every character that no DLL name holds, planted in the first import's name: none reaches a list.
void checkPlantedImports(const std::string &bytes, const PeImage &image)
{
    const std::size_t at = image.imports.empty() ? std::string::npos : bytes.find(image.imports.front() + '\0');
    if (at == std::string::npos) {
        return;
    }
    for (int c = 1; c < 0x80; ++c) {
        if (c >= 0x20 && c != 0x7f && c != '/' && c != '\\' && c != ':') {
            continue;
        }
        std::string planted = bytes;
        planted[at + image.imports.front().size() / 2] = char(c);
        for (const std::string &name : readPeImage(planted).imports) {
            check(isDllName(name));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    const PeImage image = readPeImage(bytes);
    check(image.bits == 0 || image.bits == 32 || image.bits == 64);
    checkNames(image.imports, 4096);
    checkNames(image.exports, 65536);
    for (const std::string &name : image.imports) {
        check(isDllName(name));
    }
    checkPlantedImports(bytes, image);

    const DllLookup lookup {[](const std::string &name) {
                                return name.size() % 2 == 0 ? FoundDll {FoundDll::Beside, name} : FoundDll();
                            },
                            [&bytes](const std::string &) { return std::optional<std::string>(bytes); }};
    for (const int programBits : {32, 64}) {
        const LibraryJudgement judgement = judgeLibrary(bytes, "VSDevNetSDK.dll", programBits, lookup);
        check(judgement.bits == image.bits);
        check(judgement.text.empty()
              == (judgement.verdict == LibraryVerdict::Usable && judgement.missingImports.empty()));
        check((judgement.verdict == LibraryVerdict::OtherBits) == (image.bits != 0 && image.bits != programBits));
        checkNames(judgement.missingImports, 4096);
    }
    return 0;
}
