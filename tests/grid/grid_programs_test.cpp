// The golden transcripts of the grid programs, run in-process on a tiny chain of generated files:
// a reflectance tile, an area raster on it, the mask grid and two daily grids with the period's
// extremes. Each program's usage, success and main failures (missing inputs, the memory wall).
#include "cloudscreen.h"
#include "conditionmap.h"
#include "daymosaic.h"
#include "peakcomposite.h"
#include "readguard.h"
#include "support/geotiff.h"
#include "support/golden.h"
#include "support/hdfeos.h"
#include "tilegen.h"
#include "zonegrid.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

namespace {

using testsupport::eosField;
using testsupport::kEosInt16;
using testsupport::kEosUInt8;
using testsupport::TempDir;

testsupport::EosGridSpec dailyGrid(const std::vector<int16_t> &ndvi) {
    testsupport::EosGridSpec g = testsupport::sinusoidalGrid(3, 2);
    std::vector<uint8_t> ndvi8;
    for (int16_t n : ndvi) {
        ndvi8.push_back(n < -10000 ? static_cast<uint8_t>(n == -28673 ? 255 : 254)
                                   : static_cast<uint8_t>(n * 0.0125 + 125));
    }
    g.fields = {eosField("sur_ndvi_b02_b01", kEosInt16, ndvi),
                eosField("sur_ndvi_b02_b01_8bit", kEosUInt8, ndvi8)};
    return g;
}

void gridInputs(const TempDir &dir) {
    std::ostringstream out, err;
    ASSERT_EQ(veg::modis_tilegen::run({"modis-tilegen", "--size", "8x6", "--seed", "3",
                                       "--uncompressed", dir.file("tile.hdf")},
                                      out, err),
              0);
    // The area covers the tile's cells but its first and last.
    const double tile = 2 * 20015109.354 / 36;
    testsupport::RasterSpec area;
    area.width = 8;
    area.height = 6;
    area.geoTransform = {
        {18 * tile - 20015109.354, tile / 8, 0, 10007554.677 - 4 * tile, 0, -tile / 6}};
    std::vector<uint8_t> inside(48, 255);
    inside.front() = inside.back() = 0;
    testsupport::writeByteGeoTiff(dir.file("area.tif"), area, inside);
    ASSERT_EQ(veg::zonegrid::run(
                  {"zonegrid", dir.file("area.tif"), dir.file("mask.hdf"), dir.file("tile.hdf")},
                  out, err),
              0);
    testsupport::writeFile(dir.file("tiles.txt"), "tile.hdf\n");
    // Two days with fill, no data, a tie and negative values; a missing day between them.
    testsupport::writeEosFile(dir.file("d1.hdf"), dailyGrid({3000, 5000, -28672, -28673, -500, 0}));
    testsupport::writeEosFile(dir.file("d2.hdf"), dailyGrid({4000, 5000, 2000, -28673, -400, 1}));
    testsupport::writeFile(dir.file("days.txt"), "d1.hdf\nd0.hdf\nd2.hdf\n");
    testsupport::EosGridSpec extremes = testsupport::sinusoidalGrid(3, 2);
    extremes.fields = {eosField<int16_t>("ndvi_min", kEosInt16, {1000, 0, 0, 0, -2000, 0}),
                       eosField<int16_t>("ndvi_max", kEosInt16, {6000, 5000, 9000, 0, 0, 0}),
                       eosField<int16_t>("ndvi_min2", kEosInt16, {1002, 10, 100, 0, -1500, 0}),
                       eosField<int16_t>("ndvi_min3", kEosInt16, {1500, 20, 200, 0, 0, 0})};
    testsupport::writeEosFile(dir.file("extremes.hdf"), extremes);
}

// The chain's files, the day's grid from them and a 1 km state tile on the same cells (one state
// cell per daily cell): cloudy, shadow and fill over the first row.
void screenInputs(const TempDir &dir) {
    gridInputs(dir);
    std::ostringstream out, err;
    const std::string list = dir.file("day-tiles.txt");
    testsupport::writeFile(list, dir.file("tile.hdf") + "\n");
    ASSERT_EQ(veg::daymosaic::run({"daymosaic", list, dir.file("mask.hdf"), dir.file("day.hdf")},
                                  out, err),
              1);
    std::filesystem::remove(list);
    const veg::grid::GridGeometry g = veg::modis_tilegen::tileGeometry(18, 4, 8, 6);
    testsupport::EosGridSpec state;
    state.name = "MODIS_Grid_1km_2D";
    state.columns = 8;
    state.rows = 6;
    state.upperLeft = g.upperLeft;
    state.lowerRight = g.lowerRight;
    std::vector<uint16_t> cells(48, 0x0008);
    cells[1] = 0x0009;
    cells[2] = 0x000C;
    cells[3] = 0xFFFF;
    cells[4] = 0x2008;
    state.fields = {eosField("state_1km_1", testsupport::kEosUInt16, cells)};
    testsupport::writeEosFile(dir.file("MOD09GA.A2020208.h18v04.hdf"), state);
}

TEST(GridPrograms, GoldenTranscripts) {
    using testsupport::addGoldenCases;
    std::vector<testsupport::GoldenCase> cases;
    addGoldenCases(
        cases, "grid/zonegrid", veg::zonegrid::run, "zonegrid",
        {{"area.tif", "out.hdf", "tile.hdf"}, {"area.tif"}, {"none.tif", "out.hdf", "none.hdf"}},
        gridInputs);
    addGoldenCases(cases, "grid/daymosaic", veg::daymosaic::run, "daymosaic",
                   {{"tiles.txt", "mask.hdf", "day.hdf"},
                    {"tiles.txt"},
                    {"none.txt", "mask.hdf", "day.hdf"},
                    {"tiles.txt", "none.hdf", "day.hdf"}},
                   gridInputs);
    addGoldenCases(
        cases, "grid/modis-tilegen", veg::modis_tilegen::run, "modis-tilegen",
        {{"--size", "4x3", "--date", "2020.01.05", "out.hdf"}, {}, {"--size", "0", "out.hdf"}});
    addGoldenCases(cases, "grid/peakcomposite", veg::peakcomposite::run, "peakcomposite",
                   {{"days.txt", "composite.hdf"}, {"days.txt"}, {"none.txt", "composite.hdf"}},
                   gridInputs);
    addGoldenCases(cases, "grid/conditionmap", veg::conditionmap::run, "conditionmap",
                   {{"extremes.hdf", "d1.hdf", "vci.hdf"},
                    {"extremes.hdf"},
                    {"none.hdf", "d1.hdf", "vci.hdf"},
                    {"extremes.hdf", "tiles.txt", "vci.hdf"}},
                   gridInputs);
    addGoldenCases(cases, "grid/cloudscreen", veg::cloudscreen::run, "cloudscreen",
                   {{"standard", "day.hdf", "screened.hdf", "MOD09GA.A2020208.h18v04.hdf"},
                    {"strict", "day.hdf", "screened.hdf", "MOD09GA.A2020208.h18v04.hdf"},
                    {"standard", "day.hdf"},
                    {"standard", "day.hdf", "screened.hdf", "none.hdf"},
                    {"standard", "day.hdf", "screened.hdf", "tile.hdf"}},
                   screenInputs);
    // The memory wall stops a run before it allocates its grids.
    const auto wall = [&](const char *transcript, veg::cli::EntryFunction run,
                          veg::cli::Args args) {
        cases.push_back({transcript, run, std::move(args), gridInputs});
        cases.back().env = {{"VEG_MEMAVAILABLE_BYTES", "10"}};
    };
    wall("grid/zonegrid", veg::zonegrid::run, {"zonegrid", "area.tif", "out.hdf", "tile.hdf"});
    wall("grid/daymosaic", veg::daymosaic::run, {"daymosaic", "tiles.txt", "mask.hdf", "day.hdf"});
    wall("grid/peakcomposite", veg::peakcomposite::run,
         {"peakcomposite", "days.txt", "composite.hdf"});
    cases.push_back({"grid/cloudscreen",
                     veg::cloudscreen::run,
                     {"cloudscreen", "standard", "day.hdf", "out.hdf", "state.hdf"},
                     screenInputs});
    cases.back().env = {{"VEG_MEMAVAILABLE_BYTES", "10"}};
    wall("grid/conditionmap", veg::conditionmap::run,
         {"conditionmap", "extremes.hdf", "d1.hdf", "vci.hdf"});
    addGoldenCases(
        cases, "grid/gridprobe", veg::gridprobe::run, "gridprobe",
        {{"d1.hdf", "MODIS_Grid_2D"}, {"d1.hdf", "NoSuchGrid"}, {"tiles.txt", "MODIS_Grid_2D"}, {}},
        gridInputs);
    testsupport::expectGolden(cases);
}

} // namespace
