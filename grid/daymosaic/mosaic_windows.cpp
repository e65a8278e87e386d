// Placement of tile windows in the mask grid.
#include "mosaic_windows.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>

namespace veg::daymosaic {

bool frameOf(const veg::grid::GridGeometry &g, MaskFrame *frame) {
    if (g.columns <= 0 || g.rows <= 0) {
        return false;
    }
    frame->x0 = g.upperLeft[0];
    frame->y0 = g.upperLeft[1];
    frame->x1 = g.lowerRight[0];
    frame->y1 = g.lowerRight[1];
    frame->cellWidth = (frame->x1 - frame->x0) / g.columns;
    frame->cellHeight = (frame->y0 - frame->y1) / g.rows;
    return std::isfinite(frame->cellWidth) && frame->cellWidth > 0 &&
           std::isfinite(frame->cellHeight) && frame->cellHeight > 0;
}

int dimensionOrder(const std::string &dimList) {
    if (dimList == "YDim,XDim") {
        return 1;
    }
    if (dimList == "XDim,YDim") {
        return 2;
    }
    return 0;
}

Placement placeTile(const MaskFrame &mask, const Mosaic &mosaic,
                    const veg::grid::GridGeometry &tile, TileWindow *window) {
    const double x0 = tile.upperLeft[0], y0 = tile.upperLeft[1];
    const double x1 = tile.lowerRight[0], y1 = tile.lowerRight[1];
    if (!(x0 < mask.x1 && mask.x0 < x1 && mask.y1 < y0 && y1 < mask.y0)) {
        return Placement::Outside;
    }
    if (!sameCellSize(x1 - x0, tile.columns, mask.cellWidth) ||
        !sameCellSize(y0 - y1, tile.rows, mask.cellHeight)) {
        return Placement::CellSizeDiffers;
    }
    int64_t columnOffset = 0, rowOffset = 0;
    if (!cellOffset(mask.x0, x0, mask.cellWidth, &columnOffset) ||
        !cellOffset(y0, mask.y0, mask.cellHeight, &rowOffset)) {
        return Placement::Outside;
    }
    window->columns = overlapAxis(columnOffset, tile.columns, mosaic.columns);
    window->rows = overlapAxis(rowOffset, tile.rows, mosaic.rows);
    // Less than half a cell of overlap on an axis covers no cell of the mask grid.
    return window->columns.count > 0 && window->rows.count > 0 ? Placement::Inside
                                                               : Placement::Outside;
}

bool allocateMosaic(Mosaic &mosaic) {
    const std::optional<size_t> cells = veg::grid::checkedCellCount(mosaic.columns, mosaic.rows);
    // 16-bit grids need twice the bytes; keep every byte count representable.
    if (!cells || !veg::grid::checkedCellCount(mosaic.columns, mosaic.rows, 16)) {
        return false;
    }
    mosaic.cells = *cells;
    try {
        const size_t n = mosaic.cells;
        mosaic.mask = allocateOrThrow<uint8_t>(n);
        mosaic.numObservations = allocateOrThrow<int8_t>(n);
        mosaic.red = allocateOrThrow<int16_t>(n);
        mosaic.nir = allocateOrThrow<int16_t>(n);
        mosaic.qc = allocateOrThrow<uint16_t>(n);
        mosaic.obscov = allocateOrThrow<int8_t>(n);
        mosaic.iobsRes = allocateOrThrow<uint8_t>(n);
        mosaic.orbitPointer = allocateOrThrow<int8_t>(n);
        mosaic.granulePointer = allocateOrThrow<uint8_t>(n);
        mosaic.ndvi = allocateOrThrow<int16_t>(n);
        mosaic.ndvi8 = allocateOrThrow<uint8_t>(n);
    } catch (const std::bad_alloc &) {
        return false;
    }
    // Cells no tile covers keep the no-data value.
    std::fill_n(mosaic.ndvi.get(), mosaic.cells, veg::grid::kNoData16);
    return true;
}

} // namespace veg::daymosaic
