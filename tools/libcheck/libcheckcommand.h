#ifndef BRELO_LIBCHECKCOMMAND_H
#define BRELO_LIBCHECKCOMMAND_H

#include <functional>
#include <string>
#include <vector>

// Where a line for a person goes: standard error, as each platform's console wants it.
using Say = std::function<void(const std::string &utf8)>;

// brelo_libcheck's command line after the program's name, in UTF-8; returns the exit code. The
// installer runs its placing modes and passes their exit codes on as its own. Any exception ends it
// with exit code 3 (a file not written) and its message.
int runLibCheck(const std::vector<std::string> &args, const Say &say);

#endif // BRELO_LIBCHECKCOMMAND_H
