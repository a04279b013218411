#ifndef BRELO_PEIMAGE_H
#define BRELO_PEIMAGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the Windows loader reads of a PE file (an .exe or a .dll), from the file's bytes. Bytes that
// are no PE image, or tables that reach outside them, give 0 or empty lists; every walk is bounded,
// so a crafted file costs little more than its size.
struct PeImage
{
    int bits = 0; // 32 for an x86 image, 64 for an x64 one, 0 for anything else
    // The DLL names of the import table, as written there. Delayed imports are left out: the loader
    // does not need them to load the image.
    std::vector<std::string> imports;
    std::vector<std::string> exports;
    // FILEVERSION of the version resource, its four parts from the most significant one.
    std::optional<std::uint64_t> fileVersion;
    // Why an image with valid headers reads as none: its import table names something that is no DLL name.
    bool badImport = false;
};

// An image whose import table names something that is no DLL name is malformed: it reads as no PE
// image at all, so that no such name is ever looked up or passed on.
PeImage readPeImage(std::string_view bytes);

// Whether the loader could look for name as a file beside a program: no folder, drive, stream or
// control character in it, and UTF-8, the only encoding a path is made from on every system (a name in
// a code page's bytes would throw where the path is made on Windows).
bool isDllName(std::string_view name);
bool isUtf8(std::string_view text);

#endif // BRELO_PEIMAGE_H
