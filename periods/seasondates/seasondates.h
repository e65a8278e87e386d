// seasondates: every date from a month and day of the previous year to a month and day of the
// given year, one per line.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::seasondates {

// The entry function; args[0] is the program path. Prints the dates, the usage text and the
// messages for malformed month-day texts on `out`. Returns cli::kExitSuccess, or cli::kExitStop
// after a usage text or a message.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::seasondates
