#ifndef BRELO_DURABLEFILE_H
#define BRELO_DURABLEFILE_H

#include <filesystem>
#include <string_view>
#include <system_error>

// The installer's file operations, a file per platform. Failures come as std::errc conditions, so that the
// placer names the cause: no_space_on_device, device_or_resource_busy (held open), permission_denied.

// Writes bytes as the whole file and has the system put them on the disk before it returns, so that a
// power cut after a rename leaves the old file or the whole new one.
std::error_code writeDurably(const std::filesystem::path &file, std::string_view bytes);
// Renames from over to, written through to the disk; a read-only attribute on to (a file of ours) is
// cleared first, since Windows refuses to replace such a file.
std::error_code renameOver(const std::filesystem::path &from, const std::filesystem::path &to);
std::error_code removeFile(const std::filesystem::path &file);
// Whether file could be renamed or deleted now, asked without changing it: on Windows it is opened for
// delete access, which a program holding it open without sharing denies; elsewhere nothing can hold it.
std::error_code probeRename(const std::filesystem::path &file);
// A symbolic link or a junction, never followed by a write or a removal.
bool isLink(const std::filesystem::path &path);

#endif // BRELO_DURABLEFILE_H
