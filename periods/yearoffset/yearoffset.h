// yearoffset: the year of a date minus a base year.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::yearoffset {

// The entry function; args[0] is the program path. Prints the difference (no line end) or the usage
// text on `out`, the message for an unreadable date on `err`. Returns cli::kExitSuccess, or
// cli::kExitStop after a usage text or a message.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::yearoffset
