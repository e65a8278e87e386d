// The condition index over whole arrays: one linear pass, no allocation.
#include "vci.h"

namespace veg::conditionmap {

void computeVci(const int16_t *ndvi, const int16_t *max, const int16_t *min1, const int16_t *min2,
                const int16_t *min3, int16_t *vci16, uint8_t *vci8, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const VciValue v = vciOfCell(ndvi[i], max[i], min1[i], min2[i], min3[i]);
        vci16[i] = v.vci16;
        vci8[i] = v.vci8;
    }
}

} // namespace veg::conditionmap
