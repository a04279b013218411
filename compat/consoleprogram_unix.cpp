#include "compat/consoleprogram.h"

#include <cstdio>

void sayLine(const std::string &utf8)
{
    std::fprintf(stderr, "%s\n", utf8.c_str());
}

int main(int argc, char *argv[])
{
    return utf8Main(std::vector<std::string>(argv + 1, argv + argc));
}
