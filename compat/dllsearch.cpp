#include "compat/dllsearch.h"

#include "compat/peimage.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>

namespace {

// Far beyond any DLL; keeps a crafted or mistaken path from exhausting a 32-bit process.
constexpr std::uintmax_t MaxFileBytes = 256 * 1024 * 1024;

// Windows' file names ignore case.
std::string lowerGeneric(const std::filesystem::path &path)
{
    std::string text = path.generic_u8string();
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

DllSearch::DllSearch(std::vector<std::filesystem::path> folders, std::filesystem::path windowsFolder)
    : m_folders(std::move(folders))
{
    if (!windowsFolder.empty()) {
        m_windowsPrefix = lowerGeneric(windowsFolder);
        if (m_windowsPrefix.back() != '/') {
            m_windowsPrefix += '/';
        }
    }
}

FoundDll DllSearch::find(const std::string &name) const
{
    if (!isDllName(name)) {
        return {};
    }
    for (std::size_t i = 0; i < m_folders.size(); ++i) {
        if (m_folders[i].empty()) {
            continue;
        }
        const std::filesystem::path file = m_folders[i] / std::filesystem::u8path(name);
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) {
            continue;
        }
        FoundDll found;
        found.path = file.u8string();
        if (!m_windowsPrefix.empty() && lowerGeneric(file).compare(0, m_windowsPrefix.size(), m_windowsPrefix) == 0) {
            found.place = FoundDll::Windows;
        } else {
            found.place = i == 0 ? FoundDll::Beside : FoundDll::Elsewhere;
        }
        return found;
    }
    return {};
}

std::optional<std::string> DllSearch::read(const std::string &path)
{
    std::error_code error;
    const std::filesystem::path file = std::filesystem::u8path(path);
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > MaxFileBytes) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || !in.is_open()) {
        return std::nullopt;
    }
    return bytes;
}

DllLookup DllSearch::lookup() const
{
    return {[this](const std::string &name) { return find(name); }, &DllSearch::read};
}
