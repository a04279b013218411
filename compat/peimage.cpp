#include "compat/peimage.h"

#include <algorithm>
#include <iterator>

namespace {

// Bounds against files made to look endless.
constexpr std::uint16_t MaxSections = 96;
constexpr std::uint32_t MaxImports = 4096;
constexpr std::uint32_t MaxExports = 65536;
constexpr std::uint32_t MaxResourceEntries = 4096;
// Longer names are not ones the loader would be asked for; the end of a name is looked for no further.
constexpr std::size_t MaxNameLength = 512;

constexpr std::uint16_t MachineX86 = 0x014c;
constexpr std::uint16_t MachineX64 = 0x8664;
constexpr std::uint32_t ExportDirectory = 0;
constexpr std::uint32_t ImportDirectory = 1;
constexpr std::uint32_t ResourceDirectory = 2;
constexpr std::uint32_t VersionResource = 16;
constexpr std::uint32_t FixedFileInfoSignature = 0xfeef04bd;

struct Section
{
    std::uint32_t rva = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

class Reader
{
public:
    explicit Reader(std::string_view bytes)
        : m_bytes(bytes)
    {
    }

    bool inside(std::uint64_t offset, std::uint64_t size) const
    {
        return offset <= m_bytes.size() && size <= m_bytes.size() - offset;
    }

    std::uint32_t read(std::uint64_t offset, int size) const
    {
        if (!inside(offset, std::uint64_t(size))) {
            return 0;
        }
        std::uint32_t value = 0;
        for (int i = size - 1; i >= 0; --i) {
            value = (value << 8) | std::uint8_t(m_bytes[std::size_t(offset) + i]);
        }
        return value;
    }
    std::uint16_t read16(std::uint64_t offset) const { return std::uint16_t(read(offset, 2)); }
    std::uint32_t read32(std::uint64_t offset) const { return read(offset, 4); }

    bool readHeaders();

    // Where in the file the byte at a relative virtual address lies, if a section holds it.
    std::optional<std::uint64_t> fileOffset(std::uint32_t rva) const
    {
        for (const Section &section : m_sections) {
            if (rva >= section.rva && rva - section.rva < section.rawSize) {
                return std::uint64_t(section.rawOffset) + (rva - section.rva);
            }
        }
        return std::nullopt;
    }

    std::optional<std::uint64_t> directoryOffset(std::uint32_t directory) const
    {
        if (directory >= m_directories.size() || m_directories[directory] == 0) {
            return std::nullopt;
        }
        return fileOffset(m_directories[directory]);
    }

    // The NUL-ended name at rva, empty when it is not, or not within MaxNameLength.
    std::string nameAt(std::uint32_t rva) const
    {
        const std::optional<std::uint64_t> offset = fileOffset(rva);
        if (!offset || !inside(*offset, 1)) {
            return {};
        }
        const std::string_view rest = m_bytes.substr(std::size_t(*offset), MaxNameLength + 1);
        const std::size_t end = rest.find('\0');
        return end == std::string_view::npos ? std::string() : std::string(rest.substr(0, end));
    }

    std::uint16_t machine() const { return m_machine; }

private:
    std::string_view m_bytes;
    std::uint16_t m_machine = 0;
    std::vector<std::uint32_t> m_directories; // the RVA of each data directory
    std::vector<Section> m_sections;
};

bool Reader::readHeaders()
{
    if (m_bytes.substr(0, 2) != "MZ") {
        return false;
    }
    const std::uint64_t pe = read32(0x3c);
    if (!inside(pe, 24) || m_bytes.substr(std::size_t(pe), 4) != std::string_view("PE\0\0", 4)) {
        return false;
    }
    m_machine = read16(pe + 4);
    const std::uint16_t sectionCount = std::min(read16(pe + 6), MaxSections);
    const std::uint64_t optionalSize = read16(pe + 20);
    const std::uint64_t optional = pe + 24;
    std::uint64_t directories = 0;
    switch (read16(optional)) {
    case 0x10b: // PE32
        directories = optional + 96;
        break;
    case 0x20b: // PE32+
        directories = optional + 112;
        break;
    default:
        return false;
    }
    const std::uint32_t directoryCount = std::min(read32(directories - 4), 16u);
    for (std::uint32_t i = 0; i < directoryCount && directories + 8 * (i + 1) <= optional + optionalSize; ++i) {
        m_directories.push_back(read32(directories + 8 * i));
    }
    const std::uint64_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = table + 40 * i;
        if (!inside(at, 40)) {
            return false;
        }
        m_sections.push_back({read32(at + 12), read32(at + 16), read32(at + 20)});
    }
    return true;
}

std::optional<std::vector<std::string>> importsOf(const Reader &reader)
{
    std::vector<std::string> names;
    std::optional<std::uint64_t> at = reader.directoryOffset(ImportDirectory);
    // Descriptors of 20 bytes, the name's RVA at 12, up to one that is all zero.
    for (std::uint32_t i = 0; i < MaxImports && at && reader.inside(*at, 20); ++i, *at += 20) {
        const std::uint32_t nameRva = reader.read32(*at + 12);
        if (nameRva == 0) {
            break;
        }
        std::string name = reader.nameAt(nameRva);
        if (!name.empty() && !isDllName(name)) {
            return std::nullopt;
        }
        if (!name.empty()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

std::vector<std::string> exportsOf(const Reader &reader)
{
    std::vector<std::string> names;
    const std::optional<std::uint64_t> directory = reader.directoryOffset(ExportDirectory);
    if (!directory || !reader.inside(*directory, 40)) {
        return names;
    }
    const std::uint32_t count = std::min(reader.read32(*directory + 24), MaxExports);
    const std::optional<std::uint64_t> table = reader.fileOffset(reader.read32(*directory + 32));
    for (std::uint32_t i = 0; i < count && table && reader.inside(*table + 4 * std::uint64_t(i), 4); ++i) {
        std::string name = reader.nameAt(reader.read32(*table + 4 * std::uint64_t(i)));
        if (!name.empty()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

// The version resource is found as the loader's version API finds it: type 16, its first name, its
// first language. Offsets inside the resource tree count from the tree's start, the data's is an RVA.
std::optional<std::uint64_t> fileVersionOf(const Reader &reader)
{
    const std::optional<std::uint64_t> root = reader.directoryOffset(ResourceDirectory);
    if (!root) {
        return std::nullopt;
    }
    std::uint64_t directory = *root;
    for (int level = 0; level < 3; ++level) {
        if (!reader.inside(directory, 16)) {
            return std::nullopt;
        }
        const std::uint32_t entries =
            std::min<std::uint32_t>(reader.read16(directory + 12) + reader.read16(directory + 14), MaxResourceEntries);
        std::optional<std::uint32_t> child;
        for (std::uint32_t i = 0; i < entries && !child; ++i) {
            const std::uint64_t entry = directory + 16 + 8 * std::uint64_t(i);
            if (!reader.inside(entry, 8)) {
                return std::nullopt;
            }
            if (level > 0 || reader.read32(entry) == VersionResource) {
                child = reader.read32(entry + 4);
            }
        }
        // Above the last level an entry leads to a directory (high bit set), at the last to data.
        if (!child || ((*child & 0x80000000u) != 0) != (level < 2)) {
            return std::nullopt;
        }
        directory = *root + (*child & 0x7fffffffu);
    }
    if (!reader.inside(directory, 16)) {
        return std::nullopt;
    }
    const std::optional<std::uint64_t> info = reader.fileOffset(reader.read32(directory));
    // VS_VERSIONINFO: three words, the key "VS_VERSION_INFO" in UTF-16 with its NUL, padding to 4, then
    // VS_FIXEDFILEINFO.
    const char16_t key[] = u"VS_VERSION_INFO";
    if (!info || reader.read32(directory + 4) < 40 + 52) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < std::size(key); ++i) {
        if (reader.read16(*info + 6 + 2 * i) != key[i]) {
            return std::nullopt;
        }
    }
    if (!reader.inside(*info + 40, 52) || reader.read32(*info + 40) != FixedFileInfoSignature) {
        return std::nullopt;
    }
    return (std::uint64_t(reader.read32(*info + 48)) << 32) | reader.read32(*info + 52);
}

} // namespace

PeImage readPeImage(std::string_view bytes)
{
    PeImage image;
    Reader reader(bytes);
    if (!reader.readHeaders()) {
        return image;
    }
    std::optional<std::vector<std::string>> imports = importsOf(reader);
    if (!imports) {
        image.badImport = true;
        return image;
    }
    image.bits = reader.machine() == MachineX86 ? 32 : reader.machine() == MachineX64 ? 64 : 0;
    image.imports = std::move(*imports);
    image.exports = exportsOf(reader);
    image.fileVersion = fileVersionOf(reader);
    return image;
}

bool isUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80 ? 1
            : (lead >> 5) == 6                 ? 2
            : (lead >> 4) == 14                ? 3
            : (lead >> 3) == 30                ? 4
                                               : 0;
        if (length == 0 || (length == 2 && lead < 0xc2) || at + length > text.size()) {
            return false;
        }
        const unsigned char second = length > 1 ? static_cast<unsigned char>(text[at + 1]) : 0x80;
        // Overlong forms, UTF-16 surrogates and code points beyond U+10FFFF.
        if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) || (lead == 0xf0 && second < 0x90)
            || lead > 0xf4 || (lead == 0xf4 && second > 0x8f)) {
            return false;
        }
        for (std::size_t i = 1; i < length; ++i) {
            if ((static_cast<unsigned char>(text[at + i]) & 0xc0) != 0x80) {
                return false;
            }
        }
        at += length;
    }
    return true;
}

bool isDllName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && isUtf8(name)
        && std::none_of(name.cbegin(), name.cend(), [](char c) {
               const unsigned char byte = static_cast<unsigned char>(c);
               return byte < 0x20 || byte == 0x7f || c == '/' || c == '\\' || c == ':';
           });
}
