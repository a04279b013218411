#include "compat/dllsearch.h"

#include <algorithm>
#include <cstdlib>

namespace {

std::wstring variable(const wchar_t *name)
{
    const wchar_t *value = _wgetenv(name);
    return value ? value : L"";
}

} // namespace

// A 32-bit program on 64-bit Windows opening System32 is sent to its 32-bit twin, as the loader is.
DllSearch DllSearch::likeLoader(const std::filesystem::path &first)
{
    std::vector<std::filesystem::path> folders {first};
    const std::filesystem::path windows = variable(L"SystemRoot");
    if (!windows.empty()) {
        folders.insert(folders.end(), {windows / L"System32", windows / L"System", windows});
    }
    std::error_code error;
    folders.push_back(std::filesystem::current_path(error));
    const std::wstring path = variable(L"PATH");
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find(L';', start), path.size());
        std::wstring folder = path.substr(start, end - start);
        folder.erase(std::remove(folder.begin(), folder.end(), L'"'), folder.end());
        folders.emplace_back(folder);
        start = end + 1;
    }
    return DllSearch(std::move(folders), windows);
}
