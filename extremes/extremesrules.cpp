// Per-pixel rules of the extremes builders. The multi-year fold runs once per year over grids of
// tens of millions of cells, next to the decompression of a whole field: it is written as one pass
// of selects without data-dependent branches, which the compiler turns into vector code.
#include "extremesrules.h"

namespace veg::extremes {
namespace {

// -10000 <= x <= 10000 as one unsigned comparison.
inline bool inRange(int16_t x) {
    return static_cast<uint16_t>(x - kNdviLowest) <=
           static_cast<uint16_t>(kNdviHighest - kNdviLowest);
}

// a when the mask is all ones, b when it is zero: a select without a branch.
inline int16_t pick(int16_t mask, int16_t a, int16_t b) {
    return static_cast<int16_t>((a & mask) | (b & ~mask));
}
inline int16_t maskOf(bool c) { return static_cast<int16_t>(-static_cast<int16_t>(c)); }

inline bool noData(uint8_t x) { return (x == kDailyNoValue) | (x == kDailyBadValue); }

} // namespace

void foldYear(const int16_t *values, const ExtremesArrays &extremes, size_t n) {
    int16_t *const maxima = extremes.max;
    int16_t *const minima1 = extremes.min1;
    int16_t *const minima2 = extremes.min2;
    int16_t *const minima3 = extremes.min3;
    // Conditions are combined with & and | rather than && and || so that no branch remains.
    for (size_t i = 0; i < n; ++i) {
        const int16_t v = values[i];
        const bool atLeastLowest = v >= kUsableLowest;
        const bool usable = atLeastLowest & (v <= kNdviHighest);

        const int16_t mx = maxima[i];
        const bool maxSet = inRange(mx);
        const bool takeMax = (maxSet & usable & (v > mx)) | ((!maxSet) & atLeastLowest);
        maxima[i] = pick(maskOf(takeMax), v, mx);

        const int16_t m1 = minima1[i];
        const int16_t m2 = minima2[i];
        const int16_t m3 = minima3[i];
        const bool anySet = inRange(m1) | inRange(m2) | inRange(m3);
        // Ranked insertion of a usable value into set minima, first matching case only.
        const bool below1 = v < m1;
        const bool between12 = (!below1) & (m1 < v) & (v < m2);
        const bool between23 = (!below1) & (!between12) & (m2 < v) & (v < m3);
        const bool above3 = (!below1) & (!between12) & (!between23) & (v > m3);
        const bool equal23 = m2 == m3;
        const bool allEqual = (m1 == m2) & equal23;
        const bool insert = anySet & usable;
        // Unset minima take any value >= -1000 into all three ranks.
        const bool start = (!anySet) & atLeastLowest;
        const bool v1 = start | (insert & below1);
        const bool v2 = start | (insert & (between12 | (above3 & allEqual)));
        const bool v3 = start | (insert & (between23 | (above3 & equal23)));
        const bool shift2 = insert & below1;               // MIN2 takes MIN1
        const bool shift3 = insert & (below1 | between12); // MIN3 takes MIN2
        minima1[i] = pick(maskOf(v1), v, m1);
        minima2[i] = pick(maskOf(v2), v, pick(maskOf(shift2), m1, m2));
        minima3[i] = pick(maskOf(v3), v, pick(maskOf(shift3), m2, m3));
    }
}

void foldDay(const uint8_t *daily, uint8_t *window, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t v = daily[i];
        const uint8_t w = window[i];
        window[i] = (noData(w) || (!noData(v) && v > w)) ? v : w;
    }
}

void foldWindow(const uint8_t *window, uint8_t *historyMax, uint8_t *historyMin, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t w = window[i];
        const uint8_t hi = historyMax[i];
        const uint8_t lo = historyMin[i];
        const bool data = !noData(w);
        historyMax[i] = (noData(hi) || (data && w > hi)) ? w : hi;
        historyMin[i] = (noData(lo) || (data && w < lo)) ? w : lo;
    }
}

void conditionIndex(const uint8_t *window, const uint8_t *historyMax, const uint8_t *historyMin,
                    uint8_t *index, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t w = window[i];
        const uint8_t hi = historyMax[i];
        const uint8_t lo = historyMin[i];
        uint8_t result = kDailyNoValue;
        if (!noData(w) && !noData(hi) && !noData(lo)) {
            const int range = hi - lo;
            if (range == 0) {
                result = w == lo ? 0 : kDailyNoValue;
            } else {
                const float x = static_cast<float>(w - lo) / static_cast<float>(range);
                // The history holds the window, so x lies in 0..1; the clamp keeps a history that
                // does not from wrapping into the codes 253..255.
                const int scaled = static_cast<int>(x * 250.0f);
                result = static_cast<uint8_t>(scaled < 0 ? 0 : (scaled > 250 ? 250 : scaled));
            }
        }
        index[i] = result;
    }
}

} // namespace veg::extremes
