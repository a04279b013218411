/* Holds a file open without sharing, as a running program holds its own files on Windows, until its
   standard input closes; prints "held" once it holds the file. */
#include <stdio.h>
#include <windows.h>

int wmain(int argc, wchar_t *argv[])
{
    if (argc != 2) {
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    puts("held");
    fflush(stdout);
    char buffer[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, NULL) && got > 0) { }
    CloseHandle(file);
    return 0;
}
