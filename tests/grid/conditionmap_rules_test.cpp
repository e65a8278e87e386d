// The condition index of one cell: every branch of the rule, the single-precision quotient, the
// truncations and the clamping that keeps values out of the sentinels.
#include "vci.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using veg::conditionmap::computeVci;
using veg::conditionmap::vciOfCell;
using veg::conditionmap::VciValue;

constexpr int16_t kFill = -28673;
constexpr int16_t kNoData = -28672;

struct Case {
    const char *what;
    int16_t n, mx, m1, m2, m3;
    int vci16;
    int vci8;
};

const Case kCases[] = {
    // Fill wins over everything, even an empty history.
    {"fill, no history", kFill, kNoData, kNoData, kNoData, kNoData, kFill, 255},
    {"fill, full history", kFill, 6000, 1000, 1002, 1500, kFill, 255},
    // No history in the maximum, second or third minimum.
    {"max no data", 3000, kNoData, 1000, 1002, 1500, kNoData, 254},
    {"min2 no data", 3000, 6000, 1000, kNoData, 1500, kNoData, 254},
    {"min3 no data", 3000, 6000, 1000, 1002, kNoData, kNoData, 254},
    {"ndvi no data", kNoData, 6000, 1000, 1002, 1500, kNoData, 254},
    {"ndvi above range", 10001, 6000, 1000, 1002, 1500, kNoData, 254},
    {"max above range", 3000, 10001, 1000, 1002, 1500, kNoData, 254},
    // The lowest minimum is not range-checked: no data there makes min2 the base.
    {"min1 no data", 3500, 6000, kNoData, 1000, 1500, 0, 125},
    {"min1 far above min2", 3750, 6000, 32767, 1000, 1500, 0, 125},
    // Worked examples.
    {"x = 0.5 with min3 as base", 3750, 6000, 1000, 1002, 1500, 0, 125},
    {"min2 as base", 3750, 6000, 1000, 1004, 1500, 992, 137},
    {"spread of exactly 3 takes min3", 3750, 6000, 1000, 1003, 1500, 0, 125},
    {"x just below 1", 5499, 5500, 0, 1000, 2000, 9995, 249},
    // Low NDVI.
    {"ndvi -1001", -1001, 6000, -2000, -1500, 0, kNoData, 254},
    {"ndvi -1000 computed", -1000, 6000, -2000, -1500, 0, -8666, 16},
    {"ndvi below base", 500, 6000, 1000, 1002, 1500, -10000, 0},
    // A history without range.
    {"no range, ndvi at base", 1500, 1500, 1000, 1002, 1500, 5000, 125},
    {"no range, ndvi elsewhere", 1501, 1500, 1000, 1002, 1500, kNoData, 254},
    {"no range, ndvi below", 0, 1500, 1000, 1002, 1500, kNoData, 254},
    // Full scale, and a quotient that single precision rounds down.
    {"full range top", 10000, 10000, -10000, -10000, -10000, 10000, 250},
    {"full range bottom", -1000, 10000, -10000, -10000, -10000, -1000, 112},
    {"single-precision quotient", 9999, 10000, -10000, -10000, -10000, 9998, 249},
    // Beyond the scale: clamped, never wrapping into 254 / 255.
    {"ndvi above max", 9000, 5000, 0, 1000, 2000, 10000, 250},
    {"ndvi just above max", 5001, 5000, 0, 1000, 2000, 10000, 250},
    {"max below base", 2000, 500, 0, 1000, 2000, -10000, 0},
    {"max below base, ndvi below base", 800, 500, 0, 1000, 2000, -10000, 0},
};

TEST(VciRule, TableOfCases) {
    for (const Case &c : kCases) {
        const VciValue v = vciOfCell(c.n, c.mx, c.m1, c.m2, c.m3);
        EXPECT_EQ(v.vci16, c.vci16) << c.what;
        EXPECT_EQ(v.vci8, c.vci8) << c.what;
    }
}

TEST(VciRule, ArraysGiveTheSameAsCells) {
    std::vector<int16_t> n, mx, m1, m2, m3;
    for (const Case &c : kCases) {
        n.push_back(c.n);
        mx.push_back(c.mx);
        m1.push_back(c.m1);
        m2.push_back(c.m2);
        m3.push_back(c.m3);
    }
    std::vector<int16_t> v16(n.size() + 1, 77);
    std::vector<uint8_t> v8(n.size() + 1, 77);
    computeVci(n.data(), mx.data(), m1.data(), m2.data(), m3.data(), v16.data(), v8.data(),
               n.size());
    for (size_t i = 0; i < n.size(); ++i) {
        EXPECT_EQ(v16[i], kCases[i].vci16) << kCases[i].what;
        EXPECT_EQ(v8[i], kCases[i].vci8) << kCases[i].what;
    }
    EXPECT_EQ(v16.back(), 77); // nothing written past the cells
    EXPECT_EQ(v8.back(), 77);
}

// Over a sweep of NDVI and histories, valid inputs give values on the scale only, rising with
// NDVI, and the 8-bit value follows the 16-bit one: vci8 = trunc(250 x) with
// x = (vci16 + 10000) / 20000 up to one step of truncation.
TEST(VciRule, ValidInputsStayOnTheScaleAndRiseWithNdvi) {
    const int16_t maxima[] = {-1000, 0, 3000, 10000};
    const int16_t bases[] = {-10000, -1000, 0, 2999, 3000};
    for (int16_t mx : maxima) {
        for (int16_t base : bases) {
            int previous16 = -32768;
            int previous8 = -1;
            for (int n = -1000; n <= 10000; n += 7) {
                const VciValue v = vciOfCell(static_cast<int16_t>(n), mx, kNoData, base, 0);
                if (mx == base) {
                    EXPECT_TRUE((v.vci16 == 5000 && v.vci8 == 125 && n == base) ||
                                (v.vci16 == kNoData && v.vci8 == 254));
                    continue;
                }
                ASSERT_GE(v.vci16, -10000);
                ASSERT_LE(v.vci16, 10000);
                ASSERT_LE(v.vci8, 250);
                ASSERT_GE(v.vci16, previous16) << "n " << n << " max " << mx << " base " << base;
                ASSERT_GE(v.vci8, previous8) << "n " << n << " max " << mx << " base " << base;
                const double from16 = 250.0 * (v.vci16 + 10000) / 20000.0;
                EXPECT_NEAR(v.vci8, from16, 1.0) << "n " << n;
                previous16 = v.vci16;
                previous8 = v.vci8;
            }
        }
    }
}

} // namespace
