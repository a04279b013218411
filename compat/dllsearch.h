#ifndef BRELO_DLLSEARCH_H
#define BRELO_DLLSEARCH_H

#include "compat/libraryjudge.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Finds DLLs named without a folder as the Windows loader does, for the judge. Paths are UTF-8.
class DllSearch
{
public:
    // folders in the order looked in, the first the one beside; DLLs under windowsFolder are Windows' own.
    DllSearch(std::vector<std::filesystem::path> folders, std::filesystem::path windowsFolder);

    // The loader's order for a program in first: first, the system folders, the Windows folder, the
    // current folder, then PATH (a file per platform).
    static DllSearch likeLoader(const std::filesystem::path &first);

    FoundDll find(const std::string &name) const;
    // None when the file cannot be read, or is too large to be a DLL.
    static std::optional<std::string> read(const std::string &path);
    DllLookup lookup() const;

private:
    std::vector<std::filesystem::path> m_folders;
    std::string m_windowsPrefix; // lower case, ending in '/'; empty when unknown
};

#endif // BRELO_DLLSEARCH_H
