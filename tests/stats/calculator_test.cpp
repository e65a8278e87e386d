// The band reader and the histogram calculator against counts made here, pixel by pixel, on
// generated GeoTIFFs with known geotransforms.
#include "GdalHistogramCalculator.h"
#include "GdalUint8Reader.h"
#include "gdalutil.h"

#include "support/geotiff.h"
#include "support/tempdir.h"

#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using edu::tovan::merel::app::HistogramBreak;
using edu::tovan::merel::app::HistogramConfig;
using edu::tovan::merel::gdal::GdalHistogramCalculator;
using edu::tovan::merel::gdal::GdalUint8Reader;
using edu::tovan::merel::gdal::GdalUtil;
using testsupport::RasterSpec;
using testsupport::TempDir;

namespace {

const double kAcresPer30mPixel = 0.22239450;

RasterSpec layout(int width, int height, double x0, double y0, double pixelWidth,
                  double pixelHeight) {
    RasterSpec s;
    s.width = width;
    s.height = height;
    s.geoTransform = {{x0, pixelWidth, 0, y0, 0, pixelHeight}};
    s.wkt = "EPSG:5070";
    return s;
}

std::vector<uint8_t> randomValues(size_t count, unsigned seed, int high = 255) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> value(0, high);
    std::vector<uint8_t> values(count);
    for (auto &v : values) {
        v = static_cast<uint8_t>(value(generator));
    }
    return values;
}

// A configuration of explicit breaks (type 2) with breakCount set to their number.
HistogramConfig explicitBreaks(const std::vector<HistogramBreak> &breaks, double scale = 1,
                               double offset = 0) {
    HistogramConfig config;
    config.type = 2;
    config.hasMinMax = 1;
    config.breaks = breaks;
    config.breakCount = static_cast<int>(breaks.size());
    config.scale = scale;
    config.offset = offset;
    return config;
}

// Whether byte value v lies in a break, written from the rule: the integer part of low <= v < high.
bool inBreak(int v, const HistogramBreak &item) {
    return std::floor(std::fabs(item.low)) * (item.low < 0 ? -1 : 1) <= v && v < item.high;
}

const std::vector<HistogramBreak> kOddBreaks = {
    {1, "a", 0, 1},     {2, "b", 1, 2},       {3, "frac", 0.5, 3}, {4, "overlap", 2, 40.5},
    {5, "gap", 60, 61}, {6, "top", 250, 300}, {7, "neg", -3, 0.2}, {8, "empty", 7, 7},
};

} // namespace

TEST(GdalUint8Reader, OpensAndReads) {
    TempDir dir;
    const std::vector<uint8_t> values = randomValues(12, 1);
    testsupport::writeByteGeoTiff(dir.file("a.tif"), layout(4, 3, 100, 200, 30, -30), values);
    GdalUint8Reader reader(dir.file("a.tif"));
    ASSERT_TRUE(reader.opened);
    EXPECT_EQ(reader.xSize, 4);
    EXPECT_EQ(reader.ySize, 3);
    EXPECT_EQ(reader.minValue, 0);
    EXPECT_EQ(reader.maxValue, 255);
    EXPECT_DOUBLE_EQ(reader.geoTransform[0], 100);
    EXPECT_DOUBLE_EQ(reader.geoTransform[5], -30);
    EXPECT_NE(reader.projection.find("Albers"), std::string::npos);

    struct Window {
        int x, y, w, h;
        bool ok;
    };
    const Window windows[] = {{0, 0, 4, 1, true},  {1, 1, 2, 2, true},  {0, 2, 4, 1, true},
                              {0, 0, 4, 4, false}, {3, 0, 2, 1, false}, {-1, 0, 1, 1, false},
                              {0, 0, 0, 1, false}};
    for (const auto &w : windows) {
        uint8_t *buffer = reader.read(w.x, w.y, w.w, w.h);
        ASSERT_EQ(buffer != nullptr, w.ok) << w.x << "," << w.y << " " << w.w << "x" << w.h;
        for (int r = 0; buffer && r < w.h; ++r) {
            for (int c = 0; c < w.w; ++c) {
                EXPECT_EQ(buffer[r * w.w + c],
                          values[static_cast<size_t>((w.y + r) * 4 + w.x + c)]);
            }
        }
        VSIFree(buffer);
    }
    const std::string projection = reader.projection;
    EXPECT_TRUE(reader.open());
    EXPECT_EQ(reader.projection, projection);
    reader.close();
    EXPECT_EQ(reader.dataset, nullptr);
    EXPECT_EQ(reader.read(0, 0, 1, 1), nullptr);
}

TEST(GdalUint8Reader, StoredRangeKeepsTheLowByte) {
    TempDir dir;
    testsupport::writeByteGeoTiff(dir.file("s.tif"), layout(2, 2, 0, 0, 1, -1), {1, 2, 3, 4});
    {
        GDALAllRegister();
        GDALDatasetUniquePtr ds(GDALDataset::Open(dir.file("s.tif").c_str(), GDAL_OF_UPDATE));
        ASSERT_TRUE(ds);
        ds->GetRasterBand(1)->SetStatistics(12.7, 300, 100, 5);
    }
    GdalUint8Reader reader(dir.file("s.tif"));
    ASSERT_TRUE(reader.opened);
    EXPECT_EQ(reader.minValue, 12);
    EXPECT_EQ(reader.maxValue, 44);
}

TEST(GdalUint8Reader, RefusesWhatIsNotAByteRaster) {
    TempDir dir;
    testsupport::writeInt16GeoTiff(dir.file("i.tif"), layout(2, 1, 0, 0, 1, -1), {1, 2});
    testsupport::writeFile(dir.file("t.tif"), "not a raster");
    GdalUint8Reader wide(dir.file("i.tif"));
    EXPECT_TRUE(wide.opened);
    EXPECT_EQ(wide.read(0, 0, 2, 1), nullptr);
    GdalUint8Reader text(dir.file("t.tif"));
    EXPECT_FALSE(text.opened);
    GdalUint8Reader missing(dir.file("none.tif"));
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(GdalUint8Reader::FileExists(dir.file("none.tif")));
    EXPECT_TRUE(GdalUint8Reader::FileExists(dir.file("t.tif")));
}

TEST(GdalUtil, DescribesARaster) {
    TempDir dir;
    testsupport::writeByteGeoTiff(dir.file("a.tif"), layout(4, 3, 100, 200, 30, -30),
                                  {1, 2, 3, 4, 5, 6, 7, 8, 9, 255, 11, 12});
    std::ostringstream described;
    EXPECT_EQ(GdalUtil::readUint8Band(dir.file("a.tif").c_str(), described), 1);
    const std::string out = described.str();
    EXPECT_EQ(out.substr(0, out.find("Projection")),
              "file=" + dir.file("a.tif") +
                  "\nFile is open.....\nDriver: GTiff/GeoTIFF\n"
                  "Size is 4x3x1\n");
    const std::string tail =
        "Origin = (100.000000,200.000000)\nPixel Size = (30.000000,-30.000000)\n"
        "Block=4x3 Type=Byte, ColorInterp=Gray\nMin=1.000d, Max=255.000\n"
        "nXsize=4\n\nnXsize=4\n9 11 12 \n";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail);

    testing::internal::CaptureStdout();
    EXPECT_EQ(GdalUtil::readUint8Band(dir.file("none.tif").c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "file=" + dir.file("none.tif") + "\n");
}

TEST(GdalHistogramCalculator, PlainModeMatchesAnIndependentCount) {
    struct Case {
        const char *what;
        int width, height;
        double pixelHeight;
        int64_t blockBytes;
    };
    const Case cases[] = {
        {"one block", 37, 23, -30, 300000000},
        {"blocks with remainder", 37, 23, -30, 37 * 5},
        {"row wider than a block", 37, 23, -30, 10},
        {"south-up", 9, 4, 30, 300000000},
    };
    for (const auto &c : cases) {
        TempDir dir;
        const auto values =
            randomValues(static_cast<size_t>(c.width) * static_cast<size_t>(c.height), 7);
        testsupport::writeByteGeoTiff(
            dir.file("d.tif"), layout(c.width, c.height, 500, 900, 30, c.pixelHeight), values);
        GdalHistogramCalculator calculator;
        calculator.config = explicitBreaks(kOddBreaks, 0.5, -2);
        calculator.blockBytes = c.blockBytes;
        ASSERT_EQ(calculator.calc(dir.file("d.tif")), 1) << c.what;
        ASSERT_EQ(calculator.bins.size(), kOddBreaks.size());
        ASSERT_TRUE(calculator.success);

        uint64_t total = 0;
        double weighted = 0;
        double totalAcres = 0;
        for (size_t i = 0; i < kOddBreaks.size(); ++i) {
            uint64_t expected = 0;
            for (uint8_t v : values) {
                if (inBreak(v, kOddBreaks[i])) {
                    ++expected;
                    weighted += v * 0.5 - 2;
                }
            }
            total += expected;
            const auto &bin = calculator.bins[i];
            EXPECT_EQ(bin.count, expected) << c.what << " bin " << bin.name;
            EXPECT_EQ(bin.name, kOddBreaks[i].name);
            const double acres =
                static_cast<double>(expected) * kAcresPer30mPixel * (c.pixelHeight < 0 ? 1 : -1);
            EXPECT_NEAR(bin.acreage, acres, 1e-9 * (1 + std::fabs(acres))) << c.what;
            totalAcres += acres;
        }
        EXPECT_NEAR(calculator.mean, weighted / static_cast<double>(total), 1e-9) << c.what;
        for (const auto &bin : calculator.bins) {
            const double share = totalAcres > 0 ? bin.acreage / totalAcres : 0;
            EXPECT_NEAR(bin.percentage, share, 1e-12) << c.what;
        }
    }
}

TEST(GdalHistogramCalculator, BreakBoundaries) {
    TempDir dir;
    testsupport::writeByteGeoTiff(dir.file("d.tif"), layout(6, 1, 0, 0, 30, -30),
                                  {0, 1, 1, 2, 3, 255});
    GdalHistogramCalculator calculator;
    calculator.config = explicitBreaks(
        {{1, "0 - 1", 0, 1}, {2, "1 - 2", 1, 2}, {3, "half", 0.5, 3}, {4, "top", 255, 256}});
    ASSERT_EQ(calculator.calc(dir.file("d.tif")), 1);
    const uint64_t expected[] = {1, 2, 4, 1};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(calculator.bins[i].count, expected[i]) << calculator.bins[i].name;
    }
    EXPECT_NEAR(calculator.bins[0].acreage, kAcresPer30mPixel, 1e-12);
}

TEST(GdalHistogramCalculator, RangeFromTheRasterGeneratesBreaks) {
    TempDir dir;
    testsupport::writeByteGeoTiff(dir.file("d.tif"), layout(4, 1, 0, 0, 30, -30), {0, 10, 20, 255});
    GdalHistogramCalculator calculator;
    calculator.config.type = 3;
    calculator.config.interval = 64;
    calculator.config.breakCount = 4;
    ASSERT_EQ(calculator.calc(dir.file("d.tif")), 1);
    ASSERT_EQ(calculator.bins.size(), 4u);
    EXPECT_EQ(calculator.bins[0].count, 3u);
    EXPECT_EQ(calculator.bins[3].name, "192 - 256");
    EXPECT_EQ(calculator.bins[3].count, 1u);
}

TEST(GdalHistogramCalculator, FailuresLeaveEmptyResults) {
    TempDir dir;
    testsupport::writeByteGeoTiff(dir.file("d.tif"), layout(2, 1, 0, 0, 30, -30), {1, 2});
    testsupport::writeInt16GeoTiff(dir.file("i.tif"), layout(2, 1, 0, 0, 30, -30), {1, 2});
    testsupport::writeFile(dir.file("t.tif"), "text");
    struct Case {
        const char *what;
        std::string data;
        std::string mask; // "" for plain mode
        int breakCount;
        const char *reason;
    };
    const Case cases[] = {
        {"missing data", dir.file("none.tif"), "", 1, "data file"},
        {"missing mask", dir.file("d.tif"), dir.file("none.tif"), 1, "mask file"},
        {"not a raster", dir.file("t.tif"), "", 1, "cannot open"},
        {"not 8-bit", dir.file("i.tif"), "", 1, "8-bit"},
        {"not 8-bit mask", dir.file("d.tif"), dir.file("i.tif"), 1, "8-bit"},
        {"break count mismatch", dir.file("d.tif"), "", 3, "expects 3 breaks"},
    };
    for (const auto &c : cases) {
        GdalHistogramCalculator calculator;
        calculator.config = explicitBreaks({{1, "all", 0, 256}});
        calculator.config.breakCount = c.breakCount;
        calculator.bins.resize(2);
        const int done = c.mask.empty() ? calculator.calc(c.data) : calculator.calc(c.data, c.mask);
        EXPECT_EQ(done, 0) << c.what;
        EXPECT_FALSE(calculator.success) << c.what;
        EXPECT_TRUE(calculator.bins.empty()) << c.what;
        EXPECT_TRUE(calculator.categories.empty()) << c.what;
        EXPECT_NE(calculator.failure.find(c.reason), std::string::npos)
            << c.what << ": " << calculator.failure;
    }
}

namespace {

struct Grid {
    int width, height;
    double x0, y0, pixelWidth, pixelHeight;
    std::vector<uint8_t> values;
};

// Pair counts (mask value, data value) made by walking the finer grid and finding the coarse
// pixel that holds each fine pixel's upper-left corner.
std::map<std::pair<int, int>, uint64_t> pairCounts(const Grid &data, const Grid &mask) {
    const bool dataCoarse = data.pixelWidth > mask.pixelWidth;
    const Grid &fine = dataCoarse ? mask : data;
    const Grid &coarse = dataCoarse ? data : mask;
    std::map<std::pair<int, int>, uint64_t> counts;
    for (int r = 0; r < fine.height; ++r) {
        for (int c = 0; c < fine.width; ++c) {
            const double x = fine.x0 + c * fine.pixelWidth;
            const double y = fine.y0 + r * fine.pixelHeight;
            const double column = (x - coarse.x0) / coarse.pixelWidth;
            const double row = (y - coarse.y0) / coarse.pixelHeight;
            if (column < 0 || row < 0 || column >= coarse.width || row >= coarse.height) {
                continue;
            }
            const int fineValue = fine.values[static_cast<size_t>(r * fine.width + c)];
            const int coarseValue = coarse.values[static_cast<size_t>(
                static_cast<int>(row) * coarse.width + static_cast<int>(column))];
            const int m = dataCoarse ? fineValue : coarseValue;
            const int d = dataCoarse ? coarseValue : fineValue;
            ++counts[{m, d}];
        }
    }
    return counts;
}

Grid grid(int width, int height, double x0, double y0, double pixel, unsigned seed, int high) {
    Grid g{width, height, x0, y0, pixel, -pixel, {}};
    g.values = randomValues(static_cast<size_t>(width) * static_cast<size_t>(height), seed, high);
    return g;
}

void writeGrid(const std::string &path, const Grid &g) {
    testsupport::writeByteGeoTiff(
        path, layout(g.width, g.height, g.x0, g.y0, g.pixelWidth, g.pixelHeight), g.values);
}

} // namespace

TEST(GdalHistogramCalculator, MaskModeMatchesAnIndependentPairing) {
    struct Case {
        const char *what;
        Grid data;
        Grid mask;
        int64_t blockBytes;
    };
    const Case cases[] = {
        {"same grid", grid(17, 11, 1000, 5000, 30, 1, 255), grid(17, 11, 1000, 5000, 30, 2, 3),
         300000000},
        {"coarser mask", grid(20, 14, 1000, 5000, 30, 3, 255), grid(6, 5, 940, 5060, 90, 4, 4),
         300000000},
        {"coarser mask, offset, blocks", grid(20, 14, 1000, 5000, 30, 5, 255),
         grid(5, 4, 1020, 4980, 120, 6, 2), 20 * 3},
        {"finer mask", grid(6, 5, 1000, 5000, 240, 7, 255), grid(40, 33, 1100, 4900, 30, 8, 3),
         300000000},
        {"finer mask, blocks", grid(6, 5, 1000, 5000, 240, 9, 255),
         grid(40, 33, 1100, 4900, 30, 10, 3), 40 * 4 + 3},
        {"finer mask wider than the data", grid(3, 3, 1000, 5000, 240, 11, 255),
         grid(50, 50, 700, 5300, 30, 12, 2), 300000000},
        {"finer mask around the data, blocks", grid(3, 3, 1000, 5000, 240, 13, 255),
         grid(50, 50, 700, 5300, 30, 14, 2), 25 * 5 + 1},
        {"coarser mask around the data", grid(9, 7, 1000, 5000, 30, 15, 255),
         grid(9, 9, 880, 5100, 60, 16, 3), 9 * 2},
    };
    for (const auto &c : cases) {
        TempDir dir;
        writeGrid(dir.file("d.tif"), c.data);
        writeGrid(dir.file("m.tif"), c.mask);
        const auto expected = pairCounts(c.data, c.mask);
        GdalHistogramCalculator calculator;
        calculator.config = explicitBreaks(kOddBreaks, 2, 1);
        calculator.blockBytes = c.blockBytes;
        ASSERT_EQ(calculator.calc(dir.file("d.tif"), dir.file("m.tif")), 1) << c.what;
        EXPECT_TRUE(calculator.bins.empty());

        std::map<int, uint64_t> perMask;
        for (const auto &entry : expected) {
            perMask[entry.first.first] += entry.second;
        }
        ASSERT_EQ(calculator.categories.size(), perMask.size()) << c.what;
        const double finePixel = std::min(c.data.pixelWidth, c.mask.pixelWidth);
        uint64_t total = 0;
        double weighted = 0;
        size_t ordinal = 0;
        for (const auto &maskEntry : perMask) {
            const auto &category = calculator.categories[ordinal++];
            EXPECT_EQ(category.ordinal, static_cast<int>(ordinal)) << c.what;
            EXPECT_EQ(category.code, maskEntry.first) << c.what;
            ASSERT_EQ(category.bins.size(), kOddBreaks.size());
            for (size_t i = 0; i < kOddBreaks.size(); ++i) {
                uint64_t count = 0;
                for (const auto &entry : expected) {
                    if (entry.first.first == maskEntry.first &&
                        inBreak(entry.first.second, kOddBreaks[i])) {
                        count += entry.second;
                        weighted +=
                            (entry.first.second * 2 + 1) * static_cast<double>(entry.second);
                    }
                }
                total += count;
                EXPECT_EQ(category.bins[i].count, count)
                    << c.what << " mask " << category.code << " bin " << kOddBreaks[i].name;
                EXPECT_NEAR(category.bins[i].acreage,
                            static_cast<double>(count) * finePixel * finePixel * 0.000247105, 1e-9);
                EXPECT_EQ(category.bins[i].percentage, 0.0);
            }
        }
        EXPECT_NEAR(calculator.mean, total ? weighted / static_cast<double>(total) : 0, 1e-9)
            << c.what;
    }
}

TEST(GdalHistogramCalculator, MaskModeEdgeCases) {
    TempDir dir;
    const Grid data = grid(8, 8, 1000, 5000, 30, 21, 255);
    writeGrid(dir.file("d.tif"), data);
    writeGrid(dir.file("far.tif"), grid(4, 4, 90000, 5000, 30, 22, 3));
    writeGrid(dir.file("m.tif"), grid(8, 8, 1000, 5000, 30, 23, 1));

    GdalHistogramCalculator apart;
    apart.config = explicitBreaks(kOddBreaks);
    apart.mean = 7;
    ASSERT_EQ(apart.calc(dir.file("d.tif"), dir.file("far.tif")), 1);
    EXPECT_TRUE(apart.categories.empty());
    EXPECT_EQ(apart.mean, 0);

    // One category requested: only it is reported, found or not.
    for (int number : {1, 9}) {
        GdalHistogramCalculator one;
        one.config = explicitBreaks({{1, "all", 0, 256}});
        ASSERT_EQ(one.calc(dir.file("d.tif"), dir.file("m.tif"), number), 1);
        ASSERT_EQ(one.categories.size(), 1u);
        EXPECT_EQ(one.categories[0].code, number);
        EXPECT_EQ(one.categories[0].ordinal, 1);
        const auto pairs = pairCounts(data, grid(8, 8, 1000, 5000, 30, 23, 1));
        uint64_t expected = 0;
        for (const auto &entry : pairs) {
            expected += entry.first.first == number ? entry.second : 0;
        }
        EXPECT_EQ(one.categories[0].bins[0].count, expected) << number;
    }
    // Unusual orientations count only pixels that land inside the other raster, and never read
    // outside either one.
    for (double pixelHeight : {30.0, -30.0}) {
        Grid flipped = grid(8, 8, 1240, 4760, 30, 24, 3);
        flipped.pixelWidth = -30;
        flipped.pixelHeight = pixelHeight;
        writeGrid(dir.file("flipped.tif"), flipped);
        GdalHistogramCalculator odd;
        odd.config = explicitBreaks({{1, "all", 0, 256}});
        odd.blockBytes = 9;
        EXPECT_EQ(odd.calc(dir.file("d.tif"), dir.file("flipped.tif")), 1);
        uint64_t counted = 0;
        for (const auto &category : odd.categories) {
            counted += category.bins[0].count;
        }
        EXPECT_LE(counted, 64u);
    }
    GdalHistogramCalculator outside;
    outside.config = explicitBreaks({{1, "all", 0, 256}});
    EXPECT_EQ(outside.calc(dir.file("d.tif"), dir.file("m.tif"), 256), 0);
    EXPECT_FALSE(outside.success);
}

TEST(GdalHistogramCalculator, RealCropRasterCountsEveryPixel) {
    const std::string path =
        std::string(VEG_SOURCE_DIR) + "/tests/data/real/cdl_palouse_epsg3857_30m.tif";
    if (!testsupport::fileExists(path)) {
        FAIL() << "real crop raster missing: " << path;
    }
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> values = testsupport::readByteBand(path, &width, &height);
    GdalHistogramCalculator calculator;
    calculator.config = explicitBreaks({{1, "wheat", 23, 25}, {2, "nodata", 255, 256}});
    calculator.blockBytes = static_cast<int64_t>(width) * 500;
    ASSERT_EQ(calculator.calc(path), 1);
    uint64_t wheat = 0;
    uint64_t nodata = 0;
    for (uint8_t v : values) {
        wheat += (v == 23 || v == 24) ? 1 : 0;
        nodata += v == 255 ? 1 : 0;
    }
    EXPECT_EQ(wheat, 799943u + 284125u);
    EXPECT_EQ(calculator.bins[0].count, wheat);
    EXPECT_EQ(calculator.bins[1].count, nodata);
    EXPECT_NEAR(calculator.bins[0].acreage, static_cast<double>(wheat) * kAcresPer30mPixel, 1e-6);

    // The raster as its own mask: every category holds exactly its own value.
    GdalHistogramCalculator masked;
    masked.config = explicitBreaks({{1, "all", 0, 256}});
    ASSERT_EQ(masked.calc(path, path), 1);
    EXPECT_EQ(masked.categories.size(), 46u);
    for (const auto &category : masked.categories) {
        uint64_t expected = 0;
        for (uint8_t v : values) {
            expected += v == category.code ? 1 : 0;
        }
        EXPECT_EQ(category.bins[0].count, expected) << category.code;
    }
}
