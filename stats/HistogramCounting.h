// The counting rules of the histogram calculator as functions of arrays and values: which byte
// values a bin holds, the sums that give the mean, acreage and shares, and the pairing of a fine
// raster's pixels with a coarse raster's pixels in mask mode.
#pragma once

#include "GdalHistogramCalculator.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace veg::stats {

using edu::tovan::merel::gdal::GdalHistogramBin;

// The byte values k a bin with bounds low and high holds: trunc(low) <= k < high, within 0..255,
// as [first, end); empty for a not-a-number bound.
struct ByteRange {
    int first = 0;
    int end = 0;
};
ByteRange byteRange(double low, double high);

// Adds the byte values of data[0..size) to counts.
void countBytes(const uint8_t *data, size_t size, uint64_t counts[256]);

// The pixel count and the sum of scaled values (k x scale + offset per pixel of value k).
struct ValueSum {
    uint64_t total = 0;
    double weighted = 0;
    // weighted / total, or 0 without pixels.
    double mean() const { return total > 0 ? weighted / static_cast<double>(total) : 0; }
};

// Adds to every bin the counts of the byte values it holds, counts[k * stride] for value k, and
// adds every value added to `sum` (a value held by two bins counts twice), in bin order.
void addCountsToBins(std::vector<GdalHistogramBin> &bins, const uint64_t *counts, size_t stride,
                     double scale, double offset, ValueSum &sum);

// Sets every bin's acreage from its count and the pixel size in metres; returns the total.
double setAcreage(std::vector<GdalHistogramBin> &bins, double pixelWidth, double pixelHeight);

// Sets every bin's percentage to its share of totalAcreage when that is above 0.
void setPercentages(std::vector<GdalHistogramBin> &bins, double totalAcreage);

// The mask values m whose counts table[m * maskStride + d * dataStride] over d are not all 0,
// ascending.
std::vector<int> occurringCodes(const uint64_t *table, size_t maskStride, size_t dataStride);

// Where a raster lies: GDAL geotransform origin and pixel size (rotation ignored), and its size.
struct RasterPlace {
    double x0 = 0;
    double y0 = 0;
    double pixelWidth = 1;
    double pixelHeight = 1;
    int64_t xSize = 0;
    int64_t ySize = 0;
};

// The fine raster's pixels that may lie over the coarse raster: columns startCol..endCol and
// rows startRow..endRow, clipped to the fine raster; empty when width() or rows() is below 1.
struct PairWindow {
    int64_t startCol = 0;
    int64_t startRow = 0;
    int64_t endCol = -1;
    int64_t endRow = -1;
    int64_t width() const { return endCol - startCol + 1; }
    int64_t rows() const { return endRow - startRow + 1; }
};
PairWindow pairWindow(const RasterPlace &coarse, const RasterPlace &fine);

// For the pixels of a window: the coarse column of every window column and the coarse row of
// every window row (-1 outside the coarse raster), and the runs [first, end) of window columns
// that lie inside it. A fine pixel belongs to the coarse pixel that holds its upper-left corner.
struct PairMap {
    std::vector<int32_t> coarseColumn;
    std::vector<int64_t> coarseRow;
    std::vector<std::pair<int64_t, int64_t>> insideRuns;
};
PairMap pairMap(const RasterPlace &coarse, const RasterPlace &fine, const PairWindow &window);

// The coarse rows read for a block of fine rows: `perBlock` coarse rows from the one above the
// block's first row, widened to every coarse row that the block's fine rows (window rows
// firstRow .. firstRow + rows - 1) fall in and cut to the coarse raster. `any` is false when no
// fine row of the block lies over the coarse raster.
struct CoarseRows {
    int64_t first = 0;
    int64_t count = 0;
    bool any = false;
};
int64_t coarseRowsPerBlock(const RasterPlace &coarse, const RasterPlace &fine, int64_t fineRows);
CoarseRows coarseRowsOfBlock(const RasterPlace &coarse, const RasterPlace &fine, const PairMap &map,
                             const PairWindow &window, int64_t firstRow, int64_t rows,
                             int64_t perBlock);

// Counts one block of fine rows: `rows` window rows from window row `firstRow`, `width` pixels
// each in fineRows, over the coarse rows from coarse row `coarseFirst` in coarseRows (coarseWidth
// pixels each). Every fine pixel inside the coarse raster adds 1 to
// table[fine value * 256 + coarse value].
void countPairs(const PairMap &map, const uint8_t *fineRows, int64_t firstRow, int64_t rows,
                int64_t width, const uint8_t *coarseRows, int64_t coarseFirst, int64_t coarseWidth,
                uint64_t *table);

} // namespace veg::stats
