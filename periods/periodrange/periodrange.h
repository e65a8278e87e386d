// periodrange: the period tag of period n of a year.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::periodrange {

// The entry function; args[0] is the program path. Prints the tag (no line end) or the usage text
// on `out`. Returns cli::kExitSuccess, or cli::kExitStop after the usage text.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::periodrange
