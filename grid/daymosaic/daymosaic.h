// The daily NDVI generator: one daily NDVI grid for an area of interest from the day's surface
// reflectance tiles and a mask grid.
#pragma once

#include "program.h"

#include <ostream>

namespace veg::daymosaic {

// The program: <list file> <mask grid> <output grid> (args[0] is the invocation name). Prints the
// usage text, the list, mask and output failures and "O.K." on `out`, the tile-related messages on
// `err`. Returns 1 at the normal end, 255 on an early stop or when a tile or the output could not
// be processed (then "Failed." ends `err` and no output file is left behind).
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::daymosaic
