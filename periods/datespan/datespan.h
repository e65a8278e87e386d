// datespan: every date from a start date up to, not including, a stop date, one per line.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::datespan {

// The entry function; args[0] is the program path. Prints the dates, the usage text and the
// messages for malformed dates on `out`. Returns cli::kExitSuccessLegacy (1) after listing the
// dates, cli::kExitStop after a usage text or a message.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::datespan
