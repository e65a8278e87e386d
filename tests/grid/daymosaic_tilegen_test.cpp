// The MODIS-like tile generator that feeds daymosaic in demos, tests and benchmarks: tile-grid
// corners against real tiles, realistic and deterministic values, and the written file.
#include "tilegen.h"

#include "support/hdfeos.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace testsupport;

struct CornerCase {
    int h, v;
    double ulx, uly, lrx, lry; // from real tiles' metadata
};

TEST(TileGenerator, CornersOfRealTiles) {
    const CornerCase cases[] = {
        {18, 3, 0, 6671703.118, 1111950.519667, 5559752.598333},
        {14, 17, -4447802.078667, -8895604.157333, -3335851.559000, -10007554.677000},
        {12, 11, -6671703.118599, -2223901.039533, -5559752.598932, -3335851.559199},
        {0, 8, -20015109.354, 1111950.519667, -18903158.834333, 0},
        {35, 0, 18903158.834333, 10007554.677, 20015109.354, 8895604.157333},
    };
    for (const CornerCase &c : cases) {
        const veg::grid::GridGeometry g = veg::modis_tilegen::tileGeometry(c.h, c.v, 4800, 4800);
        EXPECT_NEAR(g.upperLeft[0], c.ulx, 1e-3) << c.h << " " << c.v;
        EXPECT_NEAR(g.upperLeft[1], c.uly, 1e-3) << c.h << " " << c.v;
        EXPECT_NEAR(g.lowerRight[0], c.lrx, 1e-3) << c.h << " " << c.v;
        EXPECT_NEAR(g.lowerRight[1], c.lry, 1e-3) << c.h << " " << c.v;
        EXPECT_EQ(g.projectionCode, 16);
        EXPECT_EQ(g.projectionParameters[0], 6371007.181);
        EXPECT_NEAR((g.lowerRight[0] - g.upperLeft[0]) / 4800, 231.656358263958, 1e-9);
    }
}

struct Sample {
    int cells = 0, gaps = 0, water = 0, cloudy = 0, land = 0;
    double landNdvi = 0;
};

Sample sampleTile(const veg::modis_tilegen::TileSpec &tileSpec) {
    Sample s;
    const veg::grid::GridGeometry g =
        veg::modis_tilegen::tileGeometry(tileSpec.horizontal, tileSpec.vertical, 400, 400);
    const double cell = (g.lowerRight[0] - g.upperLeft[0]) / 400;
    for (int r = 0; r < 400; r += 2) {
        for (int c = 0; c < 400; c += 2) {
            const veg::modis_tilegen::CellValues v = veg::modis_tilegen::cellAt(
                g.upperLeft[0] + (c + 0.5) * cell, g.upperLeft[1] - (r + 0.5) * cell, tileSpec);
            ++s.cells;
            if (v.numObservations == 0) {
                EXPECT_EQ(v.red, -28672);
                EXPECT_EQ(v.nir, -28672);
                EXPECT_EQ(v.qc, 2995);
                ++s.gaps;
                continue;
            }
            EXPECT_GE(v.red, -100);
            EXPECT_LE(v.red, 16000);
            EXPECT_GE(v.nir, -100);
            EXPECT_LE(v.nir, 16000);
            EXPECT_GE(v.obscov, 0);
            EXPECT_LE(v.obscov, 100);
            const double ndvi = (v.nir - v.red) / static_cast<double>(v.nir + v.red);
            if ((v.qc & 0xC) != 0) {
                ++s.cloudy;
            } else if (ndvi < 0) {
                ++s.water;
            } else {
                ++s.land;
                s.landNdvi += ndvi;
            }
        }
    }
    if (s.land > 0) {
        s.landNdvi /= s.land;
    }
    return s;
}

TEST(TileGenerator, ValuesAreRealisticAndFollowTheSeason) {
    veg::modis_tilegen::TileSpec summer;
    summer.dayOfYear = 200;
    const Sample a = sampleTile(summer);
    EXPECT_GT(a.gaps, 0);
    EXPECT_LT(a.gaps, a.cells / 20);
    EXPECT_GT(a.water, a.cells / 100);
    EXPECT_GT(a.cloudy, a.cells / 50);
    EXPECT_LT(a.cloudy, a.cells / 2);
    EXPECT_GT(a.landNdvi, 0.3);

    veg::modis_tilegen::TileSpec winter = summer;
    winter.dayOfYear = 15;
    EXPECT_LT(sampleTile(winter).landNdvi, a.landNdvi - 0.1);

    veg::modis_tilegen::TileSpec clear = summer;
    clear.cloudCover = 0;
    EXPECT_EQ(sampleTile(clear).cloudy, 0);

    veg::modis_tilegen::TileSpec flat = clear;
    flat.seasonal = false;
    veg::modis_tilegen::TileSpec flatWinter = flat;
    flatWinter.dayOfYear = 15;
    EXPECT_NEAR(sampleTile(flat).landNdvi, sampleTile(flatWinter).landNdvi, 0.02);
}

TEST(TileGenerator, SameSeedSameValuesOtherSeedOtherLandscape) {
    veg::modis_tilegen::TileSpec one, again, other;
    other.seed = 2;
    int differences = 0;
    for (int i = 0; i < 200; ++i) {
        const double x = 12345.6 + i * 731.3, y = 5000000.0 - i * 977.1;
        const veg::modis_tilegen::CellValues a = veg::modis_tilegen::cellAt(x, y, one),
                                             b = veg::modis_tilegen::cellAt(x, y, again);
        EXPECT_EQ(a.red, b.red);
        EXPECT_EQ(a.nir, b.nir);
        EXPECT_EQ(a.qc, b.qc);
        EXPECT_EQ(a.granulePointer, b.granulePointer);
        differences += veg::modis_tilegen::cellAt(x, y, other).nir != a.nir;
    }
    EXPECT_GT(differences, 150);
}

TEST(TileGenerator, WrittenTileHasTheProductsFieldsAndAttributes) {
    TempDir dir;
    const RunResult r = run(MODIS_TILEGEN_BIN, {"--tile", "h18v03", "--size", "12x8", "--date",
                                                "2021.03.01", "--seed", "9", dir.file("t.hdf")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Wrote " + dir.file("t.hdf") + ": tile h18v03, 12x8 cells, 2021.03.01 (day 60)\n");
    const EosGridRead g = readEosGrid(dir.file("t.hdf"));
    EXPECT_EQ(g.columns, 12);
    EXPECT_EQ(g.rows, 8);
    EXPECT_NEAR(g.upperLeft[1], 6671703.118, 1e-3);
    const std::vector<std::pair<std::string, int32_t>> fields = {
        {"num_observations", kEosInt8}, {"sur_refl_b01_1", kEosInt16},
        {"sur_refl_b02_1", kEosInt16},  {"QC_250m_1", kEosUInt16},
        {"obscov_1", kEosInt8},         {"iobs_res_1", kEosUInt8},
        {"orbit_pnt_1", kEosInt8},      {"granule_pnt_1", kEosUInt8}};
    ASSERT_EQ(g.fields.size(), fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(g.fields[i].name, fields[i].first);
        EXPECT_EQ(g.fields[i].numberType, fields[i].second);
        EXPECT_EQ(g.fields[i].dimList, "YDim,XDim");
        EXPECT_EQ(g.fields[i].compression, 4);
    }
    const std::vector<EosAttribute> red = readSdAttributes(dir.file("t.hdf"), "sur_refl_b01_1");
    std::vector<std::string> names;
    for (const EosAttribute &a : red) {
        names.push_back(a.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"long_name", "units", "valid_range", "_FillValue",
                                               "add_offset", "add_offset_err", "calibrated_nt",
                                               "scale_factor", "scale_factor_err",
                                               "Nadir Data Resolution"}));
    EXPECT_EQ(red[0], eosText("long_name", "250m Surface Reflectance Band 1 - first layer", 45));
    EXPECT_EQ(red[2], eosValues<int16_t>("valid_range", kEosInt16, {-100, 16000}));
    EXPECT_EQ(red[3], eosValues<int16_t>("_FillValue", kEosInt16, {-28672}));
    EXPECT_EQ(red[7], eosValues<double>("scale_factor", kEosFloat64, {10000.0}));
    EXPECT_EQ(readSdAttributes(dir.file("t.hdf"), "granule_pnt_1")[3],
              eosValues<uint8_t>("_FillValue", kEosUInt8, {255}));
}

TEST(TileGenerator, BadArgumentsAreRefused) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--tile", "h36v00", "x.hdf"},
        {"--tile", "18v04", "x.hdf"},
        {"--date", "2021.02.29", "x.hdf"},
        {"--size", "0x5", "x.hdf"},
        {"--clouds", "1.5", "x.hdf"},
        {"--seed", "-1", "x.hdf"},
        {"--bogus", "x.hdf"},
    };
    TempDir dir;
    for (const auto &args : cases) {
        const RunResult r = run(MODIS_TILEGEN_BIN, args, RunOptions{dir.path(), {}, {}, ""});
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(fileExists(dir.file("x.hdf")));
    }
}

} // namespace
