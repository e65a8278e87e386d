// Entry of the tallyband program: histogram of an 8-bit raster by configured breaks, optionally by
// crop-mask category, written as CSV and JSON reports.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::tallyband {

// Runs the program (args[0] is the program name); progress lines and the checks made after
// parsing go to `out`, the parser's complaints and failures to `err`. Returns the exit status:
// 0 done, 1 bad command line or configuration, 2 histogram not calculated or a report not
// written, 255 empty or dash-leading file name.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::tallyband
