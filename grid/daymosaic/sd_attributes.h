// Field attributes carried from the first tile of a day into the daily NDVI grid.
#pragma once

#include "gridio.h"

#include <cstring>
#include <string>
#include <vector>

namespace veg::daymosaic {

constexpr size_t kMaxAttributes = 32; // attributes copied per field

// One attribute of one field: name, HDF number type, value count and the values' bytes.
using SDAttributes = veg::grid::Attribute;

// Reads at most 32 attributes of `field` of an open tile into `attributes` (replacing its
// content). Returns true when 32 were reached (there may be more; only those 32 are kept), for
// the caller's warning.
bool readAttributes(const veg::grid::EosFile &tile, const std::string &field,
                    std::vector<SDAttributes> &attributes);

// The value of the "_FillValue" attribute when there is one of `numberType` with at least one
// value; `fallback` otherwise.
template <typename T>
T fillValueOf(const std::vector<SDAttributes> &attributes, int32_t numberType, T fallback) {
    for (const SDAttributes &a : attributes) {
        if (a.name == "_FillValue" && a.numberType == numberType && a.count >= 1 &&
            a.bytes.size() >= sizeof(T)) {
            T value;
            std::memcpy(&value, a.bytes.data(), sizeof(T));
            return value;
        }
    }
    return fallback;
}

} // namespace veg::daymosaic
