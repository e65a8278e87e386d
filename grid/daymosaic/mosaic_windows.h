// The full-size grids of the daily mosaic and the reading of tile windows into them, shared by
// daymosaic and its benchmark baseline.
#pragma once

#include "gridio.h"
#include "mosaic_rules.h"
#include "productio.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace veg::daymosaic {

template <typename T> using Cells = std::unique_ptr<T[]>;

// The full-size grids of one run, one element per mask-grid cell, in the mask's layout.
struct Mosaic {
    int64_t columns = 0;
    int64_t rows = 0;
    int order = 1; // 1: row-major ("YDim,XDim"), 2: column-major ("XDim,YDim")
    size_t cells = 0;
    Cells<uint8_t> mask;
    Cells<int8_t> numObservations;
    Cells<int16_t> red;
    Cells<int16_t> nir;
    Cells<uint16_t> qc;
    Cells<int8_t> obscov;
    Cells<uint8_t> iobsRes;
    Cells<int8_t> orbitPointer;
    Cells<uint8_t> granulePointer;
    Cells<int16_t> ndvi;
    Cells<uint8_t> ndvi8;

    veg::grid::Edge edge() const {
        return order == 1
                   ? veg::grid::Edge{static_cast<int32_t>(rows), static_cast<int32_t>(columns)}
                   : veg::grid::Edge{static_cast<int32_t>(columns), static_cast<int32_t>(rows)};
    }
};

// Allocates every grid of `mosaic` for its columns x rows cells and fills the NDVI with the
// no-data value (cells no tile covers keep it). False when the cell count cannot be held.
// Bytes of the full-size arrays per mask cell (mask, the eight carried fields, 16- and 8-bit NDVI).
inline constexpr size_t kMosaicBytesPerCell = 15;

bool allocateMosaic(Mosaic &mosaic);

// Calls f(index, grid) for each carried field in product order (its name and number type are
// kCarriedFields[index]), stopping at the first false.
template <typename F> bool forEachCarried(Mosaic &m, F &&f) {
    return f(0, m.numObservations.get()) && f(1, m.red.get()) && f(2, m.nir.get()) &&
           f(3, m.qc.get()) && f(4, m.obscov.get()) && f(5, m.iobsRes.get()) &&
           f(6, m.orbitPointer.get()) && f(7, m.granulePointer.get());
}

// The ten fields of the daily grid in product order (the carried fields, then the 16- and 8-bit
// NDVI), as a product write takes them.
inline std::vector<veg::grid::FieldCells> productFields(Mosaic &m) {
    std::vector<veg::grid::FieldCells> fields;
    forEachCarried(m, [&](size_t, auto *grid) {
        fields.push_back(veg::grid::cellsOf(grid, m.cells));
        return true;
    });
    fields.push_back(veg::grid::cellsOf(m.ndvi.get(), m.cells));
    fields.push_back(veg::grid::cellsOf(m.ndvi8.get(), m.cells));
    return fields;
}

// One array of `count` values; throws std::bad_alloc when it cannot be had, which ends the run
// with the program's memory message.
template <typename T> Cells<T> allocateOrThrow(size_t count) {
    Cells<T> cells = veg::grid::allocateCells<T>(count);
    if (!cells) {
        throw std::bad_alloc();
    }
    return cells;
}

// Where the mask grid lies, in projection units, and its cell size.
struct MaskFrame {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0; // upper-left and lower-right corners
    double cellWidth = 0;
    double cellHeight = 0;
};

// Where the mask grid lies and its cell size, from its geometry; false when it has no cells or a
// cell size that is not finite and positive.
bool frameOf(const veg::grid::GridGeometry &g, MaskFrame *frame);

// 1 for "YDim,XDim", 2 for "XDim,YDim", 0 for any other dimension list.
int dimensionOrder(const std::string &dimList);

// A tile's window in the mask grid.
struct TileWindow {
    AxisWindow columns;
    AxisWindow rows;
};

enum class Placement { Outside, Inside, CellSizeDiffers };

// Where a tile lands in the mask grid: outside it, inside it (with its window), or on cells of
// another size.
Placement placeTile(const MaskFrame &mask, const Mosaic &mosaic,
                    const veg::grid::GridGeometry &tile, TileWindow *window);

inline bool copyWindow(const Mosaic &m, int8_t *full, const int64_t start[2], const int64_t edge[2],
                       const int8_t *window) {
    return writeFieldBufInt8(full, m.columns, m.rows, start, edge, window, m.order);
}
inline bool copyWindow(const Mosaic &m, uint8_t *full, const int64_t start[2],
                       const int64_t edge[2], const uint8_t *window) {
    return writeFieldBufUInt8(full, m.columns, m.rows, start, edge, window, m.order);
}
inline bool copyWindow(const Mosaic &m, int16_t *full, const int64_t start[2],
                       const int64_t edge[2], const int16_t *window) {
    return writeFieldBufInt16(full, m.columns, m.rows, start, edge, window, m.order);
}
inline bool copyWindow(const Mosaic &m, uint16_t *full, const int64_t start[2],
                       const int64_t edge[2], const uint16_t *window) {
    return writeFieldBufUInt16(full, m.columns, m.rows, start, edge, window, m.order);
}

enum class WindowResult {
    Copied,
    ReadFailed,   // the field's sizes do not match the tile's grid, or the read failed
    CopyFailed,   // the window does not fit the full-size grid
    UnknownOrder, // the full-size grids have a dimension order other than 1 and 2
};

// Reads one field's window from a tile and copies it into its full-size grid.
template <typename T>
WindowResult carryWindow(const veg::grid::GridReader &tile, const char *field,
                         const veg::grid::FieldInfo &info, const TileWindow &w, const Mosaic &m,
                         T *full) {
    const int tileOrder = dimensionOrder(info.dimList);
    const veg::grid::GridGeometry &g = tile.geometry();
    const bool sizesMatch =
        info.rank == 2 &&
        ((tileOrder == 1 && info.dims[0] == g.rows && info.dims[1] == g.columns) ||
         (tileOrder == 2 && info.dims[0] == g.columns && info.dims[1] == g.rows));
    if (!sizesMatch) {
        return WindowResult::ReadFailed;
    }
    const int64_t m_ = w.rows.count, k = w.columns.count;
    const size_t cells = static_cast<size_t>(m_) * static_cast<size_t>(k);
    Cells<T> window = allocateOrThrow<T>(cells);
    const int32_t rowStart = static_cast<int32_t>(w.rows.tileStart);
    const int32_t columnStart = static_cast<int32_t>(w.columns.tileStart);
    const veg::grid::Edge start = tileOrder == 1 ? veg::grid::Edge{rowStart, columnStart}
                                                 : veg::grid::Edge{columnStart, rowStart};
    const veg::grid::Edge edge =
        tileOrder == 1 ? veg::grid::Edge{static_cast<int32_t>(m_), static_cast<int32_t>(k)}
                       : veg::grid::Edge{static_cast<int32_t>(k), static_cast<int32_t>(m_)};
    if (!veg::grid::readFieldWindow(tile.grid(), field, start, edge, window.get(), cells)) {
        return WindowResult::ReadFailed;
    }
    if (tileOrder != m.order) {
        // The tile's layout differs from the mask's: turn the window over.
        Cells<T> turned = allocateOrThrow<T>(cells);
        const int64_t outer = edge.first, inner = edge.second;
        for (int64_t a = 0; a < outer; ++a) {
            for (int64_t b = 0; b < inner; ++b) {
                turned[b * outer + a] = window[a * inner + b];
            }
        }
        window = std::move(turned);
    }
    const int64_t outStart[2] = {w.rows.outputStart, w.columns.outputStart};
    const int64_t outEdge[2] = {m_, k};
    if (copyWindow(m, full, outStart, outEdge, window.get())) {
        return WindowResult::Copied;
    }
    return m.order != 1 && m.order != 2 ? WindowResult::UnknownOrder : WindowResult::CopyFailed;
}

} // namespace veg::daymosaic
