#include "compat/dllsearch.h"

#include <algorithm>
#include <cstdlib>

// No system folders: on Linux the search serves brelo_libcheck's tests.
DllSearch DllSearch::likeLoader(const std::filesystem::path &first)
{
    std::vector<std::filesystem::path> folders {first};
    std::error_code error;
    folders.push_back(std::filesystem::current_path(error));
    const char *variable = std::getenv("PATH");
    const std::string path = variable ? variable : "";
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find(':', start), path.size());
        folders.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return DllSearch(std::move(folders), {});
}
