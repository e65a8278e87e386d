// Unit tests of the value-retrieval rules: numbers, windows and reductions.
#include "probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

using veg::probe::CoordinateMode;
using veg::probe::GeoTransform;
using veg::probe::RetrievalMode;
using veg::probe::ValueCounts;
using veg::probe::Window;

TEST(ProbeParse, NumbersReadFromTheStartOfTheText) {
    struct Case {
        const char *text;
        double value;
    };
    const Case cases[] = {{"12.5abc", 12.5},
                          {"abc", 0},
                          {"", 0},
                          {"-3", -3},
                          {"1e3", 1000},
                          {" 7", 7},
                          {"10.9", 10.9},
                          {"1e999", std::numeric_limits<double>::max()},
                          {"-1e999", -std::numeric_limits<double>::max()}};
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(veg::probe::parseNumber(c.text), c.value) << c.text;
}

TEST(ProbeParse, ModesAreCaseSensitive) {
    EXPECT_EQ(veg::probe::parseCoordinateMode("AEA"), CoordinateMode::Georeferenced);
    EXPECT_EQ(veg::probe::parseCoordinateMode("LATLON"), CoordinateMode::LatLon);
    EXPECT_EQ(veg::probe::parseCoordinateMode("aea"), CoordinateMode::Pixel);
    EXPECT_EQ(veg::probe::parseCoordinateMode("PIXEL"), CoordinateMode::Pixel);
    struct Case {
        const char *text;
        RetrievalMode mode;
    };
    const Case cases[] = {{"ONE", RetrievalMode::One},
                          {"THREE_MAX", RetrievalMode::ThreeMax},
                          {"THREE_MIN", RetrievalMode::ThreeMin},
                          {"THREE_AVE", RetrievalMode::ThreeAve},
                          {"THREE_MED", RetrievalMode::ThreeMed},
                          {"three_med", RetrievalMode::Unknown},
                          {"THREE_MEDIAN", RetrievalMode::Unknown},
                          {"", RetrievalMode::Unknown}};
    for (const Case &c : cases)
        EXPECT_EQ(veg::probe::parseRetrievalMode(c.text), c.mode) << c.text;
}

TEST(ProbeParse, TruncationTowardZeroWithinInt32) {
    struct Case {
        double value;
        bool ok;
        int32_t result;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {{10.9, true, 10},
                          {-0.5, true, 0},
                          {-1.5, true, -1},
                          {2147483647.9, true, 2147483647},
                          {-2147483648.9, true, -2147483647 - 1},
                          {2147483648.0, false, 0},
                          {-3e9, false, 0},
                          {nan, false, 0},
                          {inf, false, 0}};
    for (const Case &c : cases) {
        int32_t r = 0;
        EXPECT_EQ(veg::probe::truncateToInt(c.value, r), c.ok) << c.value;
        if (c.ok) {
            EXPECT_EQ(r, c.result) << c.value;
        }
    }
}

TEST(ProbeWindow, CornersToWindow) {
    const GeoTransform gt{{1000, 30, 0, 2000, 0, -30}};
    struct Case {
        CoordinateMode mode;
        double xmin, ymin, xmax, ymax;
        Window expected;
    };
    const Case cases[] = {
        // pixel numbers are truncated, lengths from the difference
        {CoordinateMode::Pixel, 10.9, 0, 20.2, 5, {10, 0, 9, 5}},
        {CoordinateMode::Pixel, 3, 4, 1, 2, {3, 4, -2, -2}},
        // georeferenced: the first corner is the north-west one
        {CoordinateMode::Georeferenced, 1045, 1955, 1135, 1895, {1, 1, 3, 2}},
        // only ylength is made non-negative
        {CoordinateMode::Georeferenced, 1045, 1895, 1135, 1955, {1, 3, 3, 2}},
        {CoordinateMode::Georeferenced, 1135, 1955, 1045, 1895, {4, 1, -3, 2}},
        {CoordinateMode::LatLon, 1000, 2000, 1030, 1970, {0, 0, 1, 1}},
    };
    for (const Case &c : cases) {
        Window w;
        ASSERT_TRUE(veg::probe::boxWindow(c.mode, c.xmin, c.ymin, c.xmax, c.ymax, gt, w));
        EXPECT_EQ(w.xstart, c.expected.xstart) << c.xmin;
        EXPECT_EQ(w.ystart, c.expected.ystart) << c.ymin;
        EXPECT_EQ(w.xlength, c.expected.xlength) << c.xmax;
        EXPECT_EQ(w.ylength, c.expected.ylength) << c.ymax;
    }
}

TEST(ProbeWindow, FarCornersAndZeroCellSizeAreRefused) {
    Window w;
    const GeoTransform gt{{0, 30, 0, 0, 0, -30}};
    EXPECT_FALSE(veg::probe::boxWindow(CoordinateMode::Pixel, 0, 0, 3e9, 1, gt, w));
    EXPECT_FALSE(veg::probe::boxWindow(CoordinateMode::Georeferenced, 1e11, 0, 1e11, 0, gt, w));
    const GeoTransform flat{{0, 0, 0, 0, 0, 0}};
    EXPECT_FALSE(veg::probe::boxWindow(CoordinateMode::Georeferenced, 5, 5, 10, 10, flat, w));
    int32_t c = 0, r = 0;
    EXPECT_FALSE(veg::probe::pointCell(CoordinateMode::Georeferenced, 5, 5, flat, c, r));
}

TEST(ProbeWindow, PointToCell) {
    const GeoTransform gt{{1000, 30, 0, 2000, 0, -30}};
    struct Case {
        CoordinateMode mode;
        double x, y;
        int32_t column, row;
    };
    const Case cases[] = {{CoordinateMode::Pixel, 2.99, 7.01, 2, 7},
                          {CoordinateMode::Pixel, -0.7, -0.2, 0, 0},
                          {CoordinateMode::Georeferenced, 1075, 1925, 2, 2},
                          {CoordinateMode::Georeferenced, 1000, 2000, 0, 0},
                          {CoordinateMode::Georeferenced, 985, 2015, 0, 0},
                          {CoordinateMode::Georeferenced, 955, 2045, -1, -1}};
    for (const Case &c : cases) {
        int32_t column = -99, row = -99;
        ASSERT_TRUE(veg::probe::pointCell(c.mode, c.x, c.y, gt, column, row));
        EXPECT_EQ(column, c.column) << c.x;
        EXPECT_EQ(row, c.row) << c.y;
    }
}

TEST(ProbeWindow, InsideRaster) {
    struct Case {
        Window w;
        bool inside;
    };
    const Case cases[] = {{{0, 0, 6, 5}, true},   {{5, 4, 1, 1}, true},
                          {{5, 4, 2, 1}, false},  {{0, 4, 1, 2}, false},
                          {{-1, 0, 2, 2}, false}, {{0, -1, 2, 2}, false},
                          {{1, 1, 0, 2}, false},  {{1, 1, 2, 0}, false},
                          {{3, 1, -2, 2}, false}, {{2147483647, 0, 2147483647, 1}, false}};
    for (const Case &c : cases)
        EXPECT_EQ(veg::probe::windowInside(c.w, 6, 5), c.inside)
            << c.w.xstart << "," << c.w.ystart << "," << c.w.xlength << "," << c.w.ylength;
}

ValueCounts countsOf(const std::vector<uint8_t> &values, bool perValue = true) {
    ValueCounts counts(perValue);
    // in two parts, as strips arrive
    counts.add(values.data(), values.size() / 2);
    counts.add(values.data() + values.size() / 2, values.size() - values.size() / 2);
    return counts;
}

TEST(ProbeReduce, BoxModes) {
    struct Case {
        std::vector<uint8_t> values;
        RetrievalMode mode;
        uint32_t expected;
    };
    const Case cases[] = {
        {{10, 20, 30, 40}, RetrievalMode::ThreeMed, 30}, // upper middle of an even count
        {{40, 10, 30, 20}, RetrievalMode::ThreeMed, 30},
        {{10, 20, 30}, RetrievalMode::ThreeMed, 20},
        {{7}, RetrievalMode::ThreeMed, 7},
        {{1, 2}, RetrievalMode::ThreeAve, 1}, // truncated
        {{1, 2}, RetrievalMode::One, 1},
        {{255, 254, 255}, RetrievalMode::ThreeAve, 254},
        {{3, 200, 17}, RetrievalMode::ThreeMax, 200},
        {{0, 0}, RetrievalMode::ThreeMax, 0},
        {{3, 200, 17}, RetrievalMode::ThreeMin, 3},
        {{255, 255}, RetrievalMode::ThreeMin, 255},
        {{3, 200, 17}, RetrievalMode::Unknown, 0},
        {{}, RetrievalMode::ThreeAve, 0},
    };
    for (const Case &c : cases) {
        const bool perValue = veg::probe::needsCountsPerValue(c.mode);
        EXPECT_EQ(veg::probe::reduceBox(c.mode, countsOf(c.values, perValue)), c.expected)
            << static_cast<int>(c.mode) << " over " << c.values.size() << " values";
        EXPECT_EQ(veg::probe::reduceBox(c.mode, countsOf(c.values, true)), c.expected)
            << static_cast<int>(c.mode) << " over " << c.values.size() << " counted values";
    }
}

// A second computation of the box rules over sorted values, checked on random windows.
TEST(ProbeReduce, BoxModesAgreeWithSortedValues) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> values(1 + random() % 300);
        for (uint8_t &v : values)
            v = static_cast<uint8_t>(random() % (round % 2 ? 256 : 7));
        std::vector<uint32_t> sorted(values.begin(), values.end());
        std::sort(sorted.begin(), sorted.end());
        uint64_t sum = 0;
        for (uint32_t v : sorted)
            sum += v;
        EXPECT_EQ(veg::probe::reduceBox(RetrievalMode::ThreeMed, countsOf(values)),
                  sorted[sorted.size() / 2]);
        for (bool perValue : {true, false}) {
            const ValueCounts counts = countsOf(values, perValue);
            EXPECT_EQ(veg::probe::reduceBox(RetrievalMode::ThreeMax, counts), sorted.back());
            EXPECT_EQ(veg::probe::reduceBox(RetrievalMode::ThreeMin, counts), sorted.front());
            EXPECT_EQ(veg::probe::reduceBox(RetrievalMode::ThreeAve, counts), sum / sorted.size());
        }
    }
}

TEST(ProbeReduce, PointBlockModes) {
    struct Case {
        std::array<uint8_t, 9> values;
        RetrievalMode mode;
        uint32_t expected;
    };
    const Case cases[] = {
        {{5, 9, 1, 7, 3, 2, 8, 4, 6}, RetrievalMode::ThreeMed, 6}, // the sixth smallest
        {{1, 2, 3, 4, 5, 6, 7, 8, 9}, RetrievalMode::ThreeMed, 6},
        {{0, 0, 0, 0, 0, 9, 9, 9, 9}, RetrievalMode::ThreeMed, 9},
        {{100, 100, 100, 100, 100, 100, 100, 100, 200}, RetrievalMode::ThreeAve, 111},
        {{255, 255, 255, 255, 255, 255, 255, 255, 255}, RetrievalMode::ThreeAve, 255},
        {{5, 9, 1, 7, 3, 2, 8, 4, 6}, RetrievalMode::ThreeMax, 9},
        {{5, 9, 1, 7, 3, 2, 8, 4, 6}, RetrievalMode::ThreeMin, 1},
        {{5, 9, 1, 7, 3, 2, 8, 4, 6}, RetrievalMode::Unknown, 0},
        {{5, 9, 1, 7, 3, 2, 8, 4, 6}, RetrievalMode::One, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(veg::probe::reduceBlock(c.mode, c.values), c.expected)
            << static_cast<int>(c.mode);
}

} // namespace
