// Histogram calculation: reading the rasters in blocks, counting with the rules of
// HistogramCounting, and the progress lines of each step.
#include "GdalHistogramCalculator.h"

#include "HistogramCounting.h"
#include "textinput.h"

#include <cpl_vsi.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

namespace {

using veg::stats::ValueSum;

struct VsiFreeDeleter {
    void operator()(uint8_t *buffer) const { VSIFree(buffer); }
};
using RasterBuffer = std::unique_ptr<uint8_t, VsiFreeDeleter>;

bool usablePixelSize(const double *transform) {
    return std::isfinite(transform[1]) && std::isfinite(transform[5]) && transform[1] != 0 &&
           transform[5] != 0 && std::isfinite(transform[0]) && std::isfinite(transform[3]);
}

veg::stats::RasterPlace placeOf(const GdalUint8Reader &reader) {
    veg::stats::RasterPlace place;
    place.x0 = reader.geoTransform[0];
    place.y0 = reader.geoTransform[3];
    place.pixelWidth = reader.geoTransform[1];
    place.pixelHeight = reader.geoTransform[5];
    place.xSize = reader.xSize;
    place.ySize = reader.ySize;
    return place;
}

void logCategory(veg::stats::MessageLog &log, const GdalHistogramBinsByCat &category) {
    log << "\n";
    log << "Crop index:" << category.ordinal << ";code=" << category.code << ";category='"
        << category.name << "'\n";
    for (const auto &bin : category.bins) {
        log << bin.id << "('" << bin.name << "'):" << bin.count << "," << bin.acreage << ","
            << bin.low << "," << bin.high << "\n";
    }
}

} // namespace

bool GdalHistogramCalculator::FileExists(const std::string &path) {
    return veg::fileio::fileExists(path);
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
    messages << line << data << "\n";
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
        messages.append(config.messages);
    }
    const size_t count = config.breaks.size();
    if (config.breakCount < 0 || static_cast<size_t>(config.breakCount) != count) {
        messages << "Error: there is no breaks for everone.\n";
        fail("the configuration expects " + std::to_string(config.breakCount) + " breaks but has " +
             std::to_string(count));
        return false;
    }
    return true;
}

std::vector<GdalHistogramBin> GdalHistogramCalculator::binsFromBreaks(bool printIndex) {
    const size_t count = config.breaks.size();
    std::vector<GdalHistogramBin> made(count);
    for (size_t i = 0; i < count; ++i) {
        made[i].id = static_cast<int>(i) + 1;
    }
    for (const auto &item : config.breaks) {
        if (printIndex) {
            messages << "aindex=" << (item.id - 1) << "\n";
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
    messages << "setHbins....\n";
    bins.clear();
    if (!prepareBreaks(min, max)) {
        return 0;
    }
    bins = binsFromBreaks(true);
    for (size_t i = 0; i < bins.size(); ++i) {
        messages << "i=" << i << "(" << bins[i].name << "):" << bins[i].id << ";low:" << bins[i].low
                 << ";high=" << bins[i].high << "\n";
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

bool GdalHistogramCalculator::readByteCounts(GdalUint8Reader &reader, uint64_t counts[256]) {
    const int64_t width = std::max(1, reader.xSize);
    const int64_t rowsPerBlock = std::max<int64_t>(1, blockBytes / width);
    const int64_t blocks = reader.ySize / rowsPerBlock;
    const int64_t remaining = reader.ySize % rowsPerBlock;
    messages << "nloops=" << blocks << ";nlines=" << remaining << ";buflines=" << rowsPerBlock
             << "\n";
    for (int64_t block = 0; block <= blocks; ++block) {
        const int64_t rows = block < blocks ? rowsPerBlock : remaining;
        if (rows == 0) {
            continue;
        }
        RasterBuffer buffer(reader.read(0, static_cast<int>(block * rowsPerBlock), reader.xSize,
                                        static_cast<int>(rows)));
        messages.append(reader.messages);
        if (!buffer) {
            return false;
        }
        veg::stats::countBytes(
            buffer.get(), static_cast<size_t>(rows) * static_cast<size_t>(reader.xSize), counts);
    }
    return true;
}

int GdalHistogramCalculator::calc() {
    messages << "In calc()....\n";
    if (dataFile.empty()) {
        return fail("no data file given");
    }
    GdalUint8Reader reader(dataFile);
    messages.append(reader.messages);
    if (!reader.opened) {
        return fail("cannot open '" + dataFile + "' as a raster");
    }
    if (!setHbins(reader.minValue, reader.maxValue)) {
        return 0;
    }
    uint64_t counts[256] = {};
    if (!readByteCounts(reader, counts)) {
        bins.clear();
        return fail("cannot read band 1 of '" + dataFile + "' as 8-bit values");
    }
    for (uint64_t count : counts) {
        messages << count << " ";
    }
    messages << "\n";
    for (size_t i = 0; i < bins.size(); ++i) {
        const veg::stats::ByteRange range = veg::stats::byteRange(bins[i].low, bins[i].high);
        for (int k = range.first; k < range.end; ++k) {
            messages << "i=" << i << ",j=" << k << ",low=" << bins[i].low
                     << ",high=" << bins[i].high << "\n";
        }
    }

    ValueSum sum;
    veg::stats::addCountsToBins(bins, counts, 1, config.scale, config.offset, sum);
    mean = sum.mean();
    veg::stats::setPercentages(
        bins, veg::stats::setAcreage(bins, reader.geoTransform[1], reader.geoTransform[5]));

    for (const auto &bin : bins) {
        messages << bin.id << "('" << bin.name << "')," << bin.low << "," << bin.high << ","
                 << bin.count << "," << bin.acreage << "," << bin.percentage << "\n";
    }
    return 1;
}

int GdalHistogramCalculator::calc2() {
    messages << "In calc2()....\n";
    if (dataFile.empty()) {
        return fail("no data file given");
    }
    std::unique_ptr<uint64_t[]> table(new (std::nothrow) uint64_t[kPairTableSize]());
    if (!table) {
        messages << "Error: Cannot allocate enough memory for histogram calculation!\n";
        return fail("not enough memory for the pair table");
    }
    GdalUint8Reader data(dataFile);
    messages.append(data.messages);
    if (!data.opened) {
        return fail("cannot open '" + dataFile + "' as a raster");
    }
    GdalUint8Reader mask(maskFile);
    messages.append(mask.messages);
    if (!mask.opened) {
        return fail("cannot open '" + maskFile + "' as a raster");
    }
    if (!usablePixelSize(data.geoTransform) || !usablePixelSize(mask.geoTransform)) {
        return fail("'" + dataFile + "' and '" + maskFile +
                    "' need a finite origin and a non-zero pixel size");
    }

    // The table is indexed by (fine value, coarse value): (mask, data) when the data is coarse.
    const bool dataCoarse = data.geoTransform[1] > mask.geoTransform[1];
    const GdalUint8Reader &fine = dataCoarse ? mask : data;
    int done = dataCoarse ? calc21(data, mask, table.get()) : calc21(mask, data, table.get());
    messages << (dataCoarse ? "calc2====" : "calc22====") << "\n";
    if (!done) {
        return fail("cannot read band 1 of '" + dataFile + "' and '" + maskFile +
                    "' as 8-bit values");
    }
    const size_t maskStride = dataCoarse ? 256 : 1;
    const size_t dataStride = dataCoarse ? 1 : 256;

    // The pair counts of mask values 0 and 1 (outside the crops, and the first crop code).
    for (size_t m = 0; m <= 1; ++m) {
        messages << "crop=" << m << "\n";
        for (size_t d = 0; d < 256; ++d) {
            messages << table[m * maskStride + d * dataStride] << " ";
        }
        messages << "\n\n";
    }
    std::vector<int> codes = veg::stats::occurringCodes(table.get(), maskStride, dataStride);
    messages << "non-zero crops:" << codes.size() << "\n";
    if (maskNumber >= 0) {
        codes.assign(1, maskNumber);
    }
    if (!setHcatbins(static_cast<int>(codes.size()), data.minValue, data.maxValue)) {
        return 0;
    }
    messages << "Before Area summation done: \n";
    for (const auto &category : categories) {
        logCategory(messages, category);
    }

    // The mean is formed from the pair counts whichever raster is the fine one.
    ValueSum sum;
    for (size_t c = 0; c < categories.size(); ++c) {
        GdalHistogramBinsByCat &category = categories[c];
        category.code = codes[c];
        messages << "ci=" << c << "\n";
        veg::stats::addCountsToBins(category.bins,
                                    table.get() + static_cast<size_t>(category.code) * maskStride,
                                    dataStride, config.scale, config.offset, sum);
        veg::stats::setAcreage(category.bins, fine.geoTransform[1], fine.geoTransform[5]);
    }
    mean = sum.mean();
    messages << "Area summation done: \n";
    for (const auto &category : categories) {
        logCategory(messages, category);
    }
    return 1;
}

int GdalHistogramCalculator::calc21(GdalUint8Reader &coarse, GdalUint8Reader &fine,
                                    uint64_t *table) {
    const veg::stats::RasterPlace a = placeOf(coarse);
    const veg::stats::RasterPlace b = placeOf(fine);
    const veg::stats::PairWindow window = veg::stats::pairWindow(a, b);
    messages << "FIRST startcol=" << window.startCol << ";startrow=" << window.startRow
             << ";endcol=" << window.endCol << ";endrow=" << window.endRow << "\n";
    const int64_t width = window.width();
    const int64_t rows = window.rows();
    if (width < 1 || rows < 1) {
        messages << "LOOPS to be processed: 0\n";
        return 1;
    }
    const int64_t rowsPerBlock = std::max<int64_t>(1, blockBytes / width);
    const int64_t coarsePerBlock = veg::stats::coarseRowsPerBlock(a, b, rowsPerBlock);
    const int64_t blocks = rows / rowsPerBlock;
    const int64_t remaining = rows % rowsPerBlock;
    messages << "LOOPS to be processed: " << blocks << "\n";
    const veg::stats::PairMap map = veg::stats::pairMap(a, b, window);

    // Reads the coarse rows under a block of window rows and the block's fine pixels, and counts
    // them; false when a read fails.
    auto countBlock = [&](int64_t firstRow, int64_t count) -> bool {
        const veg::stats::CoarseRows span =
            veg::stats::coarseRowsOfBlock(a, b, map, window, firstRow, count, coarsePerBlock);
        messages << "Read....dnstartlines=" << span.first << ":tdbuflines=" << span.count << "\n";
        if (!span.any || map.insideRuns.empty()) {
            return true;
        }
        RasterBuffer coarseRows(coarse.read(0, static_cast<int>(span.first), coarse.xSize,
                                            static_cast<int>(span.count)));
        messages.append(coarse.messages);
        RasterBuffer fineRows(fine.read(static_cast<int>(window.startCol),
                                        static_cast<int>(window.startRow + firstRow),
                                        static_cast<int>(width), static_cast<int>(count)));
        messages.append(fine.messages);
        if (!coarseRows || !fineRows) {
            return false;
        }
        veg::stats::countPairs(map, fineRows.get(), firstRow, count, width, coarseRows.get(),
                               span.first, coarse.xSize, table);
        return true;
    };

    for (int64_t i = 0; i < blocks; ++i) {
        const int64_t first = window.startRow + i * rowsPerBlock;
        messages << "Processing loop .... nstartliens=" << first << ":buflines=" << rowsPerBlock
                 << ":startrow=" << window.startRow << ":nloop=" << i << "\n";
        if (!countBlock(i * rowsPerBlock, rowsPerBlock)) {
            return 0;
        }
    }
    if (remaining > 0) {
        messages << "nlines=" << remaining << "\n";
        if (!countBlock(blocks * rowsPerBlock, remaining)) {
            return 0;
        }
    }
    return 1;
}

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
