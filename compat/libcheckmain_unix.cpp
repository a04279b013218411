#include "tools/libcheck/libcheckcommand.h"

int main(int argc, char *argv[])
{
    return runLibCheck(std::vector<std::string>(argv + 1, argv + argc));
}
