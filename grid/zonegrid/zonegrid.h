// The mask rasteriser: a single-band GDAL raster into a mask grid on a reference grid's projection.
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

namespace zonegrid {

// Upper-left and lower-right corners (x, y) of a raster of `columns` x `rows` cells placed by the
// geotransform g (g0, g3 the upper-left corner, g1 the cell width, g5 the cell height).
struct Corners {
    std::array<double, 2> upperLeft{};
    std::array<double, 2> lowerRight{};
};
Corners cornersOf(const std::array<double, 6>& g, int columns, int rows);

// Runs the program (args[0] is the invocation name). The raster description and progress lines go
// to `out`, failures after the raster was opened to `err`. Returns 0 after "Done.", 254 when the
// raster cannot be opened and 255 on every other failure (no output file is then left behind).
int runZonegrid(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace zonegrid
