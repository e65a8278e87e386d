// The MODIS-like tile generator that feeds daymosaic in demos, tests and benchmarks: tile-grid
// corners against real tiles, realistic and deterministic values, swath-aligned observation
// fields, anomalies, seamless tiles and the written file.
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
        EXPECT_EQ(a.numObservations, b.numObservations);
        EXPECT_EQ(a.iobsRes, b.iobsRes);
        differences += veg::modis_tilegen::cellAt(x, y, other).nir != a.nir;
    }
    EXPECT_GT(differences, 150);
}

double ndviOf(const veg::modis_tilegen::CellValues &v) {
    return (v.nir - v.red) / static_cast<double>(v.nir + v.red);
}

// Cells of a sample at full resolution (231.66 m) from the upper left (x0, y0), row by row.
std::vector<veg::modis_tilegen::CellValues>
fullResolutionSample(const veg::modis_tilegen::TileSpec &tileSpec, double x0, double y0,
                     int columns = 200, int rows = 200) {
    std::vector<veg::modis_tilegen::CellValues> cells;
    const double cell = 2 * 20015109.354 / 36 / 4800;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            cells.push_back(
                veg::modis_tilegen::cellAt(x0 + (c + 0.5) * cell, y0 - (r + 0.5) * cell, tileSpec));
        }
    }
    return cells;
}

// Observation fields change only at swath, granule and row-pattern boundaries: most cells equal
// their right-hand neighbour, as in real tiles (noise per cell would give about 1 in the number of
// values). QC cloud bits follow the clouds and the land bits the land.
TEST(TileGenerator, ObservationFieldsFollowTheSwaths) {
    using Cell = veg::modis_tilegen::CellValues;
    struct FieldCase {
        const char *name;
        int (*value)(const Cell &);
        double minimumEqualShare;
    };
    const FieldCase cases[] = {
        {"orbit pointer", [](const Cell &v) -> int { return v.orbitPointer; }, 0.99},
        {"granule pointer", [](const Cell &v) -> int { return v.granulePointer; }, 0.99},
        {"observations", [](const Cell &v) -> int { return v.numObservations; }, 0.9},
        {"iobs_res", [](const Cell &v) -> int { return v.iobsRes; }, 0.6},
    };
    veg::modis_tilegen::TileSpec tileSpec;
    // A strip of 400 x 100 cells across the gap between two swaths (about 40 km wide here).
    const double y0 = 5000000.0;
    double gap = 0;
    for (double x = 0; x < 4000000.0 && gap == 0; x += 200.0) {
        gap = veg::modis_tilegen::cellAt(x, y0, tileSpec).numObservations == 0 ? x : 0;
    }
    ASSERT_GT(gap, 0);
    const std::vector<Cell> cells =
        fullResolutionSample(tileSpec, gap - 110 * 231.66, y0 + 50 * 231.66, 400, 100);
    for (const FieldCase &f : cases) {
        int equal = 0, pairs = 0;
        for (size_t i = 0; i + 1 < cells.size(); ++i) {
            if (i % 400 != 399 && cells[i].numObservations > 0 &&
                cells[i + 1].numObservations > 0) {
                equal += f.value(cells[i]) == f.value(cells[i + 1]);
                ++pairs;
            }
        }
        EXPECT_GT(equal, f.minimumEqualShare * pairs) << f.name;
    }
    int orbits = 0, cloudBitsOff = 0, landBitsOnWater = 0;
    for (const Cell &v : cells) {
        if (v.numObservations == 0) {
            continue;
        }
        orbits |= 1 << v.orbitPointer;
        const bool cloudBits = (v.qc & 0xC) != 0;
        cloudBitsOff += !cloudBits && std::abs(v.red - v.nir) < 400 && v.red > 3500;
        landBitsOnWater += !cloudBits && ndviOf(v) < -0.2 && (v.qc & 0x2000) != 0;
    }
    EXPECT_EQ(cloudBitsOff, 0);
    EXPECT_EQ(landBitsOnWater, 0);
    EXPECT_GT(__builtin_popcount(static_cast<unsigned>(orbits)), 1) << "no swath boundary";
}

// A region's anomaly changes the NDVI there in its direction and nothing outside it; between two
// years without anomalies a cell's NDVI changes little beside a drought's drop.
TEST(TileGenerator, AnomaliesChangeTheirRegionOnly) {
    struct AnomalyCase {
        double change;
        double minimumShift; // mean NDVI change inside, signed
    };
    const AnomalyCase cases[] = {{-0.45, -0.1}, {0.2, 0.03}};
    veg::modis_tilegen::TileSpec base;
    base.cloudCover = 0;
    base.dayOfYear = 130;
    const double x0 = 100000.0, y0 = 5300000.0, centreX = x0 + 100 * 231.66,
                 centreY = y0 - 100 * 231.66;
    const std::vector<veg::modis_tilegen::CellValues> before = fullResolutionSample(base, x0, y0);
    for (const AnomalyCase &c : cases) {
        veg::modis_tilegen::TileSpec changed = base;
        changed.anomalies.push_back({centreX, centreY, 15000.0, 10000.0, c.change});
        const std::vector<veg::modis_tilegen::CellValues> after =
            fullResolutionSample(changed, x0, y0);
        double shift = 0;
        int inside = 0, changedOutside = 0;
        for (size_t i = 0; i < after.size(); ++i) {
            const double x = x0 + (i % 200 + 0.5) * 231.66, y = y0 - (i / 200 + 0.5) * 231.66;
            const double weight = veg::modis_tilegen::anomalyWeight(changed.anomalies[0], x, y);
            if (weight == 1 && before[i].numObservations > 0) {
                shift += ndviOf(after[i]) - ndviOf(before[i]);
                ++inside;
            } else if (weight == 0) {
                changedOutside += after[i].red != before[i].red || after[i].nir != before[i].nir;
            }
        }
        ASSERT_GT(inside, 1000) << c.change;
        shift /= inside;
        EXPECT_EQ(changedOutside, 0) << c.change;
        EXPECT_TRUE(c.minimumShift < 0 ? shift < c.minimumShift : shift > c.minimumShift)
            << c.change << ": " << shift;
    }
    veg::modis_tilegen::TileSpec otherYear = base;
    otherYear.year = base.year + 1;
    const std::vector<veg::modis_tilegen::CellValues> next =
        fullResolutionSample(otherYear, x0, y0);
    int large = 0, usable = 0;
    for (size_t i = 0; i < next.size(); ++i) {
        if (before[i].numObservations > 0 && next[i].numObservations > 0) {
            large += std::abs(ndviOf(next[i]) - ndviOf(before[i])) > 0.08;
            ++usable;
        }
    }
    EXPECT_LT(large, usable / 20);
}

// NDVI spreads like a landscape's: no empty 0.1-wide class between water and dense vegetation, in
// spring and in summer (mixed land-cover classes, shores mixing water and land, thin and thick
// clouds).
TEST(TileGenerator, NdviClassesHaveNoGaps) {
    for (const int day : {130, 200}) {
        veg::modis_tilegen::TileSpec tileSpec;
        tileSpec.dayOfYear = day;
        const veg::grid::GridGeometry g = veg::modis_tilegen::tileGeometry(18, 4, 300, 300);
        const double cell = (g.lowerRight[0] - g.upperLeft[0]) / 300;
        int classes[20] = {};
        for (int r = 0; r < 300; ++r) {
            for (int c = 0; c < 300; ++c) {
                const veg::modis_tilegen::CellValues v = veg::modis_tilegen::cellAt(
                    g.upperLeft[0] + (c + 0.5) * cell, g.upperLeft[1] - (r + 0.5) * cell, tileSpec);
                if (v.numObservations > 0) {
                    ++classes[std::min(19, static_cast<int>(std::floor((ndviOf(v) + 1) * 10)))];
                }
            }
        }
        // From water (-0.3) to dense vegetation (0.8), every class holds cells.
        for (int i = 7; i < 18; ++i) {
            EXPECT_GT(classes[i], 0) << "day " << day << ", NDVI " << (i - 10) / 10.0;
        }
    }
}

// Neighbouring tiles join without seams: every written cell is the generator's cell at the
// cell's centre, so the last column of one tile and the first of the next continue each other.
TEST(TileGenerator, WrittenTilesAreTheCellsAtTheirCentres) {
    TempDir dir;
    veg::modis_tilegen::TileSpec tileSpec;
    tileSpec.columns = 30;
    tileSpec.rows = 20;
    tileSpec.compressed = false;
    tileSpec.anomalies.push_back({1111950.5, 5100000.0, 300000.0, 300000.0, -0.5});
    for (const int h : {18, 19}) {
        tileSpec.horizontal = h;
        std::string message;
        ASSERT_TRUE(veg::modis_tilegen::writeTile(dir.file("t.hdf"), tileSpec, &message))
            << message;
        const EosGridRead g = readEosGrid(dir.file("t.hdf"));
        const std::vector<int16_t> nir = fromBytes<int16_t>(eosFieldOf(g, "sur_refl_b02_1").data);
        const double width = (g.lowerRight[0] - g.upperLeft[0]) / 30,
                     height = (g.upperLeft[1] - g.lowerRight[1]) / 20;
        for (int r = 0; r < 20; ++r) {
            for (const int c : {0, 13, 29}) {
                const veg::modis_tilegen::CellValues v =
                    veg::modis_tilegen::cellAt(g.upperLeft[0] + (c + 0.5) * width,
                                               g.upperLeft[1] - (r + 0.5) * height, tileSpec);
                EXPECT_EQ(nir[static_cast<size_t>(r) * 30 + c], v.nir) << h << " " << r << " " << c;
            }
        }
    }
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

// The 1 km tile agrees with the 250 m tile's clouds as its QC reports them (cloud state in bits
// 2-3): cloudy where all 4 x 4 cells are, mixed where some are; shadows darken the land; the 1 km
// fields are those of the real product's 1 km grid, deflated.
TEST(TileGenerator, StateTileAgreesWithTheCloudsOfItsCells) {
    TempDir dir;
    const RunResult r = run(MODIS_TILEGEN_BIN, {"--size", "160", "--clouds", "0.4", "--shadows",
                                                "--overcast", "1300000,5300000,60000", "--state",
                                                dir.file("s.hdf"), dir.file("t.hdf")});
    ASSERT_EQ(r.status, 0) << r.err;
    const EosGridRead fine = readEosGrid(dir.file("t.hdf"));
    const EosGridRead coarse = readEosGrid(dir.file("s.hdf"), "MODIS_Grid_1km_2D");
    EXPECT_EQ(coarse.columns, 40);
    EXPECT_EQ(coarse.upperLeft, fine.upperLeft);
    EXPECT_EQ(coarse.lowerRight, fine.lowerRight);
    std::vector<std::string> names;
    for (const EosFieldRead &f : coarse.fields) {
        names.push_back(f.name);
        EXPECT_EQ(f.compression, 4) << f.name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"num_observations_1km", "state_1km_1",
                                               "SensorZenith_1", "SensorAzimuth_1", "Range_1",
                                               "SolarZenith_1", "SolarAzimuth_1", "gflags_1",
                                               "orbit_pnt_1", "granule_pnt_1"}));
    const auto qc = fromBytes<uint16_t>(eosFieldOf(fine, "QC_250m_1").data);
    const auto state = fromBytes<uint16_t>(eosFieldOf(coarse, "state_1km_1").data);
    int counts[4] = {};
    for (int r1 = 0; r1 < 40; ++r1) {
        for (int c1 = 0; c1 < 40; ++c1) {
            int observed = 0, cloudy = 0;
            for (int k = 0; k < 16; ++k) {
                const uint16_t q = qc[static_cast<size_t>(r1 * 4 + k / 4) * 160 + c1 * 4 + k % 4];
                observed += q != 2995;
                cloudy += q != 2995 && (q & 0x000C) != 0;
            }
            const uint16_t s = state[static_cast<size_t>(r1) * 40 + c1];
            const int want = observed == 0 ? 3 : cloudy == observed ? 1 : cloudy ? 2 : 0;
            const int got = s == 65535 ? 3 : (s & 3);
            EXPECT_EQ(got, want) << r1 << " " << c1;
            ++counts[got];
        }
    }
    EXPECT_GT(counts[0], 0);
    EXPECT_GT(counts[1], 0);
    EXPECT_GT(counts[2], 0);
    // The same tile without shadows differs only in the cells that the state marks as shadowed.
    ASSERT_EQ(run(MODIS_TILEGEN_BIN, {"--size", "160", "--clouds", "0.4", "--overcast",
                                      "1300000,5300000,60000", dir.file("u.hdf")})
                  .status,
              0);
    const auto nir = fromBytes<int16_t>(eosFieldOf(fine, "sur_refl_b02_1").data);
    const auto plain =
        fromBytes<int16_t>(eosFieldOf(readEosGrid(dir.file("u.hdf")), "sur_refl_b02_1").data);
    int shadowed = 0;
    for (size_t i = 0; i < nir.size(); ++i) {
        const uint16_t s = state[(i / 160 / 4) * 40 + (i % 160) / 4];
        if (nir[i] != plain[i]) {
            ++shadowed;
            EXPECT_LT(nir[i], plain[i]);
            EXPECT_TRUE(s & 4) << i;
        }
    }
    EXPECT_GT(shadowed, 0);
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
        {"--anomaly", "1,2,3", "x.hdf"},
        {"--anomaly", "1,2,0,-0.5", "x.hdf"},
        {"--anomaly", "1,2,3,4,-1.5", "x.hdf"},
        {"--anomaly", "1,2,3,x", "x.hdf"},
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
