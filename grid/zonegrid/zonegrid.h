// The mask rasteriser: a single-band GDAL raster into a mask grid on a reference grid's projection.
#pragma once

#include "gridio.h"
#include "products.h"
#include "program.h"

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

namespace veg::zonegrid {

struct Options {
    std::string rasterPath;
    std::string outputPath;
    std::string referencePath;
    std::string gridName = veg::grid::kGridName;        // of the reference grid
    std::string fieldName = veg::grid::kReferenceField; // whose dimension list the mask takes
};

// Options from the positional arguments; false when fewer than three are given.
bool parseArguments(const veg::cli::Args &args, Options &options);

// Upper-left and lower-right corners (x, y) of a raster of `columns` x `rows` cells placed by the
// geotransform g (g0, g3 the upper-left corner, g1 the cell width, g5 the cell height).
struct Corners {
    std::array<double, 2> upperLeft{};
    std::array<double, 2> lowerRight{};
};
Corners cornersOf(const std::array<double, 6> &g, int columns, int rows);

// The mask grid's geometry: the raster's cell counts and corners with the reference grid's
// projection, zone, sphere, parameters and origin.
veg::grid::GridGeometry maskGeometry(const veg::grid::GridGeometry &reference,
                                     const std::array<double, 6> &g, int columns, int rows);

// A row-major array of rows x columns cells in the column-major layout of an "XDim,YDim" field.
// Throws std::bad_alloc when the copy cannot be held.
std::unique_ptr<uint8_t[]> columnMajor(const uint8_t *cells, size_t columns, size_t rows);

// The program (args[0] is the invocation name). The raster description and progress lines go to
// `out`, failures after the raster was opened to `err`. Returns 0 after "Done.", 254 when the
// raster cannot be opened and 255 on every other failure (no output file is then left behind).
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::zonegrid
