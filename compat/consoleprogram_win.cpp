#include "compat/consoleprogram.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>

void sayLine(const std::string &utf8)
{
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    if (GetConsoleMode(error, &mode) && (units > 0 || utf8.empty())) {
        std::wstring text(std::size_t(units), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), units);
        text += L"\r\n";
        DWORD written = 0;
        WriteConsoleW(error, text.data(), DWORD(text.size()), &written, nullptr);
        return;
    }
    std::fprintf(stderr, "%s\n", utf8.c_str());
}

int wmain(int argc, wchar_t *argv[])
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(std::filesystem::path(argv[i]).u8string());
    }
    return utf8Main(args);
}
