#ifndef BRELO_LIBRARYJUDGE_H
#define BRELO_LIBRARYJUDGE_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Whether a VSDevNetSDK.dll can be used by the program, and the words that say why not. The one
// judge: the program's start-up check and brelo_libcheck (which the installer runs) both call it.
// Texts are UTF-8.

enum class LibraryVerdict {
    Usable, // imports found nowhere do not count here: they may be installed later
    OtherBits,
    Unusable,
};

// Where the loader would find a DLL named without a folder.
struct FoundDll
{
    enum Place {
        Nowhere,
        Beside, // in the first folder the loader looks in, where the library's companions go
        Windows, // Windows' own: not read further
        Elsewhere,
    };
    Place place = Nowhere;
    std::string path;
};

// How the judge reaches the files around the library (DllSearch gives the loader's way).
struct DllLookup
{
    std::function<FoundDll(const std::string &name)> find;
    std::function<std::optional<std::string>(const std::string &path)> read;
};

struct LibraryJudgement
{
    LibraryVerdict verdict = LibraryVerdict::Unusable;
    int bits = 0;
    bool standIn = false;
    std::vector<std::string> absentFunctions;
    // The DLLs it needs, itself or through them, found beside it and not Windows' own.
    std::vector<std::string> companions;
    std::vector<std::string> missingImports;
    // Lines joined by '\n'; empty when usable with nothing missing.
    std::string text;
};

// image holds the library's bytes, none when it could not be read; shown is its path in the text.
LibraryJudgement judgeLibrary(const std::optional<std::string> &image, const std::string &shown, int programBits,
                              const DllLookup &lookup);

std::string libraryNotFoundText(const std::string &folder);
std::string absentFunctionsText(const std::string &shown, const std::vector<std::string> &absent);
std::string loadFailedText(const std::string &shown, const std::string &reason);

#endif // BRELO_LIBRARYJUDGE_H
