// The per-cell rules of cloud screening: why the 1 km state of a cell rules its NDVI out, the
// 1 km to 250 m expansion of a tile's reasons into the daily grid, and the final pass that sets
// screened cells to the no-data value and counts them by reason.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace veg::cloudscreen {

// The 1 km state field of the daily 1 km/500 m surface-reflectance tiles.
inline constexpr const char *kStateGrid = "MODIS_Grid_1km_2D";
inline constexpr const char *kStateField = "state_1km_1";
inline constexpr uint16_t kStateFill = 65535;

// Why a cell is screened, in the order the rule tests the state (the first that applies counts).
enum Reason : uint8_t {
    kClear = 0,
    kStateFillReason, // the state is the fill value
    kCloudy,          // cloud state 01
    kMixed,           // cloud state 10
    kShadow,          // cloud shadow (bit 2)
    kInternalCloud,   // internal cloud algorithm (bit 10)
    kAdjacent,        // adjacent to cloud (bit 13), when the rule asks
    kHighCirrus,      // cirrus 11 (bits 8-9), when the rule asks
    kReasonCount,
    kNoState = 255, // no state tile covers the cell
};

// The reasons' names, as the summary line prints them.
extern const std::array<const char *, kReasonCount> kReasonNames;

// What screens a cell besides fill, cloudy or mixed, shadow and internal cloud.
struct ScreenRule {
    bool adjacency = false;
    bool highCirrus = false;
};

// The rules by name: "standard" (fill, cloudy or mixed, shadow, internal cloud) and "strict"
// (those, adjacency to cloud and high cirrus); nothing for any other name.
std::optional<ScreenRule> ruleNamed(const std::string &name);

// The reason of one 1 km state value, kClear when it keeps its cells.
inline Reason screenReason(uint16_t state, ScreenRule rule) {
    if (state == kStateFill) {
        return kStateFillReason;
    }
    const unsigned cloud = state & 0x3u;
    if (cloud == 1u) {
        return kCloudy;
    }
    if (cloud == 2u) {
        return kMixed;
    }
    if (state & 0x4u) {
        return kShadow;
    }
    if (state & 0x400u) {
        return kInternalCloud;
    }
    if (rule.adjacency && (state & 0x2000u)) {
        return kAdjacent;
    }
    if (rule.highCirrus && (state & 0x300u) == 0x300u) {
        return kHighCirrus;
    }
    return kClear;
}

// Cells screened by reason (index: Reason) and the cells with an NDVI value looked at.
struct ScreenCounts {
    std::array<uint64_t, kReasonCount> byReason{};
    uint64_t valued = 0;
    uint64_t screened() const;
};

// The final pass over the whole daily grid: every cell with an NDVI value (neither the fill nor
// the no-data value) whose reason is not kClear gets the no-data value in both NDVI fields and is
// counted. Returns the index of the first cell with a value and kNoState (no state tile covers
// it), with nothing changed; nothing when every such cell had a state.
std::optional<size_t> screenCells(const uint8_t *reasons, int16_t *ndvi, uint8_t *ndvi8,
                                  size_t count, ScreenCounts *counts);

// Where a tile's window lies: `count` 250 m cells starting at 250 m cell `tileStart` of the tile
// on this axis, landing on daily-grid cell `outputStart`; `factor` 250 m cells per state cell.
struct ExpandAxis {
    int64_t tileStart = 0;
    int64_t outputStart = 0;
    int64_t count = 0;
};

// Copies the reasons of a window of state cells (row-major, `stateColumns` per row, whose first
// cell is state cell (tileStart / factor) on both axes) onto the daily grid's reason grid of
// columns x rows cells in dimension order `order` (1: row-major, 2: column-major): the 250 m cell
// at tile cell (r, c) takes state cell (r / factor, c / factor).
void expandReasons(const uint8_t *stateReasons, int64_t stateColumns, int64_t factor,
                   const ExpandAxis &rows, const ExpandAxis &columns, uint8_t *reasons,
                   int64_t gridColumns, int64_t gridRows, int order);

} // namespace veg::cloudscreen
