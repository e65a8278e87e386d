// Per-cell folding of a daily NDVI input into the maximum-value composite. Both loops are written
// as selects without branches so that the compiler vectorises them: on noisy real grids the
// branches of the rule would be mispredicted in a large share of the cells.
#include "compositerules.h"

#include "products.h"

namespace veg::peakcomposite {
namespace {
using veg::grid::kFill16;
using veg::grid::kFill8;
using veg::grid::kNoData16;
using veg::grid::kNoData8;

// a where the mask is all ones, b where it is zero: selects without branches.
template <typename T> inline T pick(T mask, T a, T b) {
    return static_cast<T>((a & mask) | (b & ~mask));
}
template <typename T> inline T maskOf(bool c) { return static_cast<T>(-static_cast<int>(c)); }
} // namespace

void foldNdvi16(const int16_t *input, int16_t *composite, uint8_t *quality, size_t n,
                uint8_t position) {
    for (size_t i = 0; i < n; ++i) {
        const int16_t v = input[i];
        const int16_t c = composite[i];
        const bool fill = v == kFill16;
        const bool take = (!fill) & ((c == kNoData16) | ((v != kNoData16) & (v > c)));
        composite[i] = pick(maskOf<int16_t>(fill), kFill16, pick(maskOf<int16_t>(take), v, c));
        quality[i] = pick(maskOf<uint8_t>(take), position, quality[i]);
    }
}

void foldNdvi8(const uint8_t *input, uint8_t *composite, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t v = input[i];
        const uint8_t c = composite[i];
        const bool fill = v == kFill8;
        const bool take = (!fill) & ((c == kNoData8) | ((v != kNoData8) & (v > c)));
        composite[i] = pick(maskOf<uint8_t>(fill), kFill8, pick(maskOf<uint8_t>(take), v, c));
    }
}

} // namespace veg::peakcomposite
