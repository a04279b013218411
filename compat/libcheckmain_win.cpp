#include "tools/libcheck/libcheckcommand.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>

namespace {

// A console shows UTF-16 whatever its code page; a pipe or a file gets UTF-8.
void say(const std::string &line)
{
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(error, &mode)) {
        try {
            const std::wstring text = std::filesystem::u8path(line + "\r\n").wstring();
            DWORD written = 0;
            WriteConsoleW(error, text.data(), DWORD(text.size()), &written, nullptr);
            return;
        } catch (const std::exception &) {
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace

// Wide arguments, so that a path in any script (a Chinese folder name) arrives whole.
int wmain(int argc, wchar_t *argv[])
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(std::filesystem::path(argv[i]).u8string());
    }
    return runLibCheck(args, say);
}
