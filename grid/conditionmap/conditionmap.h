// conditionmap: the VCI grid of a period from its NDVI grid and the period's extremes grid.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::conditionmap {

// The program: <max-min file> <ndvi file> <output vci file>. Progress and the final line go to
// `out`, failures to `err`. Returns the exit status: 0 when the output was written and every read
// succeeded, 1 when the output was written after a failed read ("Failed."), 255 on every early
// stop.
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::conditionmap
