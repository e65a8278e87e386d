// Per-cell and per-window rules of the daily NDVI mosaic: the NDVI of a tile cell, the finishing
// pass over the whole grid, the placement of a tile's window in the mask grid and the window
// copies.
#pragma once

#include "products.h"

#include <cstddef>
#include <cstdint>

namespace veg::daymosaic {

// NDVI x 10000 of one cell from its near-infrared and red reflectances. Both are shifted by 100
// before the ratio is taken: 10000 * (nir - red) / (nir + red + 200), truncated toward zero.
// A reflectance outside -100..16000 (the tiles' fill -28672 included) gives the no-data value.
int16_t cellNdvi(int16_t nir, int16_t red);

// NDVI of every cell of a window; all three arrays hold `count` cells.
void windowNdvi(const int16_t *nir, const int16_t *red, int16_t *ndvi, size_t count);

// Finishes the grid in place: derives the 8-bit NDVI from the 16-bit one with the product's
// mapping (ndvi8FromNdvi16: 254 for the no-data value or anything else outside -10000..10000),
// then sets both to the fill values where the mask is 0.
void finishDailyNdvi(const uint8_t *mask, int16_t *ndvi, uint8_t *ndvi8, size_t count);

// Where one axis of a tile falls in the mask grid, in cells of the mask grid.
struct AxisWindow {
    int64_t tileStart = 0;   // first tile cell of the window
    int64_t outputStart = 0; // first mask-grid cell it lands on
    int64_t count = 0;       // cells in the window; 0 when the tile misses the mask on this axis
};

// Offset in whole cells from `from` to `to` (to - from) / cellSize, rounded to the nearest cell.
// Returns false when the quotient is not finite or too large to be an offset in any grid.
bool cellOffset(double from, double to, double cellSize, int64_t *offset);

// The overlap of a tile axis of `tileCells` cells starting `offset` cells after the mask's first
// cell with the mask's `maskCells` cells.
AxisWindow overlapAxis(int64_t offset, int64_t tileCells, int64_t maskCells);

// True when a tile whose axis spans `tileSpan` projection units over `tileCells` cells has the
// mask's cell size `maskCell` closely enough that its far edge lands less than half a cell from
// where the mask's cell size puts it.
bool sameCellSize(double tileSpan, int64_t tileCells, double maskCell);

// Window copies into a full-size grid of `columns` x `rows` cells. start = (output row, output
// column), edge = (window rows m, window columns k). Order 1 ("YDim,XDim"): both buffers are
// row-major; order 2 ("XDim,YDim"): both are column-major. Any other order, and a window that does
// not fit inside the grid, return false without copying (the caller reports an unknown order).
bool writeFieldBufInt16(int16_t *full, int64_t columns, int64_t rows, const int64_t start[2],
                        const int64_t edge[2], const int16_t *window, int order);
bool writeFieldBufUInt16(uint16_t *full, int64_t columns, int64_t rows, const int64_t start[2],
                         const int64_t edge[2], const uint16_t *window, int order);
bool writeFieldBufInt8(int8_t *full, int64_t columns, int64_t rows, const int64_t start[2],
                       const int64_t edge[2], const int8_t *window, int order);
bool writeFieldBufUInt8(uint8_t *full, int64_t columns, int64_t rows, const int64_t start[2],
                        const int64_t edge[2], const uint8_t *window, int order);

} // namespace veg::daymosaic
