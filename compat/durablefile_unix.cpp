#include "compat/durablefile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

} // namespace

std::error_code writeDurably(const std::filesystem::path &file, std::string_view bytes)
{
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (descriptor < 0) {
        return lastError();
    }
    std::error_code error;
    for (std::size_t at = 0; at < bytes.size() && !error;) {
        const ssize_t written = ::write(descriptor, bytes.data() + at, bytes.size() - at);
        if (written < 0 && errno != EINTR) {
            error = lastError();
        }
        at += written > 0 ? std::size_t(written) : 0;
    }
    if (!error && ::fsync(descriptor) != 0) {
        error = lastError();
    }
    if (::close(descriptor) != 0 && !error) {
        error = lastError();
    }
    return error;
}

std::error_code renameOver(const std::filesystem::path &from, const std::filesystem::path &to)
{
    return std::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : lastError();
}

std::error_code removeFile(const std::filesystem::path &file)
{
    return ::unlink(file.c_str()) == 0 ? std::error_code() : lastError();
}

std::error_code probeRename(const std::filesystem::path &)
{
    return {};
}

bool isLink(const std::filesystem::path &path)
{
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}
