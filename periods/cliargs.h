// Usage texts of the period utilities.
#pragma once

#include "program.h"

#include <initializer_list>
#include <string>

namespace veg::periods {

// The program path as typed (args[0]); empty when the arguments hold none.
const std::string &programPath(const cli::Args &args);

// The usage lines, each followed by a line end, with every "%s" replaced by the program path.
std::string usageText(const std::string &program, std::initializer_list<const char *> lines);

} // namespace veg::periods
