#include "tools/libcheck/libcheckcommand.h"

#include <filesystem>

// Wide arguments, so that a path in any script (a Chinese folder name) arrives whole.
int wmain(int argc, wchar_t *argv[])
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(std::filesystem::path(argv[i]).u8string());
    }
    return runLibCheck(args);
}
