// The day's 1 km tile of a generated 250 m tile: the grid MODIS_Grid_1km_2D with state_1km_1 and
// the other 1 km fields of the distributed daily 1 km/500 m product, each 1 km cell derived from
// the 4 x 4 generated 250 m cells it holds, so that the state agrees with their clouds and shadows.
#pragma once

#include "tilegen.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veg::modis_tilegen {

inline constexpr const char *kStateGridName = "MODIS_Grid_1km_2D";

// The 1 km state of 4 x 4 250 m cells given by their kSky* flags (16 values, row by row) and
// whether a neighbouring 1 km cell is cloudy (adjacency is decided after every cell's cloud):
// fill when no cell was observed; cloud state cloudy when every observed cell is under cloud, mixed
// when some are; shadow when any is shadowed; internal cloud when any cloud is thick; land or
// inland water by the majority; low aerosol.
uint16_t stateOf(const uint8_t sky[16], bool nextToCloud);

// True for a state whose cloud state is cloudy or mixed.
inline bool isCloudState(uint16_t state) {
    return state != 65535 && ((state & 3u) == 1u || (state & 3u) == 2u);
}

// What the 1 km tile reads of the 250 m cells, row-major arrays of the tile's cells.
struct FineCells {
    const uint8_t *sky = nullptr;  // kSky* flags
    const uint8_t *scan = nullptr; // position across the swath x 250
    const int8_t *numObservations = nullptr;
    const int8_t *orbitPointer = nullptr;
    const uint8_t *granulePointer = nullptr;
};

// Writes the 1 km tile of the tile's 250 m cells (columns and rows divisible by 4). False when it
// cannot be written.
bool writeStateTile(const std::string &path, const TileSpec &tileSpec, const FineCells &cells);

} // namespace veg::modis_tilegen
