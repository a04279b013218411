#include "compat/durablefile.h"

#include <windows.h>

namespace {

std::error_code lastError()
{
    switch (GetLastError()) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
        return std::make_error_code(std::errc::device_or_resource_busy);
    case ERROR_ACCESS_DENIED:
        return std::make_error_code(std::errc::permission_denied);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return std::make_error_code(std::errc::no_such_file_or_directory);
    default:
        return std::make_error_code(std::errc::io_error);
    }
}

void clearReadOnly(const std::filesystem::path &file)
{
    const DWORD attributes = GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(file.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    }
}

} // namespace

std::error_code writeDurably(const std::filesystem::path &file, std::string_view bytes)
{
    const HANDLE handle =
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    std::error_code error;
    for (std::size_t at = 0; at < bytes.size() && !error;) {
        DWORD written = 0;
        const DWORD piece = DWORD(std::min<std::size_t>(bytes.size() - at, 1 << 20));
        if (!WriteFile(handle, bytes.data() + at, piece, &written, nullptr)) {
            error = lastError();
        }
        at += written;
    }
    if (!error && !FlushFileBuffers(handle)) {
        error = lastError();
    }
    if (!CloseHandle(handle) && !error) {
        error = lastError();
    }
    return error;
}

std::error_code renameOver(const std::filesystem::path &from, const std::filesystem::path &to)
{
    clearReadOnly(to);
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? std::error_code()
                                                                                                     : lastError();
}

std::error_code removeFile(const std::filesystem::path &file)
{
    clearReadOnly(file);
    return DeleteFileW(file.c_str()) ? std::error_code() : lastError();
}

std::error_code probeRename(const std::filesystem::path &file)
{
    const HANDLE handle =
        CreateFileW(file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return lastError();
    }
    CloseHandle(handle);
    return {};
}

bool isLink(const std::filesystem::path &path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}
