// Counting rules of the histogram calculator.
#include "HistogramCounting.h"

#include <algorithm>
#include <cmath>

namespace veg::stats {

namespace {

// A pixel position as an integer, truncated toward zero; far-away or undefined positions become
// values no raster index reaches.
int64_t toIndex(double value) {
    if (std::isnan(value)) {
        return INT64_MIN / 4;
    }
    value = std::max(-1e15, std::min(1e15, value));
    return static_cast<int64_t>(value);
}

} // namespace

ByteRange byteRange(double low, double high) {
    ByteRange range;
    if (std::isnan(low) || std::isnan(high)) {
        return range;
    }
    const double start = std::trunc(low);
    if (start > 255) {
        return range;
    }
    range.first = start < 0 ? 0 : static_cast<int>(start);
    range.end = range.first;
    while (range.end <= 255 && range.end < high) {
        ++range.end;
    }
    return range;
}

void countBytes(const uint8_t *data, size_t size, uint64_t counts[256]) {
    // Four tables keep repeated values from waiting on one another.
    uint64_t part[4][256] = {};
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++part[0][data[i]];
        ++part[1][data[i + 1]];
        ++part[2][data[i + 2]];
        ++part[3][data[i + 3]];
    }
    for (; i < size; ++i) {
        ++part[0][data[i]];
    }
    for (int v = 0; v < 256; ++v) {
        counts[v] += part[0][v] + part[1][v] + part[2][v] + part[3][v];
    }
}

void addCountsToBins(std::vector<GdalHistogramBin> &bins, const uint64_t *counts, size_t stride,
                     double scale, double offset, ValueSum &sum) {
    for (auto &bin : bins) {
        const ByteRange range = byteRange(bin.low, bin.high);
        for (int k = range.first; k < range.end; ++k) {
            const uint64_t count = counts[static_cast<size_t>(k) * stride];
            bin.count += count;
            sum.total += count;
            sum.weighted += (k * scale + offset) * static_cast<double>(count);
        }
    }
}

double setAcreage(std::vector<GdalHistogramBin> &bins, double pixelWidth, double pixelHeight) {
    using edu::tovan::merel::gdal::kAcresPerSquareMetre;
    double total = 0;
    for (auto &bin : bins) {
        bin.acreage =
            static_cast<double>(bin.count) * pixelWidth * pixelHeight * kAcresPerSquareMetre;
        total += bin.acreage;
    }
    return total;
}

void setPercentages(std::vector<GdalHistogramBin> &bins, double totalAcreage) {
    if (totalAcreage > 0) {
        for (auto &bin : bins) {
            bin.percentage = bin.acreage / totalAcreage;
        }
    }
}

std::vector<int> occurringCodes(const uint64_t *table, size_t maskStride, size_t dataStride) {
    std::vector<int> codes;
    for (size_t m = 0; m < 256; ++m) {
        uint64_t sum = 0;
        for (size_t d = 0; d < 256; ++d) {
            sum += table[m * maskStride + d * dataStride];
        }
        if (sum > 0) {
            codes.push_back(static_cast<int>(m));
        }
    }
    return codes;
}

PairWindow pairWindow(const RasterPlace &a, const RasterPlace &b) {
    PairWindow w;
    w.startCol = toIndex((std::max(b.x0, a.x0) - b.x0) / b.pixelWidth);
    w.startRow = toIndex((std::min(b.y0, a.y0) - b.y0) / b.pixelHeight);
    w.endCol =
        toIndex((std::min(b.x0 + b.xSize * b.pixelWidth, a.x0 + a.xSize * a.pixelWidth) - b.x0) /
                b.pixelWidth);
    w.endRow =
        toIndex((std::max(b.y0 + b.ySize * b.pixelHeight, a.y0 + a.ySize * a.pixelHeight) - b.y0) /
                b.pixelHeight);
    w.startCol = std::max<int64_t>(0, w.startCol);
    w.startRow = std::max<int64_t>(0, w.startRow);
    w.endCol = std::min<int64_t>(w.endCol, b.xSize - 1);
    w.endRow = std::min<int64_t>(w.endRow, b.ySize - 1);
    return w;
}

PairMap pairMap(const RasterPlace &a, const RasterPlace &b, const PairWindow &window) {
    // Rounding down, so that a corner just outside the coarse raster is not pulled into its edge
    // pixels.
    PairMap map;
    const int64_t width = std::max<int64_t>(0, window.width());
    const int64_t rows = std::max<int64_t>(0, window.rows());
    map.coarseColumn.resize(static_cast<size_t>(width));
    for (int64_t c = 0; c < width; ++c) {
        const int64_t cc = toIndex(
            std::floor(((window.startCol + c) * b.pixelWidth + b.x0 - a.x0) / a.pixelWidth));
        const bool inside = cc >= 0 && cc < a.xSize;
        map.coarseColumn[static_cast<size_t>(c)] = inside ? static_cast<int32_t>(cc) : -1;
        if (inside) {
            if (!map.insideRuns.empty() && map.insideRuns.back().second == c) {
                map.insideRuns.back().second = c + 1;
            } else {
                map.insideRuns.emplace_back(c, c + 1);
            }
        }
    }
    map.coarseRow.resize(static_cast<size_t>(rows));
    for (int64_t r = 0; r < rows; ++r) {
        const int64_t cr = toIndex(
            std::floor(((window.startRow + r) * b.pixelHeight + b.y0 - a.y0) / a.pixelHeight));
        map.coarseRow[static_cast<size_t>(r)] = cr >= 0 && cr < a.ySize ? cr : -1;
    }
    return map;
}

int64_t coarseRowsPerBlock(const RasterPlace &a, const RasterPlace &b, int64_t fineRows) {
    return toIndex(static_cast<double>(fineRows) * b.pixelHeight / a.pixelHeight) + 2;
}

CoarseRows coarseRowsOfBlock(const RasterPlace &a, const RasterPlace &b, const PairMap &map,
                             const PairWindow &window, int64_t firstRow, int64_t rows,
                             int64_t perBlock) {
    const int64_t first = window.startRow + firstRow;
    int64_t h = toIndex((first * b.pixelHeight + b.y0 - a.y0) / a.pixelHeight) - 1;
    int64_t lines = perBlock;
    if (h < 0) {
        lines += h;
        h = 0;
    }
    lines = std::min(lines, a.ySize - h);
    int64_t lowest = -1;
    int64_t highest = -1;
    for (int64_t r = firstRow; r < firstRow + rows; ++r) {
        const int64_t cr = map.coarseRow[static_cast<size_t>(r)];
        if (cr >= 0) {
            lowest = lowest < 0 ? cr : std::min(lowest, cr);
            highest = std::max(highest, cr);
        }
    }
    CoarseRows span;
    span.first = h;
    span.count = lines;
    span.any = lowest >= 0;
    if (span.any) {
        span.first = lines > 0 ? std::min(lowest, h) : lowest;
        const int64_t bottom = lines > 0 ? std::max(highest + 1, h + lines) : highest + 1;
        span.count = bottom - span.first;
    }
    return span;
}

void countPairs(const PairMap &map, const uint8_t *fineRows, int64_t firstRow, int64_t rows,
                int64_t width, const uint8_t *coarseRows, int64_t coarseFirst, int64_t coarseWidth,
                uint64_t *table) {
    const int32_t *columns = map.coarseColumn.data();
    for (int64_t r = 0; r < rows; ++r) {
        const int64_t cr = map.coarseRow[static_cast<size_t>(firstRow + r)];
        if (cr < 0) {
            continue;
        }
        const uint8_t *fineLine = fineRows + r * width;
        const uint8_t *coarseLine = coarseRows + (cr - coarseFirst) * coarseWidth;
        for (const auto &run : map.insideRuns) {
            for (int64_t c = run.first; c < run.second; ++c) {
                ++table[(static_cast<size_t>(fineLine[c]) << 8) | coarseLine[columns[c]]];
            }
        }
    }
}

} // namespace veg::stats
