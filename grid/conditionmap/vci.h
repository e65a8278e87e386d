// The vegetation condition index of one cell from its NDVI and the multi-year extremes of its
// period, and the same over whole arrays.
#pragma once

#include "products.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

namespace veg::conditionmap {

struct VciValue {
    int16_t vci16; // -10000..10000, 5000 where the history has no range, or a sentinel
    uint8_t vci8;  // 0..250, 125 where the history has no range, or 254 / 255
};

// NDVI below this (x 10000) is too low for a meaningful condition and gets no value.
inline constexpr int32_t kLowestNdvi = -1000;
// The second-lowest minimum serves as the base only when it is more than this above the lowest;
// otherwise the third-lowest does, so that a single outlying low year does not set the scale.
inline constexpr int32_t kMinimumSpread = 3;

// The rule for one cell. n: NDVI x 10000; mx: highest NDVI of the history; m1, m2, m3: the lowest,
// second- and third-lowest. Fill (-28673) in n gives the fill pair (-28673, 255). Any of mx, m2, m3
// or n outside -10000..10000, or n below -1000, gives the no-data pair (-28672, 254); m1 only
// decides between m2 and m3 as the base minimum B and is not range-checked. With R = mx - B == 0,
// n == B gives (5000, 125) and any other n no data. Otherwise x = max(n - B, 0) / R in single
// precision, vci16 = trunc(20000 x - 10000) and vci8 = trunc(250 x), clamped to -10000..10000 and
// 0..250 so that an NDVI above the historical maximum (or a maximum below the base) never wraps
// into the sentinels.
inline VciValue vciOfCell(int16_t n, int16_t mx, int16_t m1, int16_t m2, int16_t m3) {
    using veg::grid::isValidNdvi16;
    const VciValue noData{veg::grid::kNoData16, veg::grid::kNoData8};
    if (n == veg::grid::kFill16) {
        return VciValue{veg::grid::kFill16, veg::grid::kFill8};
    }
    if (!isValidNdvi16(mx) || !isValidNdvi16(m2) || !isValidNdvi16(m3) || !isValidNdvi16(n) ||
        n < kLowestNdvi) {
        return noData;
    }
    const int32_t base = (int32_t{m2} - int32_t{m1} > kMinimumSpread) ? m2 : m3;
    const int32_t range = int32_t{mx} - base;
    if (range == 0) {
        return n == base ? VciValue{5000, 125} : noData;
    }
    int32_t d = int32_t{n} - base;
    if (d < 0) {
        d = 0;
    }
    const double x = static_cast<double>(static_cast<float>(d) / static_cast<float>(range));
    double v16 = std::trunc(20000.0 * x - 10000.0);
    double v8 = std::trunc(250.0 * x + 0.0);
    v16 = v16 < -10000.0 ? -10000.0 : (v16 > 10000.0 ? 10000.0 : v16);
    v8 = v8 < 0.0 ? 0.0 : (v8 > 250.0 ? 250.0 : v8);
    return VciValue{static_cast<int16_t>(v16), static_cast<uint8_t>(v8)};
}

// Applies vciOfCell to every one of `count` cells.
void computeVci(const int16_t *ndvi, const int16_t *max, const int16_t *min1, const int16_t *min2,
                const int16_t *min3, int16_t *vci16, uint8_t *vci8, size_t count);

} // namespace veg::conditionmap
