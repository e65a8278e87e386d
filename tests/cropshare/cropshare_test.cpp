// Unit tests of the crop-share rules: names, the clipping command, block counts and shares.
#include "cropshare.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <sstream>
#include <vector>

namespace {

namespace cs = veg::cropshare;

TEST(CropShareParse, WholeNumbersFromTheStartOfTheText) {
    struct Case {
        const char *text;
        int value;
    };
    const Case cases[] = {{"01", 1},
                          {"5", 5},
                          {"-5", -5},
                          {"12x", 12},
                          {"x12", 0},
                          {"", 0},
                          {"99999999999", INT_MAX},
                          {"-99999999999", INT_MIN},
                          {" 7", 7},
                          {"3.9", 3}};
    for (const Case &c : cases)
        EXPECT_EQ(cs::parseWholeNumber(c.text), c.value) << c.text;
}

TEST(CropShareNames, ClipAndPercentageNames) {
    struct Case {
        std::string folder, raster, code, expected;
    };
    const Case cases[] = {
        {"tmp/", "data/ndvi_2024.tif", "01001", "tmp/ndvi_2024-01001.tif"},
        {"tmp", "data/ndvi_2024.tif", "01001", "tmpndvi_2024-01001.tif"},
        {"", "cdl.2022.img", "53075", "cdl.2022-53075.tif"},
        {"/t/", "/a b/c;d", "x", "/t/c;d-x.tif"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(cs::clipName(c.folder, c.raster, c.code), c.expected);
    EXPECT_EQ(cs::percentName("tmp/", "01001", "01", "-5"),
              "tmp/generatedPercent-FIPS-01001-CropCode-01-PercentFilter--5.tif");
    EXPECT_EQ(cs::percentName("tmp", "7", "abc", "0"),
              "tmpgeneratedPercent-FIPS-7-CropCode-abc-PercentFilter-0.tif");
}

TEST(CropShareCommand, PrintedTextAndArgumentVector) {
    EXPECT_EQ(cs::clipCommandText("c b.shp", "01001", "240", "n.tif", "t/n-01001.tif"),
              "gdalwarp -overwrite -cutline c b.shp -cl conus_counties -crop_to_cutline -cwhere "
              "\"FIPS='01001'\" -tr 240 240 n.tif t/n-01001.tif");
    const std::vector<std::string> expected{
        "gdalwarp",         "-overwrite",     "-cutline",     "c b.shp", "-cl", "conus_counties",
        "-crop_to_cutline", "-cwhere",        "FIPS='01001'", "-tr",     "30",  "30",
        "x;y.tif",          "t/x;y-01001.tif"};
    EXPECT_EQ(cs::clipArguments("c b.shp", "01001", "30", "x;y.tif", "t/x;y-01001.tif"), expected);
}

TEST(CropShareRules, SharePercentTruncates) {
    const uint32_t counts[] = {0, 1, 2, 31, 32, 33, 63, 64};
    const uint32_t shares[] = {0, 1, 3, 48, 50, 51, 98, 100};
    for (size_t i = 0; i < 8; ++i)
        EXPECT_EQ(cs::sharePercent(counts[i]), shares[i]) << counts[i];
}

// Block counts against a plain cell-by-cell count, on random crops with few distinct codes.
TEST(CropShareRules, BlockCountsAgreeWithCellByCellCount) {
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        const size_t blocks = 1 + random() % 40;
        const size_t stride = blocks * 8 + random() % 9; // rows may be wider than the blocks
        std::vector<uint8_t> rows(stride * 8);
        const int codes = round % 3 == 0 ? 256 : 3;
        for (uint8_t &v : rows)
            v = static_cast<uint8_t>(random() % codes);
        for (int code : {0, 1, 2, 255}) {
            std::vector<uint8_t> counts(blocks, 77);
            cs::countBlocks(rows.data(), stride, blocks, code, counts.data());
            for (size_t k = 0; k < blocks; ++k) {
                int expected = 0;
                for (size_t r = 0; r < 8; ++r)
                    for (size_t i = 0; i < 8; ++i)
                        expected += rows[r * stride + k * 8 + i] == code;
                ASSERT_EQ(counts[k], expected) << "block " << k << " code " << code;
            }
        }
    }
}

TEST(CropShareRules, CodesOutsideAByteNeverMatch) {
    std::vector<uint8_t> rows(64, 44); // 300 - 256 and -212 + 256
    std::vector<uint8_t> counts(1, 9);
    for (int code : {300, -212, 256, -1}) {
        cs::countBlocks(rows.data(), 8, 1, code, counts.data());
        EXPECT_EQ(counts[0], 0) << code;
    }
    cs::countBlocks(rows.data(), 8, 1, 44, counts.data());
    EXPECT_EQ(counts[0], 64);
}

TEST(CropShareRules, RowsWithFilterAndUnevaluatedCells) {
    struct Case {
        std::vector<uint8_t> counts; // one per evaluated cell
        size_t width;
        int filter;
        uint8_t rejected;
        std::vector<uint8_t> ndvi;
        std::vector<uint8_t> expected;
        uint64_t sum, weight;
    };
    const Case cases[] = {
        {{1, 63, 64, 0}, 4, 0, 255, {10, 20, 30, 40}, {1, 98, 100, 0}, 10 + 1960 + 3000, 199},
        {{1, 63, 64, 0}, 4, 98, 255, {10, 20, 30, 40}, {255, 98, 100, 255}, 4960, 198},
        {{1, 63, 64, 0}, 4, 101, 255, {10, 20, 30, 40}, {255, 255, 255, 255}, 0, 0},
        {{1, 63, 64, 0}, 4, -1, 255, {10, 20, 30, 40}, {255, 255, 255, 255}, 0, 0},
        {{1, 63, 64, 0}, 4, INT_MIN, 0, {10, 20, 30, 40}, {0, 0, 0, 0}, 0, 0},
        {{32, 64}, 3, 1, 255, {100, 200, 250}, {50, 100, 255}, 25000, 150},
        {{32, 64}, 3, 1, 0, {100, 200, 250}, {50, 100, 0}, 25000, 150},
        {{}, 2, 0, 255, {1, 2}, {255, 255}, 0, 0},
        {{64}, 1, 0, 255, {255}, {100}, 25500, 100}, // 255 counts like any NDVI value
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> out(c.width, 7);
        cs::WeightedSum total{1, 1};
        cs::shareRow(c.counts.data(), c.counts.size(), c.width, c.filter, c.rejected, c.ndvi.data(),
                     out.data(), total);
        EXPECT_EQ(out, c.expected) << c.filter;
        EXPECT_EQ(total.sum, c.sum + 1) << c.filter;
        EXPECT_EQ(total.weight, c.weight + 1) << c.filter;

        cs::WeightedSum untouched;
        cs::shareRow(c.counts.data(), c.counts.size(), c.width, c.filter, c.rejected, nullptr,
                     out.data(), untouched);
        EXPECT_EQ(out, c.expected) << c.filter;
        EXPECT_EQ(untouched.sum, 0u);
        EXPECT_EQ(untouched.weight, 0u);
    }
}

TEST(CropShareRules, AverageText) {
    struct Case {
        uint64_t sum, weight;
        const char *text;
    };
    const Case cases[] = {{25000, 150, "166.667"}, {61300, 400, "153.25"},
                          {200, 1, "200"},         {0, 5, "0"},
                          {254, 3, "84.6667"},     {14310, 361, "39.6399"}};
    for (const Case &c : cases)
        EXPECT_EQ(cs::formatAverage({c.sum, c.weight}), c.text);
    const std::string none = cs::formatAverage({0, 0});
    EXPECT_TRUE(none == "nan" || none == "-nan") << none;
}

// Where a strip's cells come from: rows with crop rows are counted, later rows and the columns
// without a whole block are rejected, and the layout keeps only whole 8x8 blocks.
TEST(CropShareRules, StripLayoutAndRejectedRows) {
    struct Case {
        int width, height, cropWidth, cropHeight;
        size_t blocks;
        int evaluatedRows;
    };
    const Case cases[] = {
        {3, 2, 24, 16, 3, 2}, {3, 2, 23, 16, 2, 2}, {3, 2, 40, 7, 3, 0}, {2, 5, 16, 100, 2, 5}};
    for (const Case &c : cases) {
        const cs::StripLayout layout =
            cs::stripLayout(c.width, c.height, c.cropWidth, c.cropHeight);
        EXPECT_EQ(layout.blocks, c.blocks) << c.cropWidth;
        EXPECT_EQ(layout.evaluatedRows, c.evaluatedRows) << c.cropHeight;
        EXPECT_EQ(layout.cropSpan, c.blocks * 8) << c.cropWidth;
        EXPECT_EQ(layout.ndviRows, static_cast<size_t>(c.height)) << c.height;
    }
    // Two NDVI rows over one row of crop blocks: 16 crop cells per row, block 0 all crop 5 and
    // block 1 half of it; the NDVI row without crop rows is rejected.
    const cs::StripLayout layout = cs::stripLayout(3, 2, 16, 8);
    std::vector<uint8_t> crop(16 * 8, 1);
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c)
            crop[r * 16 + c] = 5;
    for (int r = 0; r < 4; ++r)
        for (int c = 8; c < 16; ++c)
            crop[r * 16 + c] = 5;
    const std::vector<uint8_t> ndvi = {10, 20, 30, 40, 50, 60};
    std::vector<uint8_t> counts(layout.blocks), percent(6, 7);
    cs::WeightedSum total;
    cs::shareStrip(layout, crop.data(), 1, ndvi.data(), 2, {5, 0, 255}, counts.data(),
                   percent.data(), total);
    EXPECT_EQ(percent, (std::vector<uint8_t>{100, 50, 255, 255, 255, 255}));
    EXPECT_EQ(total.sum, 100u * 10 + 50 * 20);
    EXPECT_EQ(total.weight, 150u);
}

} // namespace
