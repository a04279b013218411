#include "compat/durablefile.h"

#include <fcntl.h>
#include <unistd.h>

bool flushToDisk(const std::filesystem::path &file)
{
    const int descriptor = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    const bool flushed = ::fsync(descriptor) == 0;
    return ::close(descriptor) == 0 && flushed;
}
