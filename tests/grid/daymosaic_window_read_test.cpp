// Windowed reads of grid fields, with which daymosaic reads the part of a tile under the mask.
#include "gridio.h"
#include "readguard.h"

#include "support/hdfeos.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <vector>

namespace {

using namespace testsupport;

struct WindowCase {
    veg::grid::Edge start;
    veg::grid::Edge edge;
    bool ok;
};

TEST(FieldWindowRead, WindowsInsideTheFieldOnlyAndOfItsType) {
    TempDir dir;
    EosGridSpec g = sinusoidalGrid(5, 4);
    std::vector<int16_t> values(20);
    for (int i = 0; i < 20; ++i) {
        values[i] = static_cast<int16_t>(100 * (i / 5) + i % 5); // 100 x row + column
    }
    EosField f = eosField("sur_refl_b01_1", kEosInt16, values);
    f.deflateLevel = 9;
    g.fields.push_back(f);
    writeEosFile(dir.file("t.hdf"), g);
    veg::grid::GridReader tile;
    ASSERT_TRUE(tile.open(dir.file("t.hdf"), "MODIS_Grid_2D"));

    const WindowCase cases[] = {
        {{0, 0}, {4, 5}, true},   {{1, 2}, {2, 3}, true},  {{3, 4}, {1, 1}, true},
        {{0, 3}, {4, 2}, true},   {{3, 0}, {2, 1}, false}, {{0, 4}, {1, 2}, false},
        {{-1, 0}, {1, 1}, false}, {{0, 0}, {0, 3}, false}, {{0, 0}, {5, 5}, false},
    };
    for (const WindowCase &c : cases) {
        const size_t cells = c.edge.first > 0 && c.edge.second > 0
                                 ? static_cast<size_t>(c.edge.first) * c.edge.second
                                 : 1;
        std::vector<int16_t> window(cells, -1);
        const bool ok = veg::grid::readFieldWindow(tile.grid(), "sur_refl_b01_1", c.start, c.edge,
                                                   window.data(), window.size());
        ASSERT_EQ(ok, c.ok) << c.start.first << "," << c.start.second << " " << c.edge.first << "x"
                            << c.edge.second;
        if (!ok) {
            EXPECT_EQ(window, std::vector<int16_t>(cells, -1));
            continue;
        }
        for (int r = 0; r < c.edge.first; ++r) {
            for (int k = 0; k < c.edge.second; ++k) {
                EXPECT_EQ(window[static_cast<size_t>(r) * c.edge.second + k],
                          100 * (c.start.first + r) + c.start.second + k);
            }
        }
    }
    std::vector<uint16_t> unsignedWindow(4);
    EXPECT_FALSE(veg::grid::readFieldWindow(tile.grid(), "sur_refl_b01_1", {0, 0}, {2, 2},
                                            unsignedWindow.data(), unsignedWindow.size()));
    std::vector<int16_t> small(3);
    EXPECT_FALSE(veg::grid::readFieldWindow(tile.grid(), "sur_refl_b01_1", {0, 0}, {2, 2},
                                            small.data(), small.size()));
    EXPECT_FALSE(veg::grid::readFieldWindow(tile.grid(), "no_field", {0, 0}, {1, 1}, small.data(),
                                            small.size()));
}

// A window read that HDF4 never ends (a damaged deflated field) is stopped by the watchdog: the
// process prints the failure message, removes the output's leftovers and ends with the status.
TEST(FieldWindowRead, WatchdogEndsAReadThatNeverReturns) {
    TempDir dir;
    const std::string folder = dir.file(".tmp01234567");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    writeFile(folder + "/out.hdf", "partial");
    const std::string damaged =
        std::string(VEG_SOURCE_DIR) + "/tests/fuzz/known/window-read-spins-in-deflate-seek.hdf";
    EXPECT_EXIT(
        {
            veg::grid::GridReader tile;
            if (!tile.open(damaged, "MODIS_Grid_2D")) {
                std::_Exit(3);
            }
            const veg::grid::ReadWatchdog watchdog("Read data from tile failed.\n", 255,
                                                   {folder + "/out.hdf", folder}, 1);
            std::vector<int16_t> window(100);
            veg::grid::readFieldWindow(tile.grid(), "sur_ndvi_b02_b01", {1, 1}, {10, 10},
                                       window.data(), window.size());
            std::_Exit(4);
        },
        testing::ExitedWithCode(255), "^Read data from tile failed.\n$");
    EXPECT_FALSE(fileExists(folder));
}

} // namespace
