// Command-line tests of daymosaic: messages and statuses, the placement of tile windows checked
// cell by cell against a geometric oracle, the fields and attributes of the daily grid, the chain
// from zonegrid, and a real reflectance file.
#include "support/geotiff.h"
#include "support/hdfeos.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace testsupport;

const char *const kCarried[8] = {"num_observations", "sur_refl_b01_1", "sur_refl_b02_1",
                                 "QC_250m_1",        "obscov_1",       "iobs_res_1",
                                 "orbit_pnt_1",      "granule_pnt_1"};
const int32_t kCarriedTypes[8] = {kEosInt8, kEosInt16, kEosInt16, kEosUInt16,
                                  kEosInt8, kEosUInt8, kEosInt8,  kEosUInt8};
// The fill values the test tiles declare, per carried field.
const int kCarriedFill[8] = {-1, -28672, -28672, 2995, -1, 255, -1, 255};

constexpr double kCell = 10.0; // cell size of every test grid, in projection units

RunResult runDaymosaic(const std::vector<std::string> &args) { return run(DAYMOSAIC_BIN, args); }

// Where a test tile lies: upper-left corner and size in cells.
struct TilePlace {
    double x0;
    double y0;
    int columns;
    int rows;
};

// Carried field values of tile `id`, cell (r, c): every value tells tile and cell apart.
int carriedValue(int field, int id, int r, int c) {
    switch (field) {
    case 0:
        return id; // num_observations
    case 1:
        return 100 + 50 * id + 7 * r + 3 * c; // red
    case 2:
        return 2000 + 100 * id + 11 * r + 5 * c; // near infrared
    case 3:
        return 1000 * id + 10 * r + c; // QC
    case 4:
        return r; // obscov
    case 5:
        return c; // iobs_res
    case 6:
        return -id; // orbit pointer
    default:
        return (10 * r + c) % 250; // granule pointer
    }
}

std::vector<uint8_t> fieldBytes(int field, int32_t type, size_t cells,
                                const std::function<int(size_t)> &value) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < cells; ++i) {
        const int v = value(i);
        if (type == kEosInt16 || type == kEosUInt16) {
            const uint16_t u = static_cast<uint16_t>(v);
            bytes.insert(bytes.end(), reinterpret_cast<const uint8_t *>(&u),
                         reinterpret_cast<const uint8_t *>(&u) + 2);
        } else {
            bytes.push_back(static_cast<uint8_t>(v));
        }
    }
    (void)field;
    return bytes;
}

std::vector<EosAttribute> carriedAttributes(int field) {
    std::vector<EosAttribute> a{eosText("long_name", std::string("test ") + kCarried[field],
                                        static_cast<int32_t>(5 + std::strlen(kCarried[field])))};
    const int fill = kCarriedFill[field];
    switch (kCarriedTypes[field]) {
    case kEosInt8:
        a.push_back(eosValues<int8_t>("_FillValue", kEosInt8, {static_cast<int8_t>(fill)}));
        break;
    case kEosUInt8:
        a.push_back(eosValues<uint8_t>("_FillValue", kEosUInt8, {static_cast<uint8_t>(fill)}));
        break;
    case kEosInt16:
        a.push_back(eosValues<int16_t>("_FillValue", kEosInt16, {static_cast<int16_t>(fill)}));
        break;
    default:
        a.push_back(eosValues<uint16_t>("_FillValue", kEosUInt16, {static_cast<uint16_t>(fill)}));
        break;
    }
    a.push_back(eosValues<double>("scale_factor", kEosFloat64, {10000.0}));
    return a;
}

EosGridSpec gridAt(double x0, double y0, int columns, int rows) {
    EosGridSpec g;
    g.columns = columns;
    g.rows = rows;
    g.upperLeft = {{x0, y0}};
    g.lowerRight = {{x0 + columns * kCell, y0 - rows * kCell}};
    return g;
}

// A tile with the eight carried fields; `change` may alter the grid before it is written.
void writeTile(const std::string &path, const TilePlace &p, int id,
               const std::function<void(EosGridSpec &)> &change = nullptr) {
    EosGridSpec g = gridAt(p.x0, p.y0, p.columns, p.rows);
    const size_t cells = static_cast<size_t>(p.columns) * p.rows;
    for (int f = 0; f < 8; ++f) {
        EosField field;
        field.name = kCarried[f];
        field.numberType = kCarriedTypes[f];
        field.data = fieldBytes(f, kCarriedTypes[f], cells, [&](size_t i) {
            return carriedValue(f, id, static_cast<int>(i / p.columns),
                                static_cast<int>(i % p.columns));
        });
        field.attributes = carriedAttributes(f);
        g.fields.push_back(field);
    }
    if (change) {
        change(g);
    }
    writeEosFile(path, g);
}

struct MaskPlace {
    double x0 = 1000;
    double y0 = 5000;
    int columns = 8;
    int rows = 6;
};

uint8_t maskValue(int r, int c) { return (r * 3 + c) % 7 == 0 ? 0 : ((r + c) % 2 ? 255 : 1); }

void writeMask(const std::string &path, const MaskPlace &m,
               const std::string &dimList = "YDim,XDim") {
    EosGridSpec g = gridAt(m.x0, m.y0, m.columns, m.rows);
    EosField f;
    f.name = "sur_ndvi_b02_b01";
    f.numberType = kEosUInt8;
    f.dimList = dimList;
    const bool byColumns = dimList == "XDim,YDim";
    for (size_t i = 0; i < static_cast<size_t>(m.columns) * m.rows; ++i) {
        const int r = byColumns ? static_cast<int>(i % m.rows) : static_cast<int>(i / m.columns);
        const int c = byColumns ? static_cast<int>(i / m.rows) : static_cast<int>(i % m.columns);
        f.data.push_back(maskValue(r, c));
    }
    g.fields.push_back(f);
    writeEosFile(path, g);
}

// The daily grid expected cell by cell: each output cell takes the values of the tile cell under
// its centre (the last tile of the list wins), found from coordinates alone.
struct Expected {
    std::vector<std::vector<int>> carried = std::vector<std::vector<int>>(8);
    std::vector<int> ndvi;
    std::vector<int> ndvi8;
};

Expected expectedGrid(const MaskPlace &m, const std::vector<TilePlace> &tiles) {
    Expected e;
    for (int r = 0; r < m.rows; ++r) {
        for (int c = 0; c < m.columns; ++c) {
            const double x = m.x0 + (c + 0.5) * kCell, y = m.y0 - (r + 0.5) * kCell;
            int found = -1, tr = 0, tc = 0;
            for (size_t t = 0; t < tiles.size(); ++t) {
                const TilePlace &p = tiles[t];
                const double cx = std::floor((x - p.x0) / kCell),
                             cy = std::floor((p.y0 - y) / kCell);
                if (cx >= 0 && cx < p.columns && cy >= 0 && cy < p.rows) {
                    found = static_cast<int>(t);
                    tr = static_cast<int>(cy);
                    tc = static_cast<int>(cx);
                }
            }
            int ndvi = -28672;
            for (int f = 0; f < 8; ++f) {
                e.carried[f].push_back(found < 0 ? kCarriedFill[f]
                                                 : carriedValue(f, found, tr, tc));
            }
            if (found >= 0) {
                const int red = carriedValue(1, found, tr, tc),
                          nir = carriedValue(2, found, tr, tc);
                ndvi = static_cast<int>(std::trunc(10000.0 * (nir - red) / (nir + red + 200)));
            }
            const bool inside = maskValue(r, c) != 0;
            e.ndvi.push_back(inside ? ndvi : -28673);
            e.ndvi8.push_back(!inside ? 255 : ndvi == -28672 ? 254 : (ndvi + 10000) / 80);
        }
    }
    return e;
}

// Field values read back, as ints, in row-major order whatever the field's layout.
std::vector<int> valuesOf(const EosGridRead &g, const std::string &name) {
    const EosFieldRead &f = eosFieldOf(g, name);
    std::vector<int> raw;
    switch (f.numberType) {
    case kEosInt8:
        for (int8_t v : fromBytes<int8_t>(f.data))
            raw.push_back(v);
        break;
    case kEosUInt8:
        for (uint8_t v : fromBytes<uint8_t>(f.data))
            raw.push_back(v);
        break;
    case kEosInt16:
        for (int16_t v : fromBytes<int16_t>(f.data))
            raw.push_back(v);
        break;
    default:
        for (uint16_t v : fromBytes<uint16_t>(f.data))
            raw.push_back(v);
        break;
    }
    if (f.dimList != "XDim,YDim") {
        return raw;
    }
    std::vector<int> rowMajor(raw.size());
    for (int c = 0; c < g.columns; ++c) {
        for (int r = 0; r < g.rows; ++r) {
            rowMajor[static_cast<size_t>(r) * g.columns + c] =
                raw[static_cast<size_t>(c) * g.rows + r];
        }
    }
    return rowMajor;
}

void expectGrid(const std::string &output, const Expected &e, const std::string &label) {
    const EosGridRead g = readEosGrid(output);
    for (int f = 0; f < 8; ++f) {
        EXPECT_EQ(valuesOf(g, kCarried[f]), e.carried[f]) << label << ": " << kCarried[f];
    }
    EXPECT_EQ(valuesOf(g, "sur_ndvi_b02_b01"), e.ndvi) << label;
    EXPECT_EQ(valuesOf(g, "sur_ndvi_b02_b01_8bit"), e.ndvi8) << label;
}

struct PlacementCase {
    const char *name;
    MaskPlace mask;
    std::vector<TilePlace> tiles;
};

// Mask: x 1000..1080, y 5000..4940 (8 x 6 cells of 10).
TEST(DaymosaicCli, TileWindowsLandCellExact) {
    const MaskPlace m;
    const PlacementCase cases[] = {
        {"mask strictly inside one tile", m, {{960, 5030, 20, 15}}},
        {"two tiles side by side, each cut", m, {{950, 5020, 10, 10}, {1050, 5020, 10, 10}}},
        {"two tiles stacked, each cut", m, {{990, 5010, 10, 4}, {990, 4970, 10, 4}}},
        {"four tiles around the mask",
         m,
         {{960, 5030, 6, 5}, {1020, 5030, 6, 5}, {960, 4980, 6, 5}, {1020, 4980, 6, 5}}},
        {"first tile outside, second covers part", m, {{2000, 5000, 4, 4}, {990, 5010, 5, 3}}},
        {"tile strictly inside the mask", m, {{1020, 4990, 3, 2}}},
        {"mask narrower than the tiles across", m, {{980, 5000, 20, 3}, {980, 4970, 20, 3}}},
        {"mask narrower than the tile downward", m, {{1010, 5050, 3, 20}}},
        {"tile flush with the mask", m, {{1000, 5000, 8, 6}}},
        {"later tiles win where tiles overlap", m, {{990, 5010, 6, 6}, {1010, 4990, 6, 6}}},
        {"corners a hair off whole cells",
         m,
         {{950.0000001, 5019.9999999, 10, 10}, {1049.9999999, 5020.0000001, 10, 10}}},
        {"tiles touching the mask's edges only",
         m,
         {{920, 5000, 8, 6}, {1080, 5000, 8, 6}, {1000, 5060, 8, 6}, {1000, 4940, 8, 6}}},
        {"one-cell mask", MaskPlace{1030, 4980, 1, 1}, {{1000, 5000, 8, 6}}},
    };
    for (const PlacementCase &c : cases) {
        TempDir dir;
        std::string list;
        for (size_t t = 0; t < c.tiles.size(); ++t) {
            const std::string path = dir.file("tile" + std::to_string(t) + ".hdf");
            writeTile(path, c.tiles[t], static_cast<int>(t));
            list += path + "\n";
        }
        writeFile(dir.file("list.txt"), list);
        writeMask(dir.file("mask.hdf"), c.mask);
        const RunResult r =
            runDaymosaic({dir.file("list.txt"), dir.file("mask.hdf"), dir.file("out.hdf")});
        ASSERT_EQ(r.status, 1) << c.name << "\n" << r.out << r.err;
        EXPECT_EQ(r.out, "O.K.\n") << c.name;
        EXPECT_EQ(r.err, "") << c.name;
        expectGrid(dir.file("out.hdf"), expectedGrid(c.mask, c.tiles), c.name);
    }
}

TEST(DaymosaicCli, ColumnMajorMaskGivesTheSameCells) {
    const MaskPlace m;
    const std::vector<TilePlace> tiles = {
        {960, 5030, 6, 5}, {1020, 5030, 6, 5}, {960, 4980, 6, 5}, {1020, 4980, 6, 5}};
    TempDir dir;
    std::string list;
    for (size_t t = 0; t < tiles.size(); ++t) {
        const std::string path = dir.file("tile" + std::to_string(t) + ".hdf");
        writeTile(path, tiles[t], static_cast<int>(t));
        list += path + "\n";
    }
    writeFile(dir.file("list.txt"), list);
    writeMask(dir.file("mask.hdf"), m, "XDim,YDim");
    const RunResult r =
        runDaymosaic({dir.file("list.txt"), dir.file("mask.hdf"), dir.file("out.hdf")});
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "O.K.\n");
    const EosGridRead g = readEosGrid(dir.file("out.hdf"));
    EXPECT_EQ(eosFieldOf(g, "sur_ndvi_b02_b01").dimList, "XDim,YDim");
    EXPECT_EQ(eosFieldOf(g, "sur_ndvi_b02_b01").dims, (std::vector<int32_t>{8, 6}));
    expectGrid(dir.file("out.hdf"), expectedGrid(m, tiles), "XDim,YDim mask");
}

// Tiles stored columns first ("XDim,YDim") are read in their own order: with a mask of either
// order they give the same cells as tiles stored rows first.
TEST(DaymosaicCli, ColumnMajorTilesGiveTheSameCells) {
    const MaskPlace m;
    const std::vector<TilePlace> tiles = {
        {960, 5030, 6, 5}, {1020, 5030, 6, 5}, {960, 4980, 6, 5}, {1020, 4980, 6, 5}};
    // Rewrites every field of a tile column by column.
    const auto columnsFirst = [](EosGridSpec &g) {
        for (EosField &f : g.fields) {
            const size_t size = f.data.size() / (static_cast<size_t>(g.columns) * g.rows);
            std::vector<uint8_t> byColumns(f.data.size());
            for (int r = 0; r < g.rows; ++r) {
                for (int c = 0; c < g.columns; ++c) {
                    std::memcpy(&byColumns[(static_cast<size_t>(c) * g.rows + r) * size],
                                &f.data[(static_cast<size_t>(r) * g.columns + c) * size], size);
                }
            }
            f.data = byColumns;
            f.dimList = "XDim,YDim";
        }
    };
    for (const std::string maskOrder : {"YDim,XDim", "XDim,YDim"}) {
        TempDir dir;
        std::string list;
        for (size_t t = 0; t < tiles.size(); ++t) {
            const std::string path = dir.file("tile" + std::to_string(t) + ".hdf");
            writeTile(path, tiles[t], static_cast<int>(t), columnsFirst);
            list += path + "\n";
        }
        writeFile(dir.file("list.txt"), list);
        writeMask(dir.file("mask.hdf"), m, maskOrder);
        const RunResult r =
            runDaymosaic({dir.file("list.txt"), dir.file("mask.hdf"), dir.file("out.hdf")});
        ASSERT_EQ(r.status, 1) << maskOrder << r.out << r.err;
        EXPECT_EQ(r.out, "O.K.\n") << maskOrder;
        expectGrid(dir.file("out.hdf"), expectedGrid(m, tiles),
                   "XDim,YDim tiles, mask " + maskOrder);
    }
}

TEST(DaymosaicCli, ExactlyThirtyTwoTilesAreAllPlaced) {
    const MaskPlace m{1000, 5000, 16, 4};
    std::vector<TilePlace> tiles;
    for (int i = 0; i < 32; ++i) {
        tiles.push_back({1000.0 + (i % 8) * 20, 5000.0 - (i / 8) * 10, 2, 1});
    }
    TempDir dir;
    std::string list;
    for (size_t t = 0; t < tiles.size(); ++t) {
        const std::string path = dir.file("t" + std::to_string(t) + ".hdf");
        writeTile(path, tiles[t], static_cast<int>(t));
        list += path + (t % 3 ? " " : "\n");
    }
    writeFile(dir.file("list.txt"), list);
    writeMask(dir.file("mask.hdf"), m);
    const RunResult r =
        runDaymosaic({dir.file("list.txt"), dir.file("mask.hdf"), dir.file("out.hdf")});
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "O.K.\n");
    EXPECT_EQ(r.err, "");
    expectGrid(dir.file("out.hdf"), expectedGrid(m, tiles), "32 tiles");
}

// Attributes as they must appear on the two NDVI fields, written out independently here.
std::vector<EosAttribute> ndviAttributes(bool eightBit) {
    std::vector<EosAttribute> a;
    a.push_back(eightBit ? eosText("long_name", "Daily NDVI at 250 m - 8bits", 27)
                         : eosText("long_name", "Daily NDVI at 250 m", 19));
    if (eightBit) {
        a.push_back(eosValues<uint8_t>("valid_range", kEosUInt8, {0, 250}));
        a.push_back(eosValues<uint8_t>("_FillValue", kEosUInt8, {255}));
    } else {
        a.push_back(eosValues<int16_t>("valid_range", kEosInt16, {-10000, 10000}));
        a.push_back(eosValues<int16_t>("_FillValue", kEosInt16, {-28673}));
    }
    a.push_back(EosAttribute{"units", kEosChar8, 8, {'N', 'o', 'U', 'n', 'i', 't', 's', 0}});
    a.push_back(EosAttribute{"scale", kEosFloat32, 1, toBytes(std::vector<uint32_t>{0x38D1B717})});
    a.push_back(EosAttribute{"offset", kEosFloat32, 1, toBytes(std::vector<uint32_t>{0})});
    std::vector<uint8_t> text;
    for (char ch : std::string(" field_value * scale + offset")) {
        text.push_back(static_cast<uint8_t>(ch));
    }
    text.push_back(0);
    a.push_back(EosAttribute{"true_value", kEosChar8, 30, text});
    return a;
}

TEST(DaymosaicCli, DailyGridFieldsTypesCompressionAndAttributes) {
    TempDir dir;
    // The first tile lies outside the mask and still supplies the attributes; its red band
    // carries 40 attributes, of which the first 32 are copied.
    writeTile(dir.file("a.hdf"), {5000, 5000, 4, 4}, 0, [](EosGridSpec &g) {
        for (int i = 0; i < 37; ++i) {
            g.fields[1].attributes.push_back(
                eosValues<int32_t>("extra_" + std::to_string(i), kEosInt32, {i, -i}));
        }
    });
    writeTile(dir.file("b.hdf"), {1000, 5000, 8, 6}, 1,
              [](EosGridSpec &g) { g.fields[0].attributes = {eosText("long_name", "other", 5)}; });
    writeFile(dir.file("list.txt"), dir.file("a.hdf") + "\n" + dir.file("b.hdf") + "\n");
    writeMask(dir.file("mask.hdf"), MaskPlace{});
    const RunResult r =
        runDaymosaic({dir.file("list.txt"), dir.file("mask.hdf"), dir.file("out.hdf")});
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "O.K.\n");
    EXPECT_EQ(r.err, "Warning: Reach maximum number of attributes for field sur_refl_b01_1 in " +
                         dir.file("a.hdf") + "\n");

    const EosGridRead g = readEosGrid(dir.file("out.hdf"));
    const EosGridRead mask = readEosGrid(dir.file("mask.hdf"));
    EXPECT_EQ(g.columns, 8);
    EXPECT_EQ(g.rows, 6);
    EXPECT_EQ(g.upperLeft, mask.upperLeft);
    EXPECT_EQ(g.lowerRight, mask.lowerRight);
    EXPECT_EQ(g.projectionCode, mask.projectionCode);
    EXPECT_EQ(g.sphereCode, mask.sphereCode);
    EXPECT_EQ(g.projectionParameters, mask.projectionParameters);
    const std::vector<std::pair<std::string, int32_t>> fields = {
        {"num_observations", kEosInt8},  {"sur_refl_b01_1", kEosInt16},
        {"sur_refl_b02_1", kEosInt16},   {"QC_250m_1", kEosUInt16},
        {"obscov_1", kEosInt8},          {"iobs_res_1", kEosUInt8},
        {"orbit_pnt_1", kEosInt8},       {"granule_pnt_1", kEosUInt8},
        {"sur_ndvi_b02_b01", kEosInt16}, {"sur_ndvi_b02_b01_8bit", kEosUInt8}};
    ASSERT_EQ(g.fields.size(), fields.size());
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(g.fields[i].name, fields[i].first);
        EXPECT_EQ(g.fields[i].numberType, fields[i].second) << fields[i].first;
        EXPECT_EQ(g.fields[i].dimList, "YDim,XDim") << fields[i].first;
        EXPECT_EQ(g.fields[i].compression, 4) << fields[i].first; // deflate
        EXPECT_EQ(g.fields[i].compressionLevel, 9) << fields[i].first;
    }
    const std::string out = dir.file("out.hdf");
    EXPECT_EQ(readSdAttributes(out, "sur_ndvi_b02_b01"), ndviAttributes(false));
    EXPECT_EQ(readSdAttributes(out, "sur_ndvi_b02_b01_8bit"), ndviAttributes(true));
    const std::vector<EosAttribute> red = readSdAttributes(dir.file("a.hdf"), "sur_refl_b01_1");
    ASSERT_EQ(red.size(), 40u);
    EXPECT_EQ(readSdAttributes(out, "sur_refl_b01_1"),
              std::vector<EosAttribute>(red.begin(), red.begin() + 32));
    for (int f = 0; f < 8; ++f) {
        if (f != 1) {
            EXPECT_EQ(readSdAttributes(out, kCarried[f]),
                      readSdAttributes(dir.file("a.hdf"), kCarried[f]))
                << kCarried[f];
        }
    }
    // Values come from the second tile only, fill outside the mask.
    expectGrid(out, expectedGrid(MaskPlace{}, {{5000, 5000, 4, 4}, {1000, 5000, 8, 6}}), "values");
}

TEST(DaymosaicCli, OutOfRangeReflectancesGiveNoData) {
    TempDir dir;
    // Red 16001 in row 0, near infrared -101 in row 1, both fill in row 2, -100/-100 in row 3.
    writeTile(dir.file("t.hdf"), {1000, 5000, 8, 6}, 0, [](EosGridSpec &g) {
        std::vector<int16_t> red = fromBytes<int16_t>(g.fields[1].data);
        std::vector<int16_t> nir = fromBytes<int16_t>(g.fields[2].data);
        for (int c = 0; c < 8; ++c) {
            red[c] = 16001;
            nir[8 + c] = -101;
            red[16 + c] = nir[16 + c] = -28672;
            red[24 + c] = nir[24 + c] = -100;
        }
        g.fields[1].data = toBytes(red);
        g.fields[2].data = toBytes(nir);
    });
    writeFile(dir.file("list.txt"), dir.file("t.hdf"));
    writeMask(dir.file("mask.hdf"), MaskPlace{});
    const RunResult r =
        runDaymosaic({dir.file("list.txt"), dir.file("mask.hdf"), dir.file("out.hdf")});
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    const EosGridRead g = readEosGrid(dir.file("out.hdf"));
    const std::vector<int> ndvi = valuesOf(g, "sur_ndvi_b02_b01");
    const std::vector<int> ndvi8 = valuesOf(g, "sur_ndvi_b02_b01_8bit");
    for (int row = 0; row < 4; ++row) {
        for (int c = 0; c < 8; ++c) {
            const size_t i = static_cast<size_t>(row) * 8 + c;
            const bool inside = maskValue(row, c) != 0;
            const int want = !inside ? -28673 : row == 3 ? 0 : -28672;
            EXPECT_EQ(ndvi[i], want) << row << "," << c;
            EXPECT_EQ(ndvi8[i], !inside ? 255 : row == 3 ? 125 : 254) << row << "," << c;
        }
    }
}

// A run that fails leaves any earlier output untouched and creates none.
struct FailureCase {
    const char *name;
    std::function<std::vector<std::string>(const TempDir &)> setUp; // returns the arguments
    int status;
    std::function<std::string(const TempDir &)> out;
    std::function<std::string(const TempDir &)> err;
};

std::vector<std::string> standardArgs(const TempDir &d) {
    return {d.file("list.txt"), d.file("mask.hdf"), d.file("out.hdf")};
}

void goodTile(const TempDir &d, const std::string &name) {
    writeTile(d.file(name), {990, 5010, 10, 10}, 0);
}

TEST(DaymosaicCli, FailuresPrintTheirMessagesAndWriteNothing) {
    const auto none = [](const TempDir &) { return std::string(); };
    const FailureCase cases[] = {
        {"list cannot be opened",
         [](const TempDir &d) {
             writeMask(d.file("mask.hdf"), MaskPlace{});
             return standardArgs(d);
         },
         255,
         [](const TempDir &d) {
             return "Failed to open the input parameters file " + d.file("list.txt") + " \n";
         },
         [](const TempDir &) { return std::string("No files to be processed.\n"); }},
        {"list holds no path",
         [](const TempDir &d) {
             writeFile(d.file("list.txt"), " \n\n");
             writeMask(d.file("mask.hdf"), MaskPlace{});
             return standardArgs(d);
         },
         255, none, [](const TempDir &) { return std::string("No files to be processed.\n"); }},
        {"34 paths stop the run",
         [](const TempDir &d) {
             goodTile(d, "t.hdf");
             std::string list;
             for (int i = 0; i < 34; ++i) {
                 list += d.file("t.hdf") + "\n";
             }
             writeFile(d.file("list.txt"), list);
             writeMask(d.file("mask.hdf"), MaskPlace{});
             return standardArgs(d);
         },
         255, none,
         [](const TempDir &) {
             return std::string("Error: more than maximum number of files=32.\n"
                                "Error: more than maximum number of files=32.\n");
         }},
        {"mask missing",
         [](const TempDir &d) {
             goodTile(d, "t.hdf");
             writeFile(d.file("list.txt"), d.file("t.hdf"));
             return standardArgs(d);
         },
         255,
         [](const TempDir &d) {
             return "Open file or get info for " + d.file("mask.hdf") + " failed.\n";
         },
         none},
        {"mask without the mask field",
         [](const TempDir &d) {
             goodTile(d, "t.hdf");
             goodTile(d, "mask.hdf");
             writeFile(d.file("list.txt"), d.file("t.hdf"));
             return standardArgs(d);
         },
         255,
         [](const TempDir &d) {
             return "Open file or get info for " + d.file("mask.hdf") + " failed.\n";
         },
         none},
        {"mask field of 16 bits",
         [](const TempDir &d) {
             goodTile(d, "t.hdf");
             writeFile(d.file("list.txt"), d.file("t.hdf"));
             EosGridSpec g = gridAt(1000, 5000, 8, 6);
             g.fields.push_back(
                 eosField("sur_ndvi_b02_b01", kEosInt16, std::vector<int16_t>(48, 1)));
             writeEosFile(d.file("mask.hdf"), g);
             return standardArgs(d);
         },
         255,
         [](const TempDir &) { return std::string("Failed to read the mask value to buffer.\n"); },
         none},
        {"output folder missing",
         [](const TempDir &d) {
             goodTile(d, "t.hdf");
             writeFile(d.file("list.txt"), d.file("t.hdf"));
             writeMask(d.file("mask.hdf"), MaskPlace{});
             return std::vector<std::string>{d.file("list.txt"), d.file("mask.hdf"),
                                             d.file("no/out.hdf")};
         },
         255,
         [](const TempDir &d) {
             return "Failed to create output file/grid/field " + d.file("no/out.hdf") + " .\n";
         },
         none},
        {"unknown dimension order",
         [](const TempDir &d) {
             goodTile(d, "t.hdf");
             writeFile(d.file("list.txt"), d.file("t.hdf"));
             EosGridSpec g = gridAt(1000, 5000, 8, 6);
             g.extraDims = {{"Band", 6}};
             EosField f = eosField("sur_ndvi_b02_b01", kEosUInt8, std::vector<uint8_t>(48, 1));
             f.dimList = "Band,XDim";
             g.fields.push_back(f);
             writeEosFile(d.file("mask.hdf"), g);
             return standardArgs(d);
         },
         255, none,
         [](const TempDir &) { return std::string("Unknown order = Band,XDim\nFailed.\n"); }},
        {"second tile missing",
         [](const TempDir &d) {
             goodTile(d, "t.hdf");
             writeFile(d.file("list.txt"), d.file("t.hdf") + "\n" + d.file("gone.hdf"));
             writeMask(d.file("mask.hdf"), MaskPlace{});
             return standardArgs(d);
         },
         255, none,
         [](const TempDir &d) {
             return "Open file or get info for " + d.file("gone.hdf") + " failed.\nFailed.\n";
         }},
        {"tile without obscov_1",
         [](const TempDir &d) {
             writeTile(d.file("t.hdf"), {990, 5010, 10, 10}, 0,
                       [](EosGridSpec &g) { g.fields.erase(g.fields.begin() + 4); });
             writeFile(d.file("list.txt"), d.file("t.hdf"));
             writeMask(d.file("mask.hdf"), MaskPlace{});
             return standardArgs(d);
         },
         255, none,
         [](const TempDir &d) {
             return "Get fields info for " + d.file("t.hdf") + " failed.\nFailed.\n";
         }},
        {"tile whose red band is unsigned",
         [](const TempDir &d) {
             writeTile(d.file("t.hdf"), {990, 5010, 10, 10}, 0,
                       [](EosGridSpec &g) { g.fields[1].numberType = kEosUInt16; });
             writeFile(d.file("list.txt"), d.file("t.hdf"));
             writeMask(d.file("mask.hdf"), MaskPlace{});
             return standardArgs(d);
         },
         255, none,
         [](const TempDir &d) {
             return "Read data from " + d.file("t.hdf") + " failed.\nFailed.\n";
         }},
        {"tile of another cell size",
         [](const TempDir &d) {
             writeTile(d.file("t.hdf"), {990, 5010, 10, 10}, 0, [](EosGridSpec &g) {
                 g.lowerRight = {{990 + 10 * 20.0, 5010 - 10 * 20.0}};
             });
             writeFile(d.file("list.txt"), d.file("t.hdf"));
             writeMask(d.file("mask.hdf"), MaskPlace{});
             return standardArgs(d);
         },
         255, none,
         [](const TempDir &d) {
             return "Cell size of " + d.file("t.hdf") + " differs from the mask's.\nFailed.\n";
         }},
    };
    for (const FailureCase &c : cases) {
        TempDir dir;
        const std::vector<std::string> args = c.setUp(dir);
        const std::string earlier = "an earlier output";
        writeFile(dir.file("out.hdf"), earlier);
        const RunResult r = runDaymosaic(args);
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.out, c.out(dir)) << c.name;
        EXPECT_EQ(r.err, c.err(dir)) << c.name;
        EXPECT_EQ(readFile(dir.file("out.hdf")), earlier) << c.name;
        size_t entries = 0;
        for (const auto &e : std::filesystem::directory_iterator(dir.path())) {
            entries += e.path().filename().string().find(".tmp") != std::string::npos;
        }
        EXPECT_EQ(entries, 0u) << c.name << ": a temporary file was left behind";
    }
}

TEST(DaymosaicCli, UsageForAnyOtherArgumentCount) {
    const std::string usage =
        std::string("Usage: ") + DAYMOSAIC_BIN +
        " <inputfilesPath> <inputMaskFilePath> <outputFilePath> \n"
        "      <inputfilesPath> - a file contains list of files\n"
        "      <inputMaskFilePath> - a hdfeos file containing a layer 'sur_ndvi_b02_b01' of byte, "
        "0 - outside, 255 as inside\n";
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{}, {"a", "b"}, {"a", "b", "c", "d"}}) {
        const RunResult r = runDaymosaic(args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, usage);
        EXPECT_EQ(r.err, "");
    }
}

RunResult runProgram(const char *program, const std::vector<std::string> &args) {
    return run(program, args);
}

// Band 1 of a GDAL raster as 16-bit values.
std::vector<int16_t> readInt16(const std::string &name) {
    GDALAllRegister();
    GDALDatasetUniquePtr ds(GDALDataset::Open(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    if (!ds) {
        throw std::runtime_error("cannot open " + name);
    }
    const int w = ds->GetRasterXSize(), h = ds->GetRasterYSize();
    std::vector<int16_t> v(static_cast<size_t>(w) * h);
    if (ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, w, h, v.data(), w, h, GDT_Int16, 0, 0) !=
        CE_None) {
        throw std::runtime_error("cannot read " + name);
    }
    return v;
}

// Generated tiles of two neighbouring tiles, a mask raster across their border made by zonegrid,
// and the daily grid checked against NDVI computed from the tiles as GDAL reads them.
TEST(DaymosaicCli, ChainFromZonegridOverGeneratedTiles) {
    TempDir dir;
    const int n = 60;
    for (const char *tile : {"h18v04", "h19v04"}) {
        const RunResult g = runProgram(MODIS_TILEGEN_BIN,
                                       {"--tile", tile, "--size", std::to_string(n), "--seed", "3",
                                        "--uncompressed", dir.file(std::string(tile) + ".hdf")});
        ASSERT_EQ(g.status, 0) << g.err;
    }
    const double tileSize = 2 * 20015109.354 / 36, cell = tileSize / n;
    RasterSpec rasterSpec;
    rasterSpec.width = 20;
    rasterSpec.height = 10;
    const double x0 = 19 * tileSize - 20015109.354 - 12 * cell,
                 y0 = 10007554.677 - 4 * tileSize - 5 * cell;
    rasterSpec.geoTransform = {{x0, cell, 0, y0, 0, -cell}};
    std::vector<uint8_t> maskValues(200, 255);
    maskValues[0] = maskValues[199] = 0;
    writeByteGeoTiff(dir.file("area.tif"), rasterSpec, maskValues);
    const RunResult z = runProgram(
        ZONEGRID_BIN, {dir.file("area.tif"), dir.file("mask.hdf"), dir.file("h18v04.hdf")});
    ASSERT_EQ(z.status, 0) << z.out << z.err;
    writeFile(dir.file("list.txt"), dir.file("h18v04.hdf") + "\n" + dir.file("h19v04.hdf") + "\n");
    const RunResult r =
        runDaymosaic({dir.file("list.txt"), dir.file("mask.hdf"), dir.file("day.hdf")});
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "O.K.\n");

    const std::string field = "HDF4_EOS:EOS_GRID:\"%s\":MODIS_Grid_2D:%s";
    auto sub = [&](const std::string &file, const char *name) {
        return "HDF4_EOS:EOS_GRID:\"" + file + "\":MODIS_Grid_2D:" + name;
    };
    (void)field;
    const std::vector<int16_t> redA = readInt16(sub(dir.file("h18v04.hdf"), "sur_refl_b01_1"));
    const std::vector<int16_t> nirA = readInt16(sub(dir.file("h18v04.hdf"), "sur_refl_b02_1"));
    const std::vector<int16_t> redB = readInt16(sub(dir.file("h19v04.hdf"), "sur_refl_b01_1"));
    const std::vector<int16_t> nirB = readInt16(sub(dir.file("h19v04.hdf"), "sur_refl_b02_1"));
    const std::vector<int16_t> ndvi = readInt16(sub(dir.file("day.hdf"), "sur_ndvi_b02_b01"));
    ASSERT_EQ(ndvi.size(), 200u);
    int usable = 0;
    for (int row = 0; row < 10; ++row) {
        for (int c = 0; c < 20; ++c) {
            // Mask columns 0..11 fall in h18v04's last 12 columns, 12..19 in h19v04's first 8.
            const int tileRow = 5 + row;
            const bool left = c < 12;
            const size_t at = static_cast<size_t>(tileRow) * n + (left ? n - 12 + c : c - 12);
            const int red = left ? redA[at] : redB[at], nir = left ? nirA[at] : nirB[at];
            int want = -28672;
            if (red >= -100 && red <= 16000 && nir >= -100 && nir <= 16000) {
                want = static_cast<int>(std::trunc(10000.0 * (nir - red) / (nir + red + 200)));
                ++usable;
            }
            if (maskValues[static_cast<size_t>(row) * 20 + c] == 0) {
                want = -28673;
            }
            EXPECT_EQ(ndvi[static_cast<size_t>(row) * 20 + c], want) << row << "," << c;
        }
    }
    EXPECT_GT(usable, 100);
}

const std::string kRealTile =
    std::string(VEG_REAL_DATA_DIR) + "/MOD09GQ.A2005001.h18v03.005.subset_utm32_3x5.hdf";

// The real reflectance subset holds only four of the eight fields: daymosaic refuses it by name.
// Its four fields, with the other four added, make a tile whose NDVI is checked against the real
// reflectances as GDAL reads them.
TEST(DaymosaicCli, RealReflectanceFile) {
    if (!std::filesystem::exists(kRealTile)) {
        FAIL() << "real reflectance file missing: " << kRealTile;
    }
    TempDir dir;
    const EosGridRead real = readEosGrid(kRealTile);
    RasterSpec rasterSpec;
    rasterSpec.width = real.columns;
    rasterSpec.height = real.rows;
    const double cw = (real.lowerRight[0] - real.upperLeft[0]) / real.columns;
    const double ch = (real.upperLeft[1] - real.lowerRight[1]) / real.rows;
    rasterSpec.geoTransform = {{real.upperLeft[0], cw, 0, real.upperLeft[1], 0, -ch}};
    std::vector<uint8_t> maskValues(static_cast<size_t>(real.columns) * real.rows, 255);
    maskValues[1] = 0;
    writeByteGeoTiff(dir.file("area.tif"), rasterSpec, maskValues);
    const RunResult z =
        runProgram(ZONEGRID_BIN, {dir.file("area.tif"), dir.file("mask.hdf"), kRealTile});
    ASSERT_EQ(z.status, 0) << z.out << z.err;

    writeFile(dir.file("real.txt"), kRealTile + "\n");
    const RunResult refused =
        runDaymosaic({dir.file("real.txt"), dir.file("mask.hdf"), dir.file("day.hdf")});
    EXPECT_EQ(refused.status, 255);
    EXPECT_EQ(refused.err, "Get fields info for " + kRealTile + " failed.\nFailed.\n");

    EosGridSpec g = gridAt(0, 0, real.columns, real.rows);
    g.upperLeft = real.upperLeft;
    g.lowerRight = real.lowerRight;
    g.projectionCode = real.projectionCode;
    g.zoneCode = real.zoneCode;
    g.sphereCode = real.sphereCode;
    g.projectionParameters = real.projectionParameters;
    const size_t cells = maskValues.size();
    for (int f = 0; f < 8; ++f) {
        EosField field;
        field.name = kCarried[f];
        field.numberType = kCarriedTypes[f];
        bool present = false;
        for (const EosFieldRead &r : real.fields) {
            if (r.name == field.name) {
                field.data = r.data;
                present = true;
            }
        }
        if (present) {
            field.attributes = readSdAttributes(kRealTile, field.name);
        } else {
            field.data.assign(cells, 1); // the missing fields are all of one byte per cell
        }
        g.fields.push_back(field);
    }
    writeEosFile(dir.file("tile.hdf"), g);
    writeFile(dir.file("list.txt"), dir.file("tile.hdf") + "\n");
    const RunResult r =
        runDaymosaic({dir.file("list.txt"), dir.file("mask.hdf"), dir.file("day.hdf")});
    ASSERT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out, "O.K.\n");

    auto sub = [](const std::string &file, const char *name) {
        return "HDF4_EOS:EOS_GRID:\"" + file + "\":MODIS_Grid_2D:" + name;
    };
    const std::vector<int16_t> red = readInt16(sub(kRealTile, "sur_refl_b01_1"));
    const std::vector<int16_t> nir = readInt16(sub(kRealTile, "sur_refl_b02_1"));
    const std::vector<int16_t> ndvi = readInt16(sub(dir.file("day.hdf"), "sur_ndvi_b02_b01"));
    ASSERT_EQ(ndvi.size(), cells);
    for (size_t i = 0; i < cells; ++i) {
        const int want = maskValues[i] == 0
                             ? -28673
                             : static_cast<int>(std::trunc(10000.0 * (nir[i] - red[i]) /
                                                           (nir[i] + red[i] + 200)));
        EXPECT_EQ(ndvi[i], want) << "cell " << i;
    }
    // The first real cell: red 7492, near infrared 7685.
    EXPECT_EQ(ndvi[0], 10000 * (7685 - 7492) / (7685 + 7492 + 200));
    EXPECT_EQ(readSdAttributes(dir.file("day.hdf"), "sur_refl_b02_1"),
              readSdAttributes(kRealTile, "sur_refl_b02_1"));
}

} // namespace
