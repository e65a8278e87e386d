// zonegrid against damaged rasters and reference grids and unusable output paths.
#include "battery.h"
#include "gridfixtures.h"

#include "support/geotiff.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

using battery::Damage;
using battery::GridFault;
using testsupport::TempDir;

struct ZoneFolder {
    TempDir dir;
    std::string raster = dir.file("area.tif");
    std::string output = dir.file("mask.hdf");
    std::string reference = dir.file("tile.hdf");

    ZoneFolder() {
        testsupport::RasterSpec rasterSpec;
        rasterSpec.width = 16;
        rasterSpec.height = 16;
        rasterSpec.geoTransform = {
            {-1111950.0, 231.65635826395828, 0, 5559752.0, 0, -231.65635826395828}};
        rasterSpec.wkt = "+proj=sinu +R=6371007.181 +units=m";
        testsupport::writeByteGeoTiff(raster, rasterSpec, rasterCells());
        testsupport::writeEosFile(reference, referenceGrid());
    }
    // Every cell value differs from its neighbours', so that a shifted or transposed copy shows.
    static std::vector<uint8_t> rasterCells() {
        std::vector<uint8_t> cells(16 * 16);
        for (size_t i = 0; i < cells.size(); ++i) {
            cells[i] = static_cast<uint8_t>(i * 7 % 251);
        }
        return cells;
    }
    static testsupport::EosGridSpec referenceGrid() {
        return battery::int16Grid({"sur_refl_b01_1"}, 4, 3, 500);
    }
    testsupport::RunResult run() const {
        return battery::run(ZONEGRID_BIN, {raster, output, reference});
    }
};

const std::vector<std::pair<Damage, int64_t>> kDamages = {
    {Damage::Missing, 0},     {Damage::Empty, 0},     {Damage::Directory, 0},
    {Damage::RandomBytes, 0}, {Damage::Truncated, 8}, {Damage::Truncated, 300},
};

TEST(ZonegridBattery, GoodInputsMakeAMask) {
    const ZoneFolder z;
    const auto result = z.run();
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const testsupport::EosGridRead mask = testsupport::readEosGrid(z.output);
    EXPECT_EQ(mask.columns, 16);
    EXPECT_EQ(mask.rows, 16);
    EXPECT_EQ(testsupport::eosFieldOf(mask, "sur_ndvi_b02_b01").data, ZoneFolder::rasterCells());
}

// A raster that GDAL cannot open: status 254; one that opens but cannot be read: 255. No output.
TEST(ZonegridBattery, DamagedRasters) {
    for (const auto &[damage, cut] : kDamages) {
        ZoneFolder z;
        const std::string bad = z.dir.file("bad.tif");
        battery::spoil(z.raster, bad, damage, cut);
        z.raster = bad;
        const bool opens = damage == Damage::Truncated && cut == 300;
        battery::expectCleanFailure(
            z.run(),
            {opens ? 255 : 254, (opens ? "Read band 1 of " : "Error: Unable to open file ") + bad,
             z.output},
            std::string(battery::damageName(damage)) + " " + std::to_string(cut));
    }
}

// A reference grid that cannot be opened or queried: status 255, no output.
TEST(ZonegridBattery, DamagedReferences) {
    for (const auto &[damage, cut] : kDamages) {
        ZoneFolder z;
        const std::string bad = z.dir.file("bad.hdf");
        battery::spoil(z.reference, bad, damage, cut);
        z.reference = bad;
        battery::expectCleanFailure(
            z.run(), {255, "open file or get info for " + bad + " failed.", z.output},
            std::string(battery::damageName(damage)) + " " + std::to_string(cut));
    }
    // (The output takes the raster's size, so a reference of any size is usable.)
    for (const GridFault fault : {GridFault::OtherGridName, GridFault::FieldMissing}) {
        ZoneFolder z;
        testsupport::writeEosFile(z.reference,
                                  battery::withFault(ZoneFolder::referenceGrid(), fault));
        battery::expectCleanFailure(z.run(), {255, z.reference, z.output},
                                    battery::gridFaultName(fault));
    }
}

TEST(ZonegridBattery, UnusableOutputPaths) {
    ZoneFolder z;
    testsupport::writeFile(z.dir.file("plain"), "a file, not a folder");
    for (const std::string &output :
         {z.dir.file("plain/mask.hdf"), z.dir.file("missing-folder/mask.hdf")}) {
        z.output = output;
        battery::expectCleanFailure(z.run(), {255, output, output}, output);
    }
}

} // namespace

namespace {

// A raster whose cells do not fit into the memory left (VEG_MEMAVAILABLE_BYTES stands in for the
// machine's) stops before it is read: 256 cells, and 512 when a column-major reference makes the
// mask turn them into a second array.
TEST(ZonegridBattery, RastersLargerThanMemory) {
    struct Case {
        const char *available;
        bool byColumns;
        bool fits;
    };
    const Case cases[] = {
        {"255", false, false}, {"256", false, true}, {"511", true, false}, {"512", true, true}};
    for (const Case &c : cases) {
        ZoneFolder z;
        if (c.byColumns) {
            testsupport::EosGridSpec reference = ZoneFolder::referenceGrid();
            reference.fields.front().dimList = "XDim,YDim";
            testsupport::writeEosFile(z.reference, reference);
        }
        const testsupport::RunResult result =
            battery::run(ZONEGRID_BIN, {z.raster, z.output, z.reference},
                         {{"VEG_MEMAVAILABLE_BYTES", c.available}});
        const std::string what = std::string(c.available) + (c.byColumns ? " by columns" : "");
        if (c.fits) {
            EXPECT_EQ(result.status, 0) << what << result.err;
            continue;
        }
        battery::expectCleanFailure(result,
                                    {255,
                                     "grid of " + z.raster + " (16 x 16) needs " +
                                         (c.byColumns ? "512" : "256") + " bytes of memory; " +
                                         c.available + " are available.\n",
                                     z.output},
                                    what);
    }
}

} // namespace
