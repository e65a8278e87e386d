// Per-cell and per-window rules of the daily NDVI mosaic.
#include "mosaic_rules.h"

#include <cmath>
#include <cstring>

namespace veg::daymosaic {

using veg::grid::kNoData16;

int16_t cellNdvi(int16_t nir, int16_t red) {
    if (nir < veg::grid::kReflectanceMin || nir > veg::grid::kReflectanceMax ||
        red < veg::grid::kReflectanceMin || red > veg::grid::kReflectanceMax) {
        return kNoData16;
    }
    // Shifted reflectances lie in 0..16100, so the sum fits 16 bits and |difference| <= sum.
    const int sum = (red + 100) + (nir + 100);
    const int difference = (nir + 100) - (red + 100);
    if (sum == 0) {
        return difference == 0 ? 0 : kNoData16;
    }
    return static_cast<int16_t>(std::trunc(static_cast<double>(difference) / sum * 10000.0));
}

void windowNdvi(const int16_t *nir, const int16_t *red, int16_t *ndvi, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        ndvi[i] = cellNdvi(nir[i], red[i]);
    }
}

void finishDailyNdvi(const uint8_t *mask, int16_t *ndvi, uint8_t *ndvi8, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const int16_t n = ndvi[i];
        uint8_t v = veg::grid::ndvi8FromNdvi16(n);
        int16_t out = n;
        if (mask[i] == 0) {
            v = veg::grid::kFill8;
            out = veg::grid::kFill16;
        }
        ndvi8[i] = v;
        ndvi[i] = out;
    }
}

bool cellOffset(double from, double to, double cellSize, int64_t *offset) {
    const double cells = (to - from) / cellSize;
    // 2^53: beyond it doubles no longer hold every whole number, and no grid is that large.
    if (!std::isfinite(cells) || std::fabs(cells) > 9007199254740992.0) {
        return false;
    }
    *offset = static_cast<int64_t>(std::llround(cells));
    return true;
}

AxisWindow overlapAxis(int64_t offset, int64_t tileCells, int64_t maskCells) {
    AxisWindow w;
    const int64_t first = offset > 0 ? offset : 0;
    const int64_t end = offset + tileCells < maskCells ? offset + tileCells : maskCells;
    if (tileCells <= 0 || maskCells <= 0 || end <= first) {
        return w;
    }
    w.tileStart = first - offset;
    w.outputStart = first;
    w.count = end - first;
    return w;
}

bool sameCellSize(double tileSpan, int64_t tileCells, double maskCell) {
    if (tileCells <= 0 || !(maskCell > 0) || !std::isfinite(tileSpan)) {
        return false;
    }
    return std::fabs(tileSpan - static_cast<double>(tileCells) * maskCell) < maskCell / 2;
}

namespace {

template <typename T>
bool copyWindow(T *full, int64_t columns, int64_t rows, const int64_t start[2],
                const int64_t edge[2], const T *window, int order) {
    if (order != 1 && order != 2) {
        return false;
    }
    const int64_t row0 = start[0], column0 = start[1], m = edge[0], k = edge[1];
    if (row0 < 0 || column0 < 0 || m < 0 || k < 0 || row0 > rows - m || column0 > columns - k) {
        return false;
    }
    if (order == 1) {
        for (int64_t j = 0; j < m; ++j) {
            std::memcpy(full + (row0 + j) * columns + column0, window + j * k,
                        static_cast<size_t>(k) * sizeof(T));
        }
    } else {
        for (int64_t i = 0; i < k; ++i) {
            std::memcpy(full + (column0 + i) * rows + row0, window + i * m,
                        static_cast<size_t>(m) * sizeof(T));
        }
    }
    return true;
}

} // namespace

bool writeFieldBufInt16(int16_t *full, int64_t columns, int64_t rows, const int64_t start[2],
                        const int64_t edge[2], const int16_t *window, int order) {
    return copyWindow(full, columns, rows, start, edge, window, order);
}

bool writeFieldBufUInt16(uint16_t *full, int64_t columns, int64_t rows, const int64_t start[2],
                         const int64_t edge[2], const uint16_t *window, int order) {
    return copyWindow(full, columns, rows, start, edge, window, order);
}

bool writeFieldBufInt8(int8_t *full, int64_t columns, int64_t rows, const int64_t start[2],
                       const int64_t edge[2], const int8_t *window, int order) {
    return copyWindow(full, columns, rows, start, edge, window, order);
}

bool writeFieldBufUInt8(uint8_t *full, int64_t columns, int64_t rows, const int64_t start[2],
                        const int64_t edge[2], const uint8_t *window, int order) {
    return copyWindow(full, columns, rows, start, edge, window, order);
}

} // namespace veg::daymosaic
