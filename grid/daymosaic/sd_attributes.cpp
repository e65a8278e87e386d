// Field attributes carried from the first tile of a day into the daily NDVI grid.
#include "sd_attributes.h"

namespace veg::daymosaic {

bool readAttributes(const veg::grid::EosFile &tile, const std::string &field,
                    std::vector<SDAttributes> &attributes) {
    bool reachedMax = false;
    attributes = veg::grid::readAttributes(tile, field, kMaxAttributes, &reachedMax);
    return reachedMax;
}

} // namespace veg::daymosaic
