#include "compat/consoleprogram.h"
#include "libcheckcommand.h"

int utf8Main(const std::vector<std::string> &args)
{
    return runLibCheck(args, sayLine);
}
