// Value retrieval from a single-band raster: the box form (`vegprobe`) and the point form
// (`vegprobe-point`) share the argument conventions, the coordinate arithmetic, the reductions and
// the messages kept here.
#pragma once

#include "program.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace veg {
namespace probe {

// How the coordinate arguments are read: "AEA" (the raster's own georeferenced x and y),
// "LATLON" (longitude and latitude in degrees, moved to the continental Albers projection first)
// or anything else (pixel and line numbers).
enum class CoordinateMode { Georeferenced, LatLon, Pixel };
CoordinateMode parseCoordinateMode(const std::string &text);

// How the values are reduced to one: "ONE", "THREE_MAX", "THREE_MIN", "THREE_AVE", "THREE_MED";
// any other text is accepted and yields 0.
enum class RetrievalMode { One, ThreeMax, ThreeMin, ThreeAve, ThreeMed, Unknown };
RetrievalMode parseRetrievalMode(const std::string &text);

// The Albers equal-area definition that "LATLON" coordinates are moved to.
extern const char *const kAlbersDefinition;

// A number read from the start of `text` as a stream reads a double ("12.5abc" is 12.5);
// a text that does not begin with a number reads as 0, one beyond the double range as the
// largest double of its sign.
double parseNumber(const std::string &text);

// Truncates toward zero into a 32-bit cell number; false when `value` is not finite or does not
// fit.
bool truncateToInt(double value, int32_t &result);

// GDAL's six affine coefficients; the rotation terms 2 and 4 are ignored.
using GeoTransform = std::array<double, 6>;

// A window of cells: columns xstart .. xstart+xlength-1, rows ystart .. ystart+ylength-1.
struct Window {
    int32_t xstart = 0;
    int32_t ystart = 0;
    int32_t xlength = 0;
    int32_t ylength = 0;
};

// The box window of two corners. For georeferenced (and already transformed "LATLON") corners
// the geotransform places them and ylength is made non-negative; pixel corners are truncated.
// The first corner gives the first column and row. False when a number does not fit 32 bits.
bool boxWindow(CoordinateMode mode, double xmin, double ymin, double xmax, double ymax,
               const GeoTransform &gt, Window &window);

// The cell (column, row) of a point, by the same rules as the box's first corner.
bool pointCell(CoordinateMode mode, double x, double y, const GeoTransform &gt, int32_t &column,
               int32_t &row);

// True when the window has at least one cell and lies wholly inside a raster of width x height.
bool windowInside(const Window &window, int64_t width, int64_t height);

// What a box reduction needs of the values: how many cells carry each byte value (the median
// needs them; `perValue`), or only the smallest, the largest and the sum (every other mode).
struct ValueCounts {
    explicit ValueCounts(bool keepPerValue = true) : perValue(keepPerValue) {}
    bool perValue;
    std::array<uint64_t, 256> counts{}; // kept when perValue
    uint64_t total = 0;
    uint64_t sum = 0;     // kept when !perValue
    uint8_t lowest = 255; // kept when !perValue
    uint8_t highest = 0;  // kept when !perValue
    void add(const uint8_t *values, size_t n);
};

// Whether the reduction `mode` needs the counts per value.
inline bool needsCountsPerValue(RetrievalMode mode) { return mode == RetrievalMode::ThreeMed; }

// The box reductions: largest (from 0), smallest (from 255), truncated mean for "THREE_AVE" and
// "ONE", the value at sorted index total/2 for "THREE_MED" (the upper middle of an even count;
// needs counts per value), 0 for an unknown mode or no values.
uint32_t reduceBox(RetrievalMode mode, const ValueCounts &values);

// The point form's reductions of its 3x3 block: largest, smallest, sum/9 truncated, and for
// "THREE_MED" the value at sorted index 5 (the sixth smallest). "ONE" and unknown modes give 0
// here; the point form answers "ONE" from the single cell.
uint32_t reduceBlock(RetrievalMode mode, const std::array<uint8_t, 9> &values);

// The two forms' runs: arguments with the program name first, lines printed on `out`, result file
// written; the return value is the exit status.
int runBox(const cli::Args &args, std::ostream &out);
int runPoint(const cli::Args &args, std::ostream &out);

} // namespace probe

namespace vegprobe {
// Entry of vegprobe (the box form); every line goes to `out`.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);
} // namespace vegprobe

namespace vegprobe_point {
// Entry of vegprobe-point (the point and 3x3 form); every line goes to `out`.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);
} // namespace vegprobe_point

} // namespace veg
