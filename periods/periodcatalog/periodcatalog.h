// periodcatalog: the catalogue line of period n of a year.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::periodcatalog {

// The entry function; args[0] is the program path. Prints the line (no line end) or the usage text
// on `out`. Returns cli::kExitSuccess, or cli::kExitStop after the usage text.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::periodcatalog
