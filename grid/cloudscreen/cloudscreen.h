// cloudscreen: the daily NDVI grid screened with the day's 1 km state tiles.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::cloudscreen {

// cloudscreen <rule> <daily NDVI grid> <output grid> <state tile>... (args[0] is the invocation
// name). Every cell of the daily grid with an NDVI value whose 1 km state the rule rules out gets
// the no-data value in both NDVI fields; every other field and attribute is carried unchanged.
// Prints the usage text, the summary line and "O.K." on `out`, failures on `err`. Returns 0 when
// the screened grid was written, 255 otherwise (then no output file is left behind).
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::cloudscreen
