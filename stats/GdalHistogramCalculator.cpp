// Counting of byte values into histogram bins, plain and by mask category.
#include "GdalHistogramCalculator.h"

#include <cpl_vsi.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>
#include <new>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

namespace {

struct VsiFreeDeleter {
    void operator()(uint8_t *buffer) const { VSIFree(buffer); }
};
using RasterBuffer = std::unique_ptr<uint8_t, VsiFreeDeleter>;

// A pixel position as an integer, truncated toward zero; far-away or undefined positions become
// values no raster index reaches.
int64_t toIndex(double value) {
    if (std::isnan(value)) {
        return INT64_MIN / 4;
    }
    value = std::max(-1e15, std::min(1e15, value));
    return static_cast<int64_t>(value);
}

// Byte values k counted by a bin: trunc(low) <= k < high, within 0..255. Returns [first, end).
void byteRange(double low, double high, int &first, int &end) {
    first = 0;
    end = 0;
    if (std::isnan(low) || std::isnan(high)) {
        return;
    }
    const double start = std::trunc(low);
    if (start > 255) {
        return;
    }
    first = start < 0 ? 0 : static_cast<int>(start);
    end = first;
    while (end <= 255 && end < high) {
        ++end;
    }
}

// Adds the byte values of data[0..size) to counts; four tables keep repeated values from
// waiting on one another.
void countBytes(const uint8_t *data, size_t size, uint64_t counts[256]) {
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

bool usablePixelSize(const double *transform) {
    return std::isfinite(transform[1]) && std::isfinite(transform[5]) && transform[1] != 0 &&
           transform[5] != 0 && std::isfinite(transform[0]) && std::isfinite(transform[3]);
}

void printCategory(const GdalHistogramBinsByCat &category) {
    std::cout << "\n";
    std::cout << "Crop index:" << category.ordinal << ";code=" << category.code << ";category='"
              << category.name << "'\n";
    for (const auto &bin : category.bins) {
        std::cout << bin.id << "('" << bin.name << "'):" << bin.count << "," << bin.acreage << ","
                  << bin.low << "," << bin.high << "\n";
    }
}

} // namespace

bool GdalHistogramCalculator::FileExists(const std::string &path) {
    return access(path.c_str(), F_OK) == 0;
}

void GdalHistogramCalculator::reset() {
    dataFile.clear();
    bins.clear();
    categories.clear();
}

int GdalHistogramCalculator::fail(const std::string &reason) {
    failure = reason;
    return 0;
}

int GdalHistogramCalculator::startCalc(const char *line, const std::string &data,
                                       const std::string *mask) {
    std::cout << line << data << "\n";
    reset();
    failure.clear();
    if (!FileExists(data)) {
        return fail("data file '" + data + "' does not exist");
    }
    if (mask != nullptr && !FileExists(*mask)) {
        return fail("mask file '" + *mask + "' does not exist");
    }
    dataFile = data;
    if (mask != nullptr) {
        maskFile = *mask;
    }
    return 1;
}

int GdalHistogramCalculator::calc(std::string data) {
    int done = startCalc("In calc: Filename=", data, nullptr) && calc();
    success = done == 1;
    return done;
}

int GdalHistogramCalculator::calc(std::string data, std::string mask) {
    maskNumber = -1;
    int done = startCalc("In calc2:Filename=", data, &mask) && calc2();
    success = done == 1;
    return done;
}

int GdalHistogramCalculator::calc(std::string data, std::string mask, int number) {
    int done = startCalc("calc3:Filename=", data, &mask);
    if (done) {
        maskNumber = number;
        if (number < 0 || number > 255) {
            done =
                fail("mask number " + std::to_string(number) + " is not a mask value (0 to 255)");
        } else {
            done = calc2();
        }
    }
    success = done == 1;
    return done;
}

bool GdalHistogramCalculator::prepareBreaks(double min, double max) {
    if (config.hasMinMax == 0) {
        config.hasMinMax = 1;
        config.minVal = min;
        config.maxVal = max;
        config.postLoadSection();
    }
    const size_t count = config.breaks.size();
    if (config.breakCount < 0 || static_cast<size_t>(config.breakCount) != count) {
        std::cout << "Error: there is no breaks for everone.\n";
        fail("the configuration expects " + std::to_string(config.breakCount) + " breaks but has " +
             std::to_string(count));
        return false;
    }
    return true;
}

std::vector<GdalHistogramBin> GdalHistogramCalculator::binsFromBreaks(bool printIndex) const {
    const size_t count = config.breaks.size();
    std::vector<GdalHistogramBin> made(count);
    for (size_t i = 0; i < count; ++i) {
        made[i].id = static_cast<int>(i) + 1;
    }
    for (const auto &item : config.breaks) {
        if (printIndex) {
            std::cout << "aindex=" << (item.id - 1) << "\n";
        }
        // A break whose id names no bin fills nothing.
        if (item.id < 1 || static_cast<size_t>(item.id) > count) {
            continue;
        }
        GdalHistogramBin &bin = made[static_cast<size_t>(item.id) - 1];
        bin.name = item.name;
        bin.low = item.low;
        bin.high = item.high;
    }
    return made;
}

int GdalHistogramCalculator::setHbins(double min, double max) {
    std::cout << "setHbins....\n";
    bins.clear();
    if (!prepareBreaks(min, max)) {
        return 0;
    }
    bins = binsFromBreaks(true);
    for (size_t i = 0; i < bins.size(); ++i) {
        std::cout << "i=" << i << "(" << bins[i].name << "):" << bins[i].id
                  << ";low:" << bins[i].low << ";high=" << bins[i].high << "\n";
    }
    return 1;
}

int GdalHistogramCalculator::setHcatbins(int n, double min, double max) {
    categories.clear();
    if (!prepareBreaks(min, max)) {
        return 0;
    }
    if (n <= 0) {
        return 1;
    }
    const std::vector<GdalHistogramBin> fresh = binsFromBreaks(false);
    for (int c = 1; c <= n; ++c) {
        GdalHistogramBinsByCat category;
        category.ordinal = c;
        category.bins = fresh;
        categories.push_back(std::move(category));
    }
    return 1;
}

int GdalHistogramCalculator::calc() {
    std::cout << "In calc()....\n";
    if (dataFile.empty()) {
        return fail("no data file given");
    }
    GdalUint8Reader reader(dataFile);
    if (!reader.opened) {
        return fail("cannot open '" + dataFile + "' as a raster");
    }
    if (!setHbins(reader.minValue, reader.maxValue)) {
        return 0;
    }

    uint64_t counts[256] = {};
    const int64_t width = std::max(1, reader.xSize);
    const int64_t rowsPerBlock = std::max<int64_t>(1, blockBytes / width);
    const int64_t blocks = reader.ySize / rowsPerBlock;
    const int64_t remaining = reader.ySize % rowsPerBlock;
    std::cout << "nloops=" << blocks << ";nlines=" << remaining << ";buflines=" << rowsPerBlock
              << "\n";
    for (int64_t block = 0; block <= blocks; ++block) {
        const int64_t rows = block < blocks ? rowsPerBlock : remaining;
        if (rows == 0) {
            continue;
        }
        RasterBuffer buffer(reader.read(0, static_cast<int>(block * rowsPerBlock), reader.xSize,
                                        static_cast<int>(rows)));
        if (!buffer) {
            bins.clear();
            return fail("cannot read band 1 of '" + dataFile + "' as 8-bit values");
        }
        countBytes(buffer.get(), static_cast<size_t>(rows) * static_cast<size_t>(reader.xSize),
                   counts);
    }
    for (uint64_t count : counts) {
        std::cout << count << " ";
    }
    std::cout << "\n";

    uint64_t total = 0;
    double weighted = 0;
    for (size_t i = 0; i < bins.size(); ++i) {
        GdalHistogramBin &bin = bins[i];
        int first = 0;
        int end = 0;
        byteRange(bin.low, bin.high, first, end);
        for (int k = first; k < end; ++k) {
            std::cout << "i=" << i << ",j=" << k << ",low=" << bin.low << ",high=" << bin.high
                      << "\n";
            bin.count += counts[k];
            total += counts[k];
            weighted += (k * config.scale + config.offset) * static_cast<double>(counts[k]);
        }
    }
    mean = total > 0 ? weighted / static_cast<double>(total) : 0;

    double totalAcreage = 0;
    for (auto &bin : bins) {
        bin.acreage = static_cast<double>(bin.count) * reader.geoTransform[1] *
                      reader.geoTransform[5] * kAcresPerSquareMetre;
        totalAcreage += bin.acreage;
    }
    if (totalAcreage > 0) {
        for (auto &bin : bins) {
            bin.percentage = bin.acreage / totalAcreage;
        }
    }
    for (const auto &bin : bins) {
        std::cout << bin.id << "('" << bin.name << "')," << bin.low << "," << bin.high << ","
                  << bin.count << "," << bin.acreage << "," << bin.percentage << "\n";
    }
    return 1;
}

int GdalHistogramCalculator::calc2() {
    std::cout << "In calc2()....\n";
    if (dataFile.empty()) {
        return fail("no data file given");
    }
    std::unique_ptr<uint64_t[]> table(new (std::nothrow) uint64_t[kPairTableSize]());
    if (!table) {
        std::cout << "Error: Cannot allocate enough memory for histogram calculation!\n";
        return fail("not enough memory for the pair table");
    }
    GdalUint8Reader data(dataFile);
    if (!data.opened) {
        return fail("cannot open '" + dataFile + "' as a raster");
    }
    GdalUint8Reader mask(maskFile);
    if (!mask.opened) {
        return fail("cannot open '" + maskFile + "' as a raster");
    }
    if (!usablePixelSize(data.geoTransform) || !usablePixelSize(mask.geoTransform)) {
        return fail("'" + dataFile + "' and '" + maskFile +
                    "' need a finite origin and a non-zero pixel size");
    }

    // The table is indexed by (fine value, coarse value): (mask, data) when the data is coarse.
    const bool dataCoarse = data.geoTransform[1] > mask.geoTransform[1];
    GdalUint8Reader &fine = dataCoarse ? mask : data;
    int done = dataCoarse ? calc21(data, mask, table.get()) : calc21(mask, data, table.get());
    std::cout << (dataCoarse ? "calc2====" : "calc22====") << "\n";
    if (!done) {
        return fail("cannot read band 1 of '" + dataFile + "' and '" + maskFile +
                    "' as 8-bit values");
    }
    const size_t maskStride = dataCoarse ? 256 : 1;
    const size_t dataStride = dataCoarse ? 1 : 256;
    auto pairs = [&](int m, int d) {
        return table[static_cast<size_t>(m) * maskStride + static_cast<size_t>(d) * dataStride];
    };

    for (int m = 0; m <= 1; ++m) {
        std::cout << "crop=" << m << "\n";
        for (int d = 0; d < 256; ++d) {
            std::cout << pairs(m, d) << " ";
        }
        std::cout << "\n\n";
    }
    std::vector<int> codes;
    for (int m = 0; m < 256; ++m) {
        uint64_t sum = 0;
        for (int d = 0; d < 256; ++d) {
            sum += pairs(m, d);
        }
        if (sum > 0) {
            codes.push_back(m);
        }
    }
    std::cout << "non-zero crops:" << codes.size() << "\n";
    if (maskNumber >= 0) {
        codes.assign(1, maskNumber);
    }
    if (!setHcatbins(static_cast<int>(codes.size()), data.minValue, data.maxValue)) {
        return 0;
    }
    std::cout << "Before Area summation done: \n";
    for (const auto &category : categories) {
        printCategory(category);
    }

    uint64_t total = 0;
    double weighted = 0;
    for (size_t c = 0; c < categories.size(); ++c) {
        GdalHistogramBinsByCat &category = categories[c];
        category.code = codes[c];
        std::cout << "ci=" << c << "\n";
        for (auto &bin : category.bins) {
            int first = 0;
            int end = 0;
            byteRange(bin.low, bin.high, first, end);
            for (int k = first; k < end; ++k) {
                const uint64_t count = pairs(category.code, k);
                bin.count += count;
                // The mean is formed from the pair counts whichever raster is the fine one.
                total += count;
                weighted += (k * config.scale + config.offset) * static_cast<double>(count);
            }
        }
        for (auto &bin : category.bins) {
            bin.acreage = static_cast<double>(bin.count) * fine.geoTransform[1] *
                          fine.geoTransform[5] * kAcresPerSquareMetre;
        }
    }
    mean = total > 0 ? weighted / static_cast<double>(total) : 0;
    std::cout << "Area summation done: \n";
    for (const auto &category : categories) {
        printCategory(category);
    }
    return 1;
}

int GdalHistogramCalculator::calc21(GdalUint8Reader &coarse, GdalUint8Reader &fine,
                                    uint64_t *table) {
    const double *a = coarse.geoTransform;
    const double *b = fine.geoTransform;
    int64_t startCol = toIndex((std::max(b[0], a[0]) - b[0]) / b[1]);
    int64_t startRow = toIndex((std::min(b[3], a[3]) - b[3]) / b[5]);
    int64_t endCol =
        toIndex((std::min(b[0] + fine.xSize * b[1], a[0] + coarse.xSize * a[1]) - b[0]) / b[1]);
    int64_t endRow =
        toIndex((std::max(b[3] + fine.ySize * b[5], a[3] + coarse.ySize * a[5]) - b[3]) / b[5]);
    startCol = std::max<int64_t>(0, startCol);
    startRow = std::max<int64_t>(0, startRow);
    endCol = std::min<int64_t>(endCol, fine.xSize - 1);
    endRow = std::min<int64_t>(endRow, fine.ySize - 1);
    std::cout << "FIRST startcol=" << startCol << ";startrow=" << startRow << ";endcol=" << endCol
              << ";endrow=" << endRow << "\n";

    const int64_t width = endCol - startCol + 1;
    const int64_t rows = endRow - startRow + 1;
    if (width < 1 || rows < 1) {
        std::cout << "LOOPS to be processed: 0\n";
        return 1;
    }
    const int64_t rowsPerBlock = std::max<int64_t>(1, blockBytes / width);
    const int64_t coarseRowsPerBlock = toIndex(static_cast<double>(rowsPerBlock) * b[5] / a[5]) + 2;
    const int64_t blocks = rows / rowsPerBlock;
    const int64_t remaining = rows % rowsPerBlock;
    std::cout << "LOOPS to be processed: " << blocks << "\n";

    // The coarse column of every window column, and the runs of window columns that fall
    // inside the coarse raster; with these the pixel loop neither divides nor tests bounds.
    // A fine pixel belongs to the coarse pixel holding its upper-left corner (rounding down,
    // so that a corner just outside the coarse raster is not pulled into its edge pixels).
    std::vector<int32_t> coarseColumn(static_cast<size_t>(width));
    std::vector<std::pair<int64_t, int64_t>> runs;
    for (int64_t c = 0; c < width; ++c) {
        const int64_t cc = toIndex(std::floor(((startCol + c) * b[1] + b[0] - a[0]) / a[1]));
        const bool inside = cc >= 0 && cc < coarse.xSize;
        coarseColumn[static_cast<size_t>(c)] = inside ? static_cast<int32_t>(cc) : -1;
        if (inside) {
            if (!runs.empty() && runs.back().second == c) {
                runs.back().second = c + 1;
            } else {
                runs.emplace_back(c, c + 1);
            }
        }
    }
    // The coarse row of every window row; -1 outside the coarse raster.
    std::vector<int64_t> coarseRow(static_cast<size_t>(rows));
    for (int64_t r = 0; r < rows; ++r) {
        const int64_t cr = toIndex(std::floor(((startRow + r) * b[5] + b[3] - a[3]) / a[5]));
        coarseRow[static_cast<size_t>(r)] = cr >= 0 && cr < coarse.ySize ? cr : -1;
    }

    auto countBlock = [&](int64_t first, int64_t count) -> bool {
        int64_t h = toIndex((first * b[5] + b[3] - a[3]) / a[5]) - 1;
        int64_t lines = coarseRowsPerBlock;
        if (h < 0) {
            lines += h;
            h = 0;
        }
        lines = std::min(lines, coarse.ySize - h);
        // Widen the coarse window to every coarse row the block's fine rows fall in.
        int64_t lowest = -1;
        int64_t highest = -1;
        for (int64_t r = first; r < first + count; ++r) {
            const int64_t cr = coarseRow[static_cast<size_t>(r - startRow)];
            if (cr >= 0) {
                lowest = lowest < 0 ? cr : std::min(lowest, cr);
                highest = std::max(highest, cr);
            }
        }
        if (lowest >= 0) {
            const int64_t top = lines > 0 ? std::min(lowest, h) : lowest;
            const int64_t bottom = lines > 0 ? std::max(highest + 1, h + lines) : highest + 1;
            h = top;
            lines = bottom - top;
        }
        std::cout << "Read....dnstartlines=" << h << ":tdbuflines=" << lines << "\n";
        if (lowest < 0 || runs.empty()) {
            return true;
        }
        RasterBuffer coarseRows(
            coarse.read(0, static_cast<int>(h), coarse.xSize, static_cast<int>(lines)));
        RasterBuffer fineRows(fine.read(static_cast<int>(startCol), static_cast<int>(first),
                                        static_cast<int>(width), static_cast<int>(count)));
        if (!coarseRows || !fineRows) {
            return false;
        }
        const int32_t *columns = coarseColumn.data();
        for (int64_t r = 0; r < count; ++r) {
            const int64_t cr = coarseRow[static_cast<size_t>(first + r - startRow)];
            if (cr < 0) {
                continue;
            }
            const uint8_t *fineLine = fineRows.get() + r * width;
            const uint8_t *coarseLine = coarseRows.get() + (cr - h) * coarse.xSize;
            for (const auto &run : runs) {
                for (int64_t c = run.first; c < run.second; ++c) {
                    ++table[(static_cast<size_t>(fineLine[c]) << 8) | coarseLine[columns[c]]];
                }
            }
        }
        return true;
    };

    for (int64_t i = 0; i < blocks; ++i) {
        const int64_t first = startRow + i * rowsPerBlock;
        std::cout << "Processing loop .... nstartliens=" << first << ":buflines=" << rowsPerBlock
                  << ":startrow=" << startRow << ":nloop=" << i << "\n";
        if (!countBlock(first, rowsPerBlock)) {
            return 0;
        }
    }
    if (remaining > 0) {
        std::cout << "nlines=" << remaining << "\n";
        if (!countBlock(startRow + blocks * rowsPerBlock, remaining)) {
            return 0;
        }
    }
    return 1;
}

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
