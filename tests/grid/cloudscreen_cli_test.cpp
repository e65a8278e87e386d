// cloudscreen as a program: state tiles on both sides of a tile edge placed in both dimension
// orders, both rules, the carried fields, the real tile's state, and inputs it must refuse.
#include "support/hdfeos.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gdal_priv.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace {

using testsupport::eosField;
using testsupport::EosGridSpec;
using testsupport::fromBytes;
using testsupport::readEosGrid;
using testsupport::run;
using testsupport::TempDir;

const std::string kProgram = CLOUDSCREEN_BIN;
constexpr double kTile = 2 * 20015109.354 / 36;
constexpr double kCell = kTile / 4800;
constexpr int16_t kFill = -28673, kNo = -28672;

// Transposes a row-major rows x columns array into column-major when `order` is 2.
template <typename T> std::vector<T> inOrder(const std::vector<T> &v, int columns, int order) {
    if (order == 1) {
        return v;
    }
    const int rows = static_cast<int>(v.size()) / columns;
    std::vector<T> t(v.size());
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            t[static_cast<size_t>(c * rows + r)] = v[static_cast<size_t>(r * columns + c)];
        }
    }
    return t;
}

EosGridSpec gridAt(const char *name, double x0, double y0, int columns, int rows, double cell) {
    EosGridSpec g;
    g.name = name;
    g.columns = columns;
    g.rows = rows;
    g.upperLeft = {{x0, y0}};
    g.lowerRight = {{x0 + columns * cell, y0 - rows * cell}};
    return g;
}

// A daily grid of columns x rows cells from (x0, y0) with NDVI 5000 but for the cells given.
void writeDaily(const std::string &path, double x0, double y0, int columns, int rows,
                std::vector<int16_t> ndvi, int order) {
    EosGridSpec g = gridAt("MODIS_Grid_2D", x0, y0, columns, rows, kCell);
    const size_t n = ndvi.size();
    std::vector<uint8_t> ndvi8;
    for (int16_t v : ndvi) {
        ndvi8.push_back(v == kFill ? 255 : v == kNo ? 254 : static_cast<uint8_t>(v * 0.0125 + 125));
    }
    std::vector<uint16_t> qc(n);
    for (size_t i = 0; i < n; ++i) {
        qc[i] = static_cast<uint16_t>(i * 7);
    }
    using namespace testsupport;
    g.fields = {eosField("num_observations", kEosInt8, std::vector<int8_t>(n, 1)),
                eosField("sur_refl_b01_1", kEosInt16, std::vector<int16_t>(n, 500)),
                eosField("sur_refl_b02_1", kEosInt16, std::vector<int16_t>(n, 2500)),
                eosField("QC_250m_1", kEosUInt16, inOrder(qc, columns, order)),
                eosField("obscov_1", kEosInt8, std::vector<int8_t>(n, 90)),
                eosField("iobs_res_1", kEosUInt8, std::vector<uint8_t>(n, 2)),
                eosField("orbit_pnt_1", kEosInt8, std::vector<int8_t>(n, 0)),
                eosField("granule_pnt_1", kEosUInt8, std::vector<uint8_t>(n, 3)),
                eosField("sur_ndvi_b02_b01", kEosInt16, inOrder(ndvi, columns, order)),
                eosField("sur_ndvi_b02_b01_8bit", kEosUInt8, inOrder(ndvi8, columns, order))};
    g.fields[1].attributes = {eosText("units", "reflectance", 11)};
    for (EosField &f : g.fields) {
        f.dimList = order == 1 ? "YDim,XDim" : "XDim,YDim";
    }
    writeEosFile(path, g);
}

void writeState(const std::string &path, double x0, double y0, int columns, int rows,
                const std::vector<uint16_t> &state, int order, double cell = 4 * kCell) {
    EosGridSpec g = gridAt("MODIS_Grid_1km_2D", x0, y0, columns, rows, cell);
    g.fields = {eosField("state_1km_1", testsupport::kEosUInt16, inOrder(state, columns, order))};
    g.fields[0].dimList = order == 1 ? "YDim,XDim" : "XDim,YDim";
    g.fields[0].deflateLevel = 5;
    writeEosFile(path, g);
}

// Twelve columns by eight rows across the edge of h17v03 and h18v03: columns 0-3 lie on h17v03
// (one column of state cells: cloudy over clear), 4-11 on h18v03 (shadow, adjacent / high cirrus,
// fill). Cell (0, 0) is outside the area and (7, 11) has no value.
const double kX0 = -4 * kCell, kY0 = 10007554.677 - 3 * kTile;

struct Inputs {
    TempDir dir;
    std::string daily = dir.file("NDVI2024.05.13.hdf");
    std::string h17 = dir.file("MOD09GA.A2024134.h17v03.061.hdf");
    std::string h18 = dir.file("MOD09GA.A2024134.h18v03.061.hdf");
    std::string out = dir.file("screened.hdf");

    Inputs(int dailyOrder, int stateOrder) {
        std::vector<int16_t> ndvi(96, 5000);
        ndvi[0] = kFill;
        ndvi[95] = kNo;
        writeDaily(daily, kX0, kY0, 12, 8, ndvi, dailyOrder);
        writeState(h17, -4 * kCell, kY0, 1, 2, {0x0009, 0x0008}, stateOrder);
        writeState(h18, 0, kY0, 2, 2, {0x000C, 0x2008, 0x0308, 0xFFFF}, stateOrder);
    }
};

std::vector<int16_t> ndviOf(const std::string &path, int order) {
    const auto grid = readEosGrid(path);
    const auto v = fromBytes<int16_t>(testsupport::eosFieldOf(grid, "sur_ndvi_b02_b01").data);
    return order == 1 ? v : inOrder(v, 8, 2); // column-major 12 x 8 back to row-major
}

TEST(CloudScreenCli, ScreensByTheStateAcrossTileEdgesInBothOrders) {
    // Which 4 x 4 blocks each rule screens: block row, block column (0: h17v03).
    const bool standard[2][3] = {{true, true, false}, {false, false, true}};
    const bool strict[2][3] = {{true, true, true}, {false, true, true}};
    for (const auto &[dailyOrder, stateOrder] : {std::pair{1, 1}, {2, 2}, {1, 2}, {2, 1}}) {
        for (const char *rule : {"standard", "strict"}) {
            Inputs in(dailyOrder, stateOrder);
            const auto r = run(kProgram, {rule, in.daily, in.out, in.h18, in.h17});
            ASSERT_EQ(r.status, 0) << r.err;
            const auto &blocks = std::string(rule) == "strict" ? strict : standard;
            const std::vector<int16_t> got = ndviOf(in.out, dailyOrder);
            for (int c = 0; c < 96; ++c) {
                const int row = c / 12, column = c % 12;
                const int16_t want = c == 0                        ? kFill
                                     : c == 95                     ? kNo
                                     : blocks[row / 4][column / 4] ? kNo
                                                                   : int16_t{5000};
                EXPECT_EQ(got[c], want)
                    << rule << " orders " << dailyOrder << stateOrder << " cell " << c;
            }
            const bool isStrict = std::string(rule) == "strict";
            EXPECT_NE(r.out.find(isStrict ? "screened 78 of 94 cells with NDVI (83.0 %)"
                                          : "screened 46 of 94 cells with NDVI (48.9 %)"),
                      std::string::npos)
                << r.out;
            // Every other field and attribute is carried unchanged.
            const auto before = readEosGrid(in.daily), after = readEosGrid(in.out);
            EXPECT_EQ(testsupport::geometryDifferences(before, after), "");
            EXPECT_EQ(testsupport::eosFieldOf(before, "QC_250m_1").data,
                      testsupport::eosFieldOf(after, "QC_250m_1").data);
            EXPECT_EQ(testsupport::readSdAttributes(in.daily, "sur_refl_b01_1"),
                      testsupport::readSdAttributes(in.out, "sur_refl_b01_1"));
        }
    }
}

TEST(CloudScreenCli, RefusesMissingWrongAndDamagedTiles) {
    Inputs in(1, 1);
    const std::string moved = in.dir.file("MOD09GA.A2024134.h17v04.061.hdf");
    std::filesystem::copy_file(in.h18, moved);
    const std::string damaged = in.dir.file("damaged.h18v03.hdf");
    const std::string bytes = testsupport::readFile(in.h18);
    testsupport::writeFile(damaged, bytes.substr(0, bytes.size() / 2));
    const std::string coarse = in.dir.file("coarse.hdf");
    writeState(coarse, 0, kY0, 10, 1, std::vector<uint16_t>(10), 1, 4.4 * kCell);
    // Days in names: the state tiles' acquisition day (A2024134: 13 May), a day folder, the daily
    // grid's date, and a daily grid whose name gives none.
    std::filesystem::create_directory(in.dir.file("2024.05.15"));
    const std::string may15 = in.dir.file("2024.05.15/h18v03.hdf");
    std::filesystem::copy_file(in.h18, may15);
    const std::string daily14 = in.dir.file("NDVI2024.05.14.hdf");
    const std::string undated = in.dir.file("day.hdf");
    std::filesystem::copy_file(in.daily, daily14);
    std::filesystem::copy_file(in.daily, undated);
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const Case cases[] = {
        {{"standard", in.daily, in.out, in.h18},
         "no state tile covers row 0, column 1 of " + in.daily + " (tile h17v03).\n"},
        {{"standard", in.daily, in.out, in.h18, in.dir.file("none.hdf")},
         "open file or get info for " + in.dir.file("none.hdf") + " failed.\n"},
        {{"standard", in.daily, in.out, in.h17, damaged},
         "open file or get info for " + damaged + " failed.\n"},
        {{"standard", in.daily, in.out, in.h17, moved},
         moved + " is named h17v04 but lies on tile h18v03.\n"},
        {{"standard", in.daily, in.out, in.h17, coarse},
         "cell size of " + coarse + " is not a whole multiple of " + in.daily + "'s.\n"},
        {{"standard", in.h18, in.out, in.h17},
         "open file or get info for " + in.h18 + " failed.\n"},
        {{"lenient", in.daily, in.out, in.h17},
         "unknown screening rule 'lenient' (standard or strict).\n"},
        {{"standard", daily14, in.out, in.h17, in.h18},
         in.h17 + " is of day 2024.05.13 but " + daily14 + " is of day 2024.05.14.\n"},
        {{"standard", undated, in.out, in.h17, may15},
         may15 + " is of day 2024.05.15 but " + in.h17 + " is of day 2024.05.13.\n"},
    };
    for (const Case &c : cases) {
        const auto r = run(kProgram, c.args);
        EXPECT_EQ(r.status, 255) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(testsupport::fileExists(in.out)) << c.err;
    }
}

// The real 1 km tile's state through the program, against GDAL's reading of the same field and
// the rule written as masks: 400 x 80 daily cells over its state rows 30..49, columns 1100..1199,
// where the tile's edge of fill meets cloud and a few clear cells.
TEST(CloudScreenCli, ScreensWithTheRealTilesState) {
    // The tile (2.2 MB) is read where the project's shared real data lie, not kept in the tree.
    const std::string real =
        std::string(VEG_SHARED_REAL_DATA_DIR) + "/MOD09GA.A2008296.h14v17.006.2015181011753.hdf";
    if (!testsupport::fileExists(real)) {
        GTEST_SKIP() << "the real 1 km tile " << real << " is not there";
    }
    TempDir dir;
    const double x0 = -4447802.078667 + 1100 * 4 * kCell, y0 = -8895604.157333 - 30 * 4 * kCell;
    writeDaily(dir.file("daily.hdf"), x0, y0, 400, 80, std::vector<int16_t>(32000, 5000), 1);
    const auto r = run(kProgram, {"strict", dir.file("daily.hdf"), dir.file("out.hdf"), real});
    ASSERT_EQ(r.status, 0) << r.err;
    GDALAllRegister();
    const std::string name = "HDF4_EOS:EOS_GRID:\"" + real + "\":MODIS_Grid_1km_2D:state_1km_1";
    GDALDatasetUniquePtr ds(GDALDataset::Open(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    ASSERT_TRUE(ds);
    std::vector<uint16_t> state(100 * 20);
    ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Read, 1100, 30, 100, 20, state.data(), 100, 20,
                                             GDT_UInt16, 0, 0),
              CE_None);
    const auto out = readEosGrid(dir.file("out.hdf"));
    const auto ndvi = fromBytes<int16_t>(testsupport::eosFieldOf(out, "sur_ndvi_b02_b01").data);
    size_t screened = 0;
    for (size_t c = 0; c < ndvi.size(); ++c) {
        const uint16_t s = state[(c / 400 / 4) * 100 + (c % 400) / 4];
        const bool cloud = (s & 3) == 1 || (s & 3) == 2;
        const bool flagged = (s & (4 | 1024 | 8192)) != 0 || (s & 768) == 768;
        const bool out_ = s == 65535 || cloud || flagged;
        screened += out_;
        ASSERT_EQ(ndvi[c], out_ ? kNo : 5000) << "cell " << c << " state " << s;
    }
    EXPECT_GT(screened, 0u);
    EXPECT_LT(screened, ndvi.size());
}

// The chain: two days of generated tiles with their state tiles, a cloud over part of the area on
// each day (overlapping), daymosaic, cloudscreen and peakcomposite. The composite of the screened
// days holds, cell by cell, the larger NDVI of the days whose state is clear, and no value where
// both days were screened; without screening the clouds' own low NDVI would fill the overlap.
TEST(CloudScreenCli, ChainCompositeKeepsOnlyClearDays) {
    TempDir dir;
    const double tile = kTile, x0 = 18 * tile - 20015109.354, y0 = 10007554.677 - 4 * tile;
    EosGridSpec mask = gridAt("MODIS_Grid_2D", x0, y0, 40, 40, tile / 40);
    mask.fields = {
        eosField("sur_ndvi_b02_b01", testsupport::kEosUInt8, std::vector<uint8_t>(1600, 255))};
    testsupport::writeEosFile(dir.file("mask.hdf"), mask);
    const char *overcast[2] = {"400000,5100000,300000", "650000,5100000,300000"};
    std::vector<std::vector<int16_t>> ndvi(2);
    std::vector<std::vector<uint16_t>> state(2);
    std::string list;
    for (int d = 0; d < 2; ++d) {
        const std::string n = std::to_string(d);
        ASSERT_EQ(run(MODIS_TILEGEN_BIN,
                      {"--size", "40", "--clouds", "0", "--date", "2024.05.1" + n, "--overcast",
                       overcast[d], "--state", dir.file("MOD09GA.h18v04." + n + ".hdf"),
                       dir.file("h18v04." + n + ".hdf")})
                      .status,
                  0);
        testsupport::writeFile(dir.file("tiles" + n + ".txt"), dir.file("h18v04." + n + ".hdf"));
        ASSERT_EQ(run(DAYMOSAIC_BIN, {dir.file("tiles" + n + ".txt"), dir.file("mask.hdf"),
                                      dir.file("day" + n + ".hdf")})
                      .status,
                  1);
        const auto r = run(kProgram, {"standard", dir.file("day" + n + ".hdf"),
                                      dir.file("screened" + n + ".hdf"),
                                      dir.file("MOD09GA.h18v04." + n + ".hdf")});
        ASSERT_EQ(r.status, 0) << r.err;
        ndvi[d] = fromBytes<int16_t>(
            testsupport::eosFieldOf(readEosGrid(dir.file("day" + n + ".hdf")), "sur_ndvi_b02_b01")
                .data);
        state[d] = fromBytes<uint16_t>(
            testsupport::eosFieldOf(
                readEosGrid(dir.file("MOD09GA.h18v04." + n + ".hdf"), "MODIS_Grid_1km_2D"),
                "state_1km_1")
                .data);
        list += dir.file("screened" + n + ".hdf") + "\n";
    }
    testsupport::writeFile(dir.file("days.txt"), list);
    ASSERT_EQ(run(PEAKCOMPOSITE_BIN, {dir.file("days.txt"), dir.file("composite.hdf")}).status, 0);
    const auto composite = fromBytes<int16_t>(
        testsupport::eosFieldOf(readEosGrid(dir.file("composite.hdf")), "sur_ndvi_b02_b01").data);
    int both = 0, one = 0;
    for (size_t c = 0; c < composite.size(); ++c) {
        const size_t s = (c / 40 / 4) * 10 + (c % 40) / 4;
        int16_t want = kNo;
        int screened = 0;
        for (int d = 0; d < 2; ++d) {
            const uint16_t v = state[d][s];
            const bool out = v == 65535 || (v & 3) == 1 || (v & 3) == 2 || (v & 0x404) != 0;
            screened += out;
            if (!out && ndvi[d][c] >= -10000 && (want == kNo || ndvi[d][c] > want)) {
                want = ndvi[d][c];
            }
        }
        both += screened == 2;
        one += screened == 1;
        ASSERT_EQ(composite[c], want) << "cell " << c;
    }
    EXPECT_GT(both, 0);
    EXPECT_GT(one, 0);
}

} // namespace
