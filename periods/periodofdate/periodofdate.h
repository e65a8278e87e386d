// periodofdate: the period tag of the latest whole period that ends on or before a date.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::periodofdate {

// The entry function; args[0] is the program path. Prints the tag (no line end) and the usage text
// on `out`, the messages for an unreadable date or length on `err`. Returns cli::kExitSuccess, or
// cli::kExitStop after a usage text or a message.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::periodofdate
