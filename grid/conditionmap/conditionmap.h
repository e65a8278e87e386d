// conditionmap: the VCI grid of a period from its NDVI grid and the period's extremes grid.
#pragma once

#include <ostream>

namespace conditionmap {

// Runs the program with its command line; progress and the final line go to `out`, failures to
// `err`. Returns the exit status: 0 when the output was written and every read succeeded, 1 when
// the output was written after a failed read ("Failed."), 255 on every early stop.
int run(int argc, const char *const *argv, std::ostream &out, std::ostream &err);

} // namespace conditionmap
