// Field attributes carried from the first tile of a day into the daily NDVI grid.
#include "sd_attributes.h"

namespace daymosaic {

void readAttributes(const veg::grid::EosFile &tile, const std::string &field,
                    std::vector<SDAttributes> &attributes, int &count, const std::string &tilePath,
                    std::ostream &err) {
    bool reachedMax = false;
    attributes = veg::grid::readAttributes(tile, field, kMaxAttributes, &reachedMax);
    count = static_cast<int>(attributes.size());
    if (reachedMax) {
        err << "Warning: Reach maximum number of attributes for field " << field << " in "
            << tilePath << "\n";
    }
}

bool writeAttributes(veg::grid::GridWriter &output, const std::string &field,
                     const std::vector<SDAttributes> &attributes, int count) {
    if (count < 0 || static_cast<size_t>(count) > attributes.size()) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    const std::vector<SDAttributes> first(attributes.begin(), attributes.begin() + count);
    return output.writeAttributes(field, first);
}

} // namespace daymosaic
