// The per-pixel rules of the extremes builders: sequences of yearly values and of daily codes, with
// a second, set-based computation of the three lowest distinct values as an oracle.
#include "extremesrules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <vector>

namespace {

constexpr int16_t kNoData = -28672;
constexpr int16_t kFill = -28673;

struct Extremes {
    int16_t max, min1, min2, min3;
    bool operator==(const Extremes &o) const {
        return max == o.max && min1 == o.min1 && min2 == o.min2 && min3 == o.min3;
    }
};

std::ostream &operator<<(std::ostream &os, const Extremes &e) {
    return os << "max " << e.max << " min " << e.min1 << "," << e.min2 << "," << e.min3;
}

// Folds the yearly values of one pixel, one year at a time, from the given start state.
Extremes foldSequence(const std::vector<int16_t> &years,
                      Extremes start = {kNoData, kNoData, kNoData, kNoData}) {
    Extremes e = start;
    veg::extremes::ExtremesArrays arrays{&e.max, &e.min1, &e.min2, &e.min3};
    for (int16_t v : years)
        veg::extremes::foldYear(&v, arrays, 1);
    return e;
}

struct YearCase {
    const char *name;
    std::vector<int16_t> years;
    Extremes expected;
};

TEST(FoldYear, SequencesFromUnset) {
    const YearCase cases[] = {
        {"four distinct", {5, 3, 7, 4}, {7, 3, 4, 5}},
        {"repeat not counted twice", {5, 5, 7}, {7, 5, 7, 7}},
        {"single value fills all", {2000}, {2000, 2000, 2000, 2000}},
        {"two values repeat the higher", {300, 100}, {300, 100, 300, 300}},
        {"descending", {9, 8, 7, 6, 5}, {9, 5, 6, 7}},
        {"ascending", {5, 6, 7, 8, 9}, {9, 5, 6, 7}},
        {"value above third ignored", {1, 2, 3, 4}, {4, 1, 2, 3}},
        {"equal to each rank", {1, 2, 3, 1, 2, 3}, {3, 1, 2, 3}},
        {"between second and third", {1, 2, 9, 5}, {9, 1, 2, 5}},
        {"between first and second", {1, 9, 5}, {9, 1, 5, 9}},
        {"lowest usable", {-1000}, {-1000, -1000, -1000, -1000}},
        {"highest usable", {10000}, {10000, 10000, 10000, 10000}},
        {"below usable ignored", {-1001}, {kNoData, kNoData, kNoData, kNoData}},
        {"no-data ignored", {kNoData, 50, kNoData}, {50, 50, 50, 50}},
        {"fill ignored", {kFill, 40, kFill, 60}, {60, 40, 60, 60}},
        {"in-range below usable ignored once set", {500, -1001, -5000}, {500, 500, 500, 500}},
        {"above range ignored once set", {500, 10001}, {500, 500, 500, 500}},
        {"above range fills unset", {10001}, {10001, 10001, 10001, 10001}},
        {"above range filled target is still unset", {10001, 300}, {300, 300, 300, 300}},
        {"above range then above range", {12000, 10001}, {10001, 10001, 10001, 10001}},
        {"negatives", {-500, 200, -800, 0}, {200, -800, -500, 0}},
        {"nothing read", {}, {kNoData, kNoData, kNoData, kNoData}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(foldSequence(c.years), c.expected) << c.name;
    }
}

// The oracle: the highest usable value and the three lowest distinct usable values; while no usable
// value has been seen, the last value >= -1000 (necessarily above the range) stands in all four.
Extremes oracle(const std::vector<int16_t> &years) {
    std::set<int> usable;
    int lastAbove = kNoData;
    for (int16_t v : years) {
        if (v >= -1000 && v <= 10000)
            usable.insert(v);
        else if (v > 10000 && usable.empty())
            lastAbove = v;
    }
    if (usable.empty()) {
        const auto x = static_cast<int16_t>(lastAbove);
        return {x, x, x, x};
    }
    std::vector<int> low(usable.begin(), usable.end());
    while (low.size() < 3)
        low.push_back(low.back());
    return {static_cast<int16_t>(*usable.rbegin()), static_cast<int16_t>(low[0]),
            static_cast<int16_t>(low[1]), static_cast<int16_t>(low[2])};
}

TEST(FoldYear, AgreesWithSetOracleOnRandomSequences) {
    std::mt19937 rng(20201225);
    // Small value pools make repeats and ties frequent; the pool mixes sentinels and out-of-range.
    const std::vector<int16_t> pool = {kNoData, kFill, -10000, -1001, -1000, -1,    0,     1,
                                       2,       3,     4,      9999,  10000, 10001, 32767, -32768};
    std::uniform_int_distribution<size_t> pick(0, pool.size() - 1);
    std::uniform_int_distribution<int> length(0, 25);
    for (int run = 0; run < 20000; ++run) {
        std::vector<int16_t> years(static_cast<size_t>(length(rng)));
        for (auto &v : years)
            v = pool[pick(rng)];
        ASSERT_EQ(foldSequence(years), oracle(years)) << "run " << run;
    }
}

TEST(FoldYear, WholeArraysCellsAreIndependent) {
    // Three years over five cells, folded array by array: each cell equals its own sequence's fold.
    const std::vector<std::vector<int16_t>> years = {
        {5, kNoData, 10001, -1000, 7}, {3, 20, 400, -1001, 7}, {7, 10, 300, 0, 7}};
    const size_t n = 5;
    std::vector<int16_t> mx(n, kNoData), m1(n, kNoData), m2(n, kNoData), m3(n, kNoData);
    for (const auto &year : years)
        veg::extremes::foldYear(year.data(), {mx.data(), m1.data(), m2.data(), m3.data()}, n);
    for (size_t i = 0; i < n; ++i) {
        std::vector<int16_t> seq;
        for (const auto &year : years)
            seq.push_back(year[i]);
        EXPECT_EQ((Extremes{mx[i], m1[i], m2[i], m3[i]}), oracle(seq)) << "cell " << i;
    }
}

uint8_t windowOf(const std::vector<uint8_t> &days) {
    uint8_t w = 255;
    for (uint8_t v : days)
        veg::extremes::foldDay(&v, &w, 1);
    return w;
}

TEST(DailyRules, WindowMaximum) {
    struct Case {
        std::vector<uint8_t> days;
        uint8_t expected;
    } cases[] = {
        {{200, 255, 100}, 200},
        {{}, 255},
        {{255, 255}, 255},
        {{255, 253}, 253},
        {{253, 7}, 7},
        {{7, 253}, 7},
        {{0}, 0},
        {{254, 250}, 254},
        {{10, 20, 15}, 20},
        {{255, 253, 255}, 255},
        {{1, 0}, 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(windowOf(c.days), c.expected) << ::testing::PrintToString(c.days);
    }
}

TEST(DailyRules, FoldIntoHistory) {
    struct Case {
        std::vector<uint8_t> windows;
        uint8_t max, min;
    } cases[] = {
        {{100, 150, 120}, 150, 100}, {{255, 80}, 80, 80}, {{80, 255, 253}, 80, 80},
        {{253, 90}, 90, 90},         {{}, 255, 255},      {{0, 254}, 254, 0},
        {{255}, 255, 255},           {{253}, 253, 253},
    };
    for (const auto &c : cases) {
        uint8_t hi = 255, lo = 255;
        for (uint8_t w : c.windows)
            veg::extremes::foldWindow(&w, &hi, &lo, 1);
        EXPECT_EQ(hi, c.max) << ::testing::PrintToString(c.windows);
        EXPECT_EQ(lo, c.min) << ::testing::PrintToString(c.windows);
    }
}

TEST(DailyRules, ConditionIndex) {
    struct Case {
        uint8_t window, max, min, expected;
    } cases[] = {
        {120, 150, 100, 100}, // (120 - 100) / 50 x 250
        {150, 150, 100, 250}, {100, 150, 100, 0},   {90, 90, 90, 0},
        {91, 90, 90, 255}, // no range and not at the minimum
        {255, 150, 100, 255}, {253, 150, 100, 255}, {120, 255, 100, 255},
        {120, 150, 253, 255}, {1, 3, 0, 83}, // 1/3 x 250 = 83.33 in single precision
        {2, 3, 0, 166},       {254, 254, 0, 250},   {127, 254, 0, 125},
        {60, 50, 40, 250}, // a history that does not hold the window is clamped
        {30, 50, 40, 0},
    };
    for (const auto &c : cases) {
        uint8_t out = 77;
        veg::extremes::conditionIndex(&c.window, &c.max, &c.min, &out, 1);
        EXPECT_EQ(out, c.expected) << int(c.window) << " in " << int(c.min) << ".." << int(c.max);
    }
}

TEST(DailyRules, ConditionIndexMatchesSinglePrecisionForEveryTriple) {
    // Every data triple with min <= window <= max, against the formula written out directly.
    std::vector<uint8_t> w, hi, lo;
    for (int a = 0; a <= 254; a += 3)
        for (int b = a; b <= 254; b += 5)
            for (int x = a; x <= b; ++x) {
                if (a == 253 || b == 253 || x == 253)
                    continue;
                lo.push_back(static_cast<uint8_t>(a));
                hi.push_back(static_cast<uint8_t>(b));
                w.push_back(static_cast<uint8_t>(x));
            }
    std::vector<uint8_t> out(w.size());
    veg::extremes::conditionIndex(w.data(), hi.data(), lo.data(), out.data(), w.size());
    for (size_t i = 0; i < w.size(); ++i) {
        int expected = 0;
        if (hi[i] != lo[i]) {
            float num = float(w[i] - lo[i]), den = float(hi[i] - lo[i]);
            expected = int(num / den * 250.0f);
        }
        ASSERT_EQ(out[i], expected) << int(w[i]) << " " << int(lo[i]) << ".." << int(hi[i]);
    }
}

} // namespace
