#ifndef BRELO_TESTS_PEBUILDER_H
#define BRELO_TESTS_PEBUILDER_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a built test image holds. The tables are the few fields the reader looks at, in one section.
struct PeLayout
{
    int bits = 64;
    std::vector<std::string> exports;
    std::vector<std::string> imports;
    std::optional<std::array<std::uint16_t, 4>> fileVersion; // FILEVERSION a,b,c,d
    // Crafted images: counts the headers claim beyond what is there, and export names that all point
    // at one run of this many non-NUL bytes ending the file.
    std::optional<std::uint16_t> sectionCount;
    std::optional<std::uint32_t> exportCount;
    std::size_t unterminatedTail = 0;
};

// The bytes of a PE image (a DLL) made from layout.
inline std::string buildPe(const PeLayout &layout)
{
    constexpr std::uint32_t SectionRva = 0x1000;
    constexpr std::size_t SectionOffset = 0x400;
    std::string data; // the section's bytes
    const auto put = [](std::string &to, std::size_t at, std::uint64_t value, int size) {
        if (to.size() < at + size) {
            to.resize(at + size, '\0');
        }
        for (int i = 0; i < size; ++i) {
            to[at + i] = char((value >> (8 * i)) & 0xff);
        }
    };
    const auto append = [&data](const std::string &bytes) {
        const std::size_t at = data.size();
        data += bytes;
        data.resize((data.size() + 3) & ~std::size_t(3), '\0');
        return std::uint32_t(SectionRva + at);
    };
    const auto cstring = [](const std::string &text) { return text + std::string(1, '\0'); };

    std::uint32_t exportRva = 0;
    std::uint32_t craftedTableRva = 0;
    std::uint32_t importRva = 0;
    std::uint32_t resourceRva = 0;
    if (!layout.exports.empty() || layout.exportCount || layout.unterminatedTail > 0) {
        std::vector<std::uint32_t> names;
        for (const std::string &name : layout.exports) {
            names.push_back(append(cstring(name)));
        }
        const std::size_t count = layout.unterminatedTail > 0 ? layout.exportCount.value_or(0) : names.size();
        std::string table(4 * count, '\0');
        const std::uint32_t tableRva = append(table);
        exportRva = append(std::string(40, '\0'));
        put(data, exportRva - SectionRva + 24, layout.exportCount.value_or(std::uint32_t(count)), 4);
        put(data, exportRva - SectionRva + 32, tableRva, 4);
        for (std::size_t i = 0; i < names.size(); ++i) {
            put(data, tableRva - SectionRva + 4 * i, names[i], 4);
        }
        craftedTableRva = layout.unterminatedTail > 0 ? tableRva : 0;
    }
    if (!layout.imports.empty()) {
        std::vector<std::uint32_t> names;
        for (const std::string &name : layout.imports) {
            names.push_back(append(cstring(name)));
        }
        importRva = append(std::string(20 * (names.size() + 1), '\0'));
        for (std::size_t i = 0; i < names.size(); ++i) {
            put(data, importRva - SectionRva + 20 * i + 12, names[i], 4);
        }
    }
    if (layout.fileVersion) {
        // Type 16 (RT_VERSION), name 1, language 0x804, each a directory of one entry, then the data.
        resourceRva = append(std::string(3 * 24 + 16, '\0'));
        const std::size_t root = resourceRva - SectionRva;
        for (int level = 0; level < 3; ++level) {
            const std::size_t at = root + 24 * level;
            put(data, at + 14, 1, 2);
            put(data, at + 16, level == 0 ? 16 : level == 1 ? 1 : 0x804, 4);
            put(data, at + 20, level < 2 ? (0x80000000u | (24 * (level + 1))) : 72, 4);
        }
        std::string info;
        put(info, 2, 52, 2);
        const std::string key = "VS_VERSION_INFO";
        for (std::size_t i = 0; i < key.size(); ++i) {
            put(info, 6 + 2 * i, std::uint8_t(key[i]), 2);
        }
        const auto &v = *layout.fileVersion;
        put(info, 40, 0xfeef04bd, 4);
        put(info, 44, 0x10000, 4);
        put(info, 48, (std::uint32_t(v[0]) << 16) | v[1], 4);
        put(info, 52, (std::uint32_t(v[2]) << 16) | v[3], 4);
        put(info, 40 + 52 - 1, 0, 1);
        put(info, 0, info.size(), 2);
        const std::uint32_t infoRva = append(info);
        put(data, root + 72, infoRva, 4);
        put(data, root + 76, info.size(), 4);
    }
    if (craftedTableRva != 0) {
        const std::uint32_t tailRva = std::uint32_t(SectionRva + data.size());
        for (std::uint32_t i = 0; i < layout.exportCount.value_or(0); ++i) {
            put(data, craftedTableRva - SectionRva + 4 * i, tailRva, 4);
        }
        data.append(layout.unterminatedTail, 'A');
    }

    const bool pe32 = layout.bits == 32;
    const std::size_t optionalSize = pe32 ? 224 : 240;
    std::string image(SectionOffset, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    put(image, 0x3c, 0x80, 4);
    image.replace(0x80, 4, std::string("PE\0\0", 4));
    put(image, 0x84, layout.bits == 32 ? 0x014c : layout.bits == 64 ? 0x8664 : 0xaa64, 2);
    put(image, 0x86, layout.sectionCount.value_or(1), 2);
    put(image, 0x94, optionalSize, 2);
    put(image, 0x96, 0x2022, 2); // an executable DLL
    const std::size_t optional = 0x98;
    put(image, optional, pe32 ? 0x10b : 0x20b, 2);
    const std::size_t directories = optional + (pe32 ? 96 : 112);
    put(image, directories - 4, 16, 4);
    put(image, directories, exportRva, 4);
    put(image, directories + 8, importRva, 4);
    put(image, directories + 16, resourceRva, 4);
    const std::size_t section = optional + optionalSize;
    image.replace(section, 5, ".data");
    put(image, section + 8, data.size(), 4);
    put(image, section + 12, SectionRva, 4);
    put(image, section + 16, data.size(), 4);
    put(image, section + 20, SectionOffset, 4);
    return image + data;
}

#endif // BRELO_TESTS_PEBUILDER_H
