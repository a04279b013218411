#ifndef BRELO_CONSOLEPROGRAM_H
#define BRELO_CONSOLEPROGRAM_H

#include <string>
#include <vector>

// The entry of a plain console program, a file per platform: its main hands the arguments after the
// program's name to utf8Main in UTF-8 (on Windows taken as UTF-16, so that a path in any script, a
// Chinese folder name, arrives whole); utf8Main's result is the exit code.
int utf8Main(const std::vector<std::string> &args); // defined by the program

// A line for a person on standard error: UTF-16 to a Windows console, whatever its code page; UTF-8 to
// a pipe, a file or elsewhere.
void sayLine(const std::string &utf8);

#endif // BRELO_CONSOLEPROGRAM_H
