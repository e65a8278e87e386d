// The per-pixel rules of the multi-year extremes builders: the highest and the three lowest
// distinct usable NDVI values of a period over the years, and the daily window maximum, history
// fold and condition index of the daily builder.
#pragma once

#include "products.h"

#include <cstddef>
#include <cstdint>

namespace veg::extremes {

// 16-bit NDVI (NDVI x 10000) classes. A value is in range when -10000 <= x <= 10000; an extremes
// element that is not in range counts as unset. A value is usable when -1000 <= x <= 10000.
constexpr int16_t kNdviLowest = veg::grid::kNdviMin;
constexpr int16_t kNdviHighest = veg::grid::kNdviMax;
constexpr int16_t kUsableLowest = -1000;

// The four extremes arrays of one period, each of n cells, starting at the no-data value -28672.
struct ExtremesArrays {
    int16_t *max = nullptr;  // "ndvi_max"
    int16_t *min1 = nullptr; // "ndvi_min", the lowest
    int16_t *min2 = nullptr; // "ndvi_min2"
    int16_t *min3 = nullptr; // "ndvi_min3"
};

// Folds one year's field (n cells) into the extremes. The maximum is updated first, then the
// minima:
// - an unset maximum takes any value >= -1000 (the upper bound is not tested there); a set maximum
// takes
//   a usable value above it;
// - minima that are all unset take any value >= -1000 into all three; otherwise a usable value is
//   inserted into MIN1 < MIN2 < MIN3 when it is not already kept, and while fewer than three
//   distinct values have been seen the upper ranks repeat the highest kept (v gives v, v, v; a < b
//   give a, b, b).
// A cell that never sees a usable value keeps what it held.
void foldYear(const int16_t *values, const ExtremesArrays &extremes, size_t n);

// 8-bit codes of the daily product: 255 no value, 253 bad value; 0..254 otherwise are data.
constexpr uint8_t kDailyNoValue = veg::grid::kDailyNoValue;
constexpr uint8_t kDailyBadValue = veg::grid::kDailyBadValue;

// Window maximum: a window cell without data (255 or 253) takes the daily value; otherwise a daily
// data value above it replaces it.
void foldDay(const uint8_t *daily, uint8_t *window, size_t n);

// Folds a window composite into the historical maximum and minimum: an element without data takes
// the window's value; otherwise a window data value above the maximum (below the minimum) replaces
// it.
void foldWindow(const uint8_t *window, uint8_t *historyMax, uint8_t *historyMin, size_t n);

// Condition index 0..250 of the current window composite against the history (which must already
// hold the current window): 255 where any of the three is 255 or 253; where the history has no
// range, 0 when the window equals the minimum and 255 otherwise; else (W - HMIN) / (HMAX - HMIN) x
// 250 in single precision, truncated toward zero.
void conditionIndex(const uint8_t *window, const uint8_t *historyMax, const uint8_t *historyMin,
                    uint8_t *index, size_t n);

} // namespace veg::extremes
