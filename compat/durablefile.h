#ifndef BRELO_DURABLEFILE_H
#define BRELO_DURABLEFILE_H

#include <filesystem>

// Asks the system to put a written file's bytes on the disk before it is renamed into place, so that
// a power cut leaves the old file or the whole new one (a file per platform).
bool flushToDisk(const std::filesystem::path &file);

#endif // BRELO_DURABLEFILE_H
