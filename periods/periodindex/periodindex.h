// periodindex: the number of the period, aligned on a start-end pair and as long as it, that
// holds a date.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::periodindex {

// The entry function; args[0] is the program path. Prints the number (no line end), the usage text
// and the message for a reversed pair on `out`, the messages for unreadable dates on `err`. Returns
// cli::kExitSuccess, or cli::kExitStop after a usage text or a message.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::periodindex
