#ifndef BRELO_LIBCHECKCOMMAND_H
#define BRELO_LIBCHECKCOMMAND_H

#include <string>
#include <vector>

// brelo_libcheck's command line after the program's name, in UTF-8; returns the exit code. The
// installer reads every mode, line and code of it: change none without the installer.
int runLibCheck(const std::vector<std::string> &args);

#endif // BRELO_LIBCHECKCOMMAND_H
