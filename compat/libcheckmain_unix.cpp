#include "tools/libcheck/libcheckcommand.h"

#include <cstdio>

int main(int argc, char *argv[])
{
    return runLibCheck(std::vector<std::string>(argv + 1, argv + argc),
                       [](const std::string &line) { std::fprintf(stderr, "%s\n", line.c_str()); });
}
