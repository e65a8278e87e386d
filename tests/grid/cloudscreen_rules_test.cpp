// The screening rule bit by bit, the 1 km to 250 m expansion in both dimension orders and the
// final pass.
#include "screen_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace veg::cloudscreen;

TEST(CloudScreenRule, BitTable) {
    const ScreenRule standard = *ruleNamed("standard"), strict = *ruleNamed("strict");
    struct Case {
        uint16_t state;
        Reason standard, strict;
    };
    const Case cases[] = {
        {0x0000, kClear, kClear},                     // clear land-free ocean, nothing set
        {0x0008, kClear, kClear},                     // clear land
        {0x0003, kClear, kClear},                     // cloud state not set: assumed clear
        {0x0009, kCloudy, kCloudy},                   // cloudy
        {0x000A, kMixed, kMixed},                     // mixed
        {0x000C, kShadow, kShadow},                   // shadow alone
        {0x0408, kInternalCloud, kInternalCloud},     // internal cloud alone
        {0x2008, kClear, kAdjacent},                  // adjacent to cloud
        {0x0308, kClear, kHighCirrus},                // high cirrus
        {0x0208, kClear, kClear},                     // average cirrus
        {0x0108, kClear, kClear},                     // small cirrus
        {0x2309, kCloudy, kCloudy},                   // cloudy wins over the optional flags
        {0x040E, kMixed, kMixed},                     // mixed with shadow and internal cloud
        {0x240C, kShadow, kShadow},                   // shadow before internal cloud and adjacency
        {0x2708, kInternalCloud, kInternalCloud},     // internal cloud before the optional flags
        {0x2308, kClear, kAdjacent},                  // adjacency before cirrus
        {0xD8C8, kClear, kClear},                     // snow, fire, salt pan, aerosol: kept
        {0xFFFF, kStateFillReason, kStateFillReason}, // fill
        {0xFFFE, kMixed, kMixed},                     // one bit short of fill
    };
    for (const Case &c : cases) {
        EXPECT_EQ(screenReason(c.state, standard), c.standard) << std::hex << c.state;
        EXPECT_EQ(screenReason(c.state, strict), c.strict) << std::hex << c.state;
    }
    EXPECT_FALSE(ruleNamed("Standard"));
    EXPECT_FALSE(ruleNamed(""));
}

// A 3 x 2 window of state cells (reasons 1..6, row-major) expanded with factor 4 from tile cell
// (row 2, column 3) onto a 12 x 7 grid at (row 1, column 2): window 5 rows x 6 columns.
TEST(CloudScreenRule, ExpandsStateCellsInBothOrders) {
    const std::vector<uint8_t> state = {1, 2, 3, 4, 5, 6};
    const ExpandAxis rows{2, 1, 5}, columns{3, 2, 6};
    const int64_t gridColumns = 12, gridRows = 7;
    for (int order : {1, 2}) {
        std::vector<uint8_t> grid(gridColumns * gridRows, 99);
        expandReasons(state.data(), 3, 4, rows, columns, grid.data(), gridColumns, gridRows, order);
        for (int64_t r = 0; r < gridRows; ++r) {
            for (int64_t c = 0; c < gridColumns; ++c) {
                const uint8_t got = grid[order == 1 ? r * gridColumns + c : c * gridRows + r];
                const bool inside = r >= 1 && r < 6 && c >= 2 && c < 8;
                // Tile row 2..6 -> state rows 0 (tile rows 2, 3) and 1; tile column 3..8 ->
                // state columns 0 (tile column 3), 1 (4..7) and 2 (8).
                const int64_t tileRow = r - 1 + 2, tileColumn = c - 2 + 3;
                const uint8_t want =
                    inside ? state[(tileRow / 4) * 3 + tileColumn / 4 - 0] : uint8_t{99};
                EXPECT_EQ(got, want) << "order " << order << " row " << r << " column " << c;
            }
        }
    }
}

TEST(CloudScreenRule, FinalPassScreensAndCounts) {
    const int16_t fill = -28673, none = -28672;
    std::vector<uint8_t> reasons = {kClear, kCloudy, kCloudy, kShadow, kNoState, kNoState, kMixed};
    std::vector<int16_t> ndvi = {5000, 4000, none, -10000, fill, none, 10000};
    std::vector<uint8_t> ndvi8 = {187, 175, 254, 0, 255, 254, 250};
    ScreenCounts counts;
    EXPECT_FALSE(screenCells(reasons.data(), ndvi.data(), ndvi8.data(), 7, &counts));
    EXPECT_EQ(ndvi, (std::vector<int16_t>{5000, none, none, none, fill, none, none}));
    EXPECT_EQ(ndvi8, (std::vector<uint8_t>{187, 254, 254, 254, 255, 254, 254}));
    EXPECT_EQ(counts.valued, 4u);
    EXPECT_EQ(counts.screened(), 3u);
    EXPECT_EQ(counts.byReason[kCloudy] + counts.byReason[kShadow] + counts.byReason[kMixed], 3u);
    // A cell with a value that no state tile covers stops the pass before anything changes.
    reasons[0] = kNoState;
    ndvi = {5000, 4000, none, -10000, fill, none, 10000};
    EXPECT_EQ(screenCells(reasons.data(), ndvi.data(), ndvi8.data(), 7, &counts), 0u);
    EXPECT_EQ(ndvi[1], 4000);
}

} // namespace
