// Argument reading and usage printing shared by the period utilities.
#pragma once

#include <cstdio>
#include <initializer_list>

namespace periods {

// Status of a run that ended early (the shell sees an exit code of -1 as 255).
constexpr int kFailureStatus = 255;

// Reads the leading integer of a text as atoi does (leading blanks, a sign, digits up to the first
// non-digit; a text that does not begin with a number reads as 0). Values beyond the int range are
// clamped to it instead of being undefined.
int leadingInt(const char *text);

// Prints usage lines, each followed by a line end, with every "%s" replaced by the program path.
void printUsage(std::FILE *out, const char *program, std::initializer_list<const char *> lines);

} // namespace periods
