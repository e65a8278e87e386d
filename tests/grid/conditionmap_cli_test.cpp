// conditionmap as a program: messages, channels, statuses, the VCI grid's layout and values, and
// GDAL reading the output as any client would.
#include "support/hdfeos.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

namespace {

using testsupport::EosField;
using testsupport::eosField;
using testsupport::EosGridSpec;
using testsupport::fromBytes;
using testsupport::kEosInt16;
using testsupport::kEosUInt8;
using testsupport::readEosGrid;
using testsupport::run;
using testsupport::TempDir;

const std::string kProgram = CONDITIONMAP_BIN;
constexpr int16_t kFill = -28673;
constexpr int16_t kNo = -28672;

// Four columns, three rows, one branch of the rule per cell, row by row.
struct Cell {
    int16_t ndvi, max, min1, min2, min3;
    int16_t vci16;
    uint8_t vci8;
};
const Cell kCells[12] = {
    {kFill, kNo, kNo, kNo, kNo, kFill, 255},   // fill without history
    {3750, 6000, 1000, 1002, 1500, 0, 125},    // x = 0.5, third minimum as base
    {3750, 6000, 1000, 1004, 1500, 992, 137},  // second minimum as base
    {9000, 5000, 0, 1000, 2000, 10000, 250},   // above the maximum: clamped
    {-1001, 6000, -2000, -1500, 0, kNo, 254},  // too low
    {-1000, 6000, -2000, -1500, 0, -8666, 16}, // lowest computed
    {500, 6000, 1000, 1002, 1500, -10000, 0},  // below the base
    {1500, 1500, 1000, 1002, 1500, 5000, 125}, // no range, at the base
    {1501, 1500, 1000, 1002, 1500, kNo, 254},  // no range, elsewhere
    {5499, 5500, 0, 1000, 2000, 9995, 249},    // single-precision quotient
    {kNo, 6000, 1000, 1002, 1500, kNo, 254},   // no NDVI
    {2000, 500, 0, 1000, 2000, -10000, 0},     // maximum below the base: clamped
};

template <typename T, typename M> std::vector<T> column(M Cell::*member) {
    std::vector<T> values;
    for (const Cell &c : kCells) {
        values.push_back(static_cast<T>(c.*member));
    }
    return values;
}

const std::vector<int16_t> kNdvi = column<int16_t>(&Cell::ndvi);
const std::vector<int16_t> kMax = column<int16_t>(&Cell::max);
const std::vector<int16_t> kMin1 = column<int16_t>(&Cell::min1);
const std::vector<int16_t> kMin2 = column<int16_t>(&Cell::min2);
const std::vector<int16_t> kMin3 = column<int16_t>(&Cell::min3);
const std::vector<int16_t> kVci16 = column<int16_t>(&Cell::vci16);
const std::vector<uint8_t> kVci8 = column<uint8_t>(&Cell::vci8);

EosGridSpec extremesGrid() {
    EosGridSpec g = testsupport::sinusoidalGrid(4, 3);
    g.fields = {eosField("ndvi_min", kEosInt16, kMin1), eosField("ndvi_max", kEosInt16, kMax),
                eosField("ndvi_min2", kEosInt16, kMin2), eosField("ndvi_min3", kEosInt16, kMin3)};
    for (EosField &f : g.fields) {
        f.deflateLevel = 9;
    }
    return g;
}

// The NDVI grid sits one cell further east than the extremes (same size): the output must take
// the NDVI grid's corners.
EosGridSpec ndviGrid() {
    EosGridSpec g = testsupport::sinusoidalGrid(4, 3);
    const double cell = (g.lowerRight[0] - g.upperLeft[0]) / 4;
    g.upperLeft[0] += cell;
    g.lowerRight[0] += cell;
    g.fields = {eosField("sur_ndvi_b02_b01_8bit", kEosUInt8, std::vector<uint8_t>(12, 200)),
                eosField("sur_ndvi_b02_b01", kEosInt16, kNdvi)};
    g.fields[1].deflateLevel = 9;
    return g;
}

struct Files {
    TempDir dir;
    std::string extremes = dir.file("maxmin_31.hdf");
    std::string ndvi = dir.file("ndvi_31.hdf");
    std::string output = dir.file("vci_31.hdf");

    Files(const EosGridSpec &e = extremesGrid(), const EosGridSpec &n = ndviGrid()) {
        testsupport::writeEosFile(extremes, e);
        testsupport::writeEosFile(ndvi, n);
    }
    testsupport::RunResult runProgram() const { return run(kProgram, {extremes, ndvi, output}); }
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto &e : std::filesystem::directory_iterator(dir.path())) {
            names.insert(e.path().filename().string());
        }
        return names;
    }
};

TEST(ConditionmapCli, UsageWithFewerThanThreeArguments) {
    const std::vector<std::vector<std::string>> argLists = {{}, {"a.hdf"}, {"a.hdf", "b.hdf"}};
    for (const auto &extra : argLists) {
        const testsupport::RunResult r = run(kProgram, extra);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, "Usage: " + kProgram +
                             " <max-min file> <ndvi file> <output vci file>\n"
                             "  e.g. " +
                             kProgram +
                             " maxmin_31.hdf ndvi_31_2024.07.30_2024.08.05.hdf "
                             "vci_31_2024.07.30_2024.08.05.hdf\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST(ConditionmapCli, WritesTheVciGrid) {
    Files f;
    const testsupport::RunResult r =
        run(kProgram, {f.extremes, f.ndvi, f.output, "ignored", "too"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "O.K.\n");
    EXPECT_EQ(r.err, "");

    EXPECT_EQ(testsupport::readEosGridNames(f.output), std::vector<std::string>{"MODIS_Grid_2D"});
    const testsupport::EosGridRead out = readEosGrid(f.output);
    const testsupport::EosGridRead in = readEosGrid(f.ndvi);
    EXPECT_EQ(testsupport::geometryDifferences(out, in), "");
    ASSERT_EQ(out.fields.size(), 2u);
    EXPECT_EQ(out.fields[0].name, "sur_vci_b02_b01");
    EXPECT_EQ(out.fields[0].numberType, kEosInt16);
    EXPECT_EQ(out.fields[1].name, "sur_vci_b02_b01_8bit");
    EXPECT_EQ(out.fields[1].numberType, kEosUInt8);
    for (const auto &field : out.fields) {
        EXPECT_EQ(field.dimList, "YDim,XDim");
        EXPECT_EQ(field.compression, 4) << field.name;
        EXPECT_EQ(field.compressionLevel, 9) << field.name;
        EXPECT_TRUE(testsupport::readSdAttributes(f.output, field.name).empty()) << field.name;
    }
    EXPECT_EQ(fromBytes<int16_t>(out.fields[0].data), kVci16);
    EXPECT_EQ(out.fields[1].data, kVci8);
    EXPECT_EQ(f.entries(), (std::set<std::string>{"maxmin_31.hdf", "ndvi_31.hdf", "vci_31.hdf"}));
}

TEST(ConditionmapCli, ReplacesAnEarlierOutput) {
    Files f;
    testsupport::writeFile(f.output, "earlier");
    const testsupport::RunResult r = f.runProgram();
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(fromBytes<int16_t>(eosFieldOf(readEosGrid(f.output), "sur_vci_b02_b01").data),
              kVci16);
}

TEST(ConditionmapCli, EarlyStopsLeaveNoOutput) {
    struct Case {
        const char *what;
        std::function<void(EosGridSpec &extremes, EosGridSpec &ndvi)> change;
        bool messageNamesNdvi;
        bool sizeMessage;
    };
    const Case cases[] = {
        {"extremes grid of another name", [](EosGridSpec &e, EosGridSpec &) { e.name = "Other"; },
         false, false},
        {"extremes lack ndvi_min3", [](EosGridSpec &e, EosGridSpec &) { e.fields.pop_back(); },
         false, false},
        {"extremes lack ndvi_min",
         [](EosGridSpec &e, EosGridSpec &) { e.fields.erase(e.fields.begin()); }, false, false},
        {"ndvi grid of another name", [](EosGridSpec &, EosGridSpec &n) { n.name = "Other"; }, true,
         false},
        {"ndvi lacks its field", [](EosGridSpec &, EosGridSpec &n) { n.fields.pop_back(); }, true,
         false},
        {"ndvi grid with more columns",
         [](EosGridSpec &, EosGridSpec &n) {
             n.columns = 6;
             n.rows = 2;
             n.fields[0].data.assign(12, 1);
         },
         true, true},
        {"ndvi grid with more rows",
         [](EosGridSpec &, EosGridSpec &n) {
             n = testsupport::sinusoidalGrid(4, 4);
             n.fields = {eosField("sur_ndvi_b02_b01", kEosInt16, std::vector<int16_t>(16, 0))};
         },
         true, true},
    };
    for (const Case &c : cases) {
        EosGridSpec e = extremesGrid();
        EosGridSpec n = ndviGrid();
        c.change(e, n);
        Files f(e, n);
        testsupport::writeFile(f.output, "earlier");
        const testsupport::RunResult r = f.runProgram();
        EXPECT_EQ(r.status, 255) << c.what;
        EXPECT_EQ(r.out, "") << c.what;
        if (c.sizeMessage) {
            EXPECT_EQ(r.err, "grid of " + f.ndvi + " (" + std::to_string(n.columns) + " x " +
                                 std::to_string(n.rows) + ") differs in size from " + f.extremes +
                                 " (4 x 3).\n")
                << c.what;
        } else {
            EXPECT_EQ(r.err, "open file or get info for " +
                                 (c.messageNamesNdvi ? f.ndvi : f.extremes) + " failed.\n")
                << c.what;
        }
        EXPECT_EQ(testsupport::readFile(f.output), "earlier") << c.what;
        EXPECT_EQ(f.entries().size(), 3u) << c.what;
    }
}

TEST(ConditionmapCli, MissingOrForeignInputFiles) {
    Files f;
    testsupport::writeFile(f.dir.file("text.hdf"), "plain text, not a grid file\n");
    struct Case {
        std::string extremes;
        std::string ndvi;
        std::string named;
    };
    const Case cases[] = {
        {f.dir.file("missing.hdf"), f.ndvi, f.dir.file("missing.hdf")},
        {f.dir.file("text.hdf"), f.ndvi, f.dir.file("text.hdf")},
        {f.extremes, f.dir.file("missing.hdf"), f.dir.file("missing.hdf")},
        {f.extremes, f.dir.file("text.hdf"), f.dir.file("text.hdf")},
    };
    for (const Case &c : cases) {
        const testsupport::RunResult r = run(kProgram, {c.extremes, c.ndvi, f.output});
        EXPECT_EQ(r.status, 255) << c.named;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "open file or get info for " + c.named + " failed.\n");
        EXPECT_FALSE(testsupport::fileExists(f.output));
    }
}

// A field of the wrong number type or shape cannot be read: the run still writes its output,
// ends with "Failed." and a non-zero status.
TEST(ConditionmapCli, ReadFailuresStillWriteTheOutput) {
    struct Case {
        const char *what;
        std::function<void(EosGridSpec &extremes, EosGridSpec &ndvi)> change;
        bool ndviNamed;
        std::vector<int16_t> vci16;
        std::vector<uint8_t> vci8;
    };
    const std::vector<int16_t> allNo16(12, kNo);
    const std::vector<uint8_t> allNo8(12, 254);
    const Case cases[] = {
        {"ndvi_max as 8-bit",
         [](EosGridSpec &e, EosGridSpec &) {
             e.fields[1] = eosField("ndvi_max", kEosUInt8, std::vector<uint8_t>(12, 1));
         },
         false, allNo16, allNo8},
        {"ndvi_min3 as 32-bit",
         [](EosGridSpec &e, EosGridSpec &) {
             e.fields[3] =
                 eosField("ndvi_min3", testsupport::kEosInt32, std::vector<int32_t>(12, 1));
         },
         false, allNo16, allNo8},
        {"ndvi_min2 stored XDim,YDim",
         [](EosGridSpec &e, EosGridSpec &) { e.fields[2].dimList = "XDim,YDim"; }, false, allNo16,
         allNo8},
        {"ndvi as 8-bit",
         [](EosGridSpec &, EosGridSpec &n) {
             n.fields[1] = eosField("sur_ndvi_b02_b01", kEosUInt8, std::vector<uint8_t>(12, 200));
         },
         true, allNo16, allNo8},
    };
    for (const Case &c : cases) {
        EosGridSpec e = extremesGrid();
        EosGridSpec n = ndviGrid();
        c.change(e, n);
        Files f(e, n);
        const testsupport::RunResult r = f.runProgram();
        EXPECT_EQ(r.status, 1) << c.what;
        EXPECT_EQ(r.out, "Failed.\n") << c.what;
        EXPECT_EQ(r.err, "read data from " + (c.ndviNamed ? f.ndvi : f.extremes) + " failed.\n")
            << c.what;
        const testsupport::EosGridRead out = readEosGrid(f.output);
        ASSERT_EQ(out.fields.size(), 2u) << c.what;
        EXPECT_EQ(fromBytes<int16_t>(out.fields[0].data), c.vci16) << c.what;
        EXPECT_EQ(out.fields[1].data, c.vci8) << c.what;
        // Without the NDVI read the geometry comes from the extremes grid.
        EXPECT_EQ(
            testsupport::geometryDifferences(out, readEosGrid(c.ndviNamed ? f.ndvi : f.extremes)),
            "")
            << c.what;
    }
}

// An NDVI field stored columns first while the extremes are stored rows first pairs the wrong
// cells; it is refused like a grid of another size, on a square grid too, where every read would
// succeed: status 255 and no output.
TEST(ConditionmapCli, NdviFieldStoredColumnsFirst) {
    // The same grids cut to 3 x 3 cells.
    const auto square = [](EosGridSpec g) {
        const EosGridSpec shape = testsupport::sinusoidalGrid(3, 3);
        const double shift = g.upperLeft[0] - testsupport::sinusoidalGrid(4, 3).upperLeft[0];
        g.columns = g.rows = 3;
        g.upperLeft = {{shape.upperLeft[0] + shift, shape.upperLeft[1]}};
        g.lowerRight = {{shape.lowerRight[0] + shift, shape.lowerRight[1]}};
        for (EosField &f : g.fields) {
            f.data.resize(f.data.size() / 12 * 9);
        }
        return g;
    };
    for (const bool isSquare : {false, true}) {
        EosGridSpec e = isSquare ? square(extremesGrid()) : extremesGrid();
        EosGridSpec n = isSquare ? square(ndviGrid()) : ndviGrid();
        n.fields[1].dimList = "XDim,YDim";
        Files f(e, n);
        const testsupport::RunResult r = f.runProgram();
        const std::string size = isSquare ? "3 x 3" : "4 x 3";
        EXPECT_EQ(r.status, 255) << size;
        EXPECT_EQ(r.out, "") << size;
        EXPECT_EQ(r.err, "grid of " + f.ndvi + " (" + size + ") differs in size from " +
                             f.extremes + " (" + size + ").\n");
        EXPECT_EQ(f.entries(), (std::set<std::string>{"maxmin_31.hdf", "ndvi_31.hdf"})) << size;
    }
}

TEST(ConditionmapCli, OutputThatCannotBeCreatedOrPlaced) {
    Files f;
    std::filesystem::create_directory(f.dir.file("folder.hdf"));
    struct Case {
        std::string output;
        std::string message;
    };
    const Case cases[] = {
        {f.dir.file("no/such/vci.hdf"),
         "create output vci to " + f.dir.file("no/such/vci.hdf") + " failed.\n"},
        {f.dir.file("folder.hdf"), "write VCI data to " + f.dir.file("folder.hdf") + " failed.\n"},
    };
    for (const Case &c : cases) {
        const testsupport::RunResult r = run(kProgram, {f.extremes, f.ndvi, c.output});
        EXPECT_EQ(r.status, 255) << c.output;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(f.entries(),
                  (std::set<std::string>{"maxmin_31.hdf", "ndvi_31.hdf", "folder.hdf"}));
    }
}

// Two runs writing one output at the same time (inputs large enough that they overlap) leave one
// complete output, equal to that of a run alone, and no temporary file.
TEST(ConditionmapCli, ConcurrentRunsOnOneOutput) {
    constexpr int32_t kSide = 600;
    const auto tiled = [](const std::vector<int16_t> &cells) {
        std::vector<int16_t> values(static_cast<size_t>(kSide) * kSide);
        for (size_t i = 0; i < values.size(); ++i) {
            values[i] = cells[i % cells.size()];
        }
        return values;
    };
    EosGridSpec e = testsupport::sinusoidalGrid(kSide, kSide);
    e.fields = {eosField("ndvi_min", kEosInt16, tiled(kMin1)),
                eosField("ndvi_max", kEosInt16, tiled(kMax)),
                eosField("ndvi_min2", kEosInt16, tiled(kMin2)),
                eosField("ndvi_min3", kEosInt16, tiled(kMin3))};
    EosGridSpec n = testsupport::sinusoidalGrid(kSide, kSide);
    n.fields = {eosField("sur_ndvi_b02_b01", kEosInt16, tiled(kNdvi))};
    Files f(e, n);
    const std::string alone = f.dir.file("alone.hdf");
    ASSERT_EQ(run(kProgram, {f.extremes, f.ndvi, alone}).status, 0);
    const testsupport::EosGridRead expected = readEosGrid(alone);
    ASSERT_EQ(fromBytes<int16_t>(eosFieldOf(expected, "sur_vci_b02_b01").data), tiled(kVci16));

    for (int round = 0; round < 4; ++round) {
        testsupport::RunResult first, second;
        std::thread other([&] { second = f.runProgram(); });
        first = f.runProgram();
        other.join();
        EXPECT_EQ(first.status, 0) << first.err;
        EXPECT_EQ(second.status, 0) << second.err;
        const testsupport::EosGridRead out = readEosGrid(f.output);
        EXPECT_EQ(testsupport::geometryDifferences(out, expected), "");
        ASSERT_EQ(out.fields.size(), expected.fields.size());
        for (size_t i = 0; i < out.fields.size(); ++i) {
            EXPECT_EQ(out.fields[i].name, expected.fields[i].name);
            EXPECT_TRUE(out.fields[i].data == expected.fields[i].data) << out.fields[i].name;
        }
        EXPECT_EQ(f.entries(), (std::set<std::string>{"maxmin_31.hdf", "ndvi_31.hdf", "alone.hdf",
                                                      "vci_31.hdf"}))
            << "round " << round;
    }
}

// The same inputs give the same bytes, whichever folder the output goes to and however its path
// is given: HDF4 records in the file the name it was created under, and that is the output's own
// file name, never a temporary name or a folder.
TEST(ConditionmapCli, SameInputsGiveTheSameBytes) {
    Files f;
    std::filesystem::create_directories(f.dir.file("a/b"));
    std::filesystem::create_directories(f.dir.file("c"));
    ASSERT_EQ(run(kProgram, {f.extremes, f.ndvi, f.dir.file("a/b/vci_31.hdf")}).status, 0);
    testsupport::RunOptions inFolder;
    inFolder.workDir = f.dir.file("c");
    ASSERT_EQ(run(kProgram, {f.extremes, f.ndvi, "vci_31.hdf"}, inFolder).status, 0);
    const std::string first = testsupport::readFile(f.dir.file("a/b/vci_31.hdf"));
    EXPECT_TRUE(first == testsupport::readFile(f.dir.file("c/vci_31.hdf")));
    // The name as HDF4 records it: its length in two bytes, then the name.
    EXPECT_NE(first.find(std::string("\0\x0avci_31.hdf", 12)), std::string::npos);
    EXPECT_EQ(first.find(".tmp"), std::string::npos);
    EXPECT_EQ(first.find("a/b"), std::string::npos);
}

// GDAL's HDF4 driver, a client outside the toolkit, reads the values and places them.
TEST(ConditionmapCli, GdalReadsTheVciGrid) {
    Files f;
    ASSERT_EQ(f.runProgram().status, 0);
    GDALAllRegister();
    struct Case {
        const char *field;
        GDALDataType type;
    };
    const Case cases[] = {{"sur_vci_b02_b01", GDT_Int16}, {"sur_vci_b02_b01_8bit", GDT_Byte}};
    const testsupport::EosGridRead in = readEosGrid(f.ndvi);
    for (const Case &c : cases) {
        const std::string name = "HDF4_EOS:EOS_GRID:\"" + f.output + "\":MODIS_Grid_2D:" + c.field;
        GDALDatasetUniquePtr ds(GDALDataset::Open(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
        ASSERT_TRUE(ds) << name;
        EXPECT_EQ(ds->GetRasterXSize(), 4);
        EXPECT_EQ(ds->GetRasterYSize(), 3);
        GDALRasterBand *band = ds->GetRasterBand(1);
        EXPECT_EQ(band->GetRasterDataType(), c.type);
        std::vector<int16_t> values(12);
        ASSERT_EQ(band->RasterIO(GF_Read, 0, 0, 4, 3, values.data(), 4, 3, GDT_Int16, 0, 0),
                  CE_None);
        if (c.type == GDT_Int16) {
            EXPECT_EQ(values, kVci16);
        } else {
            EXPECT_EQ(values, std::vector<int16_t>(kVci8.begin(), kVci8.end()));
        }
        double gt[6] = {};
        ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
        EXPECT_NEAR(gt[0], in.upperLeft[0], 1e-6);
        EXPECT_NEAR(gt[3], in.upperLeft[1], 1e-6);
        EXPECT_NEAR(gt[1], (in.lowerRight[0] - in.upperLeft[0]) / 4, 1e-6);
        EXPECT_NEAR(gt[5], (in.lowerRight[1] - in.upperLeft[1]) / 3, 1e-6);
        EXPECT_EQ(gt[2], 0.0);
        EXPECT_EQ(gt[4], 0.0);
        const OGRSpatialReference *srs = ds->GetSpatialRef();
        ASSERT_NE(srs, nullptr);
        char *proj4 = nullptr;
        ASSERT_EQ(srs->exportToProj4(&proj4), OGRERR_NONE);
        const std::string text = proj4;
        CPLFree(proj4);
        EXPECT_NE(text.find("+proj=sinu"), std::string::npos) << text;
        EXPECT_NE(text.find("+R=6371007.181"), std::string::npos) << text;
    }
}

// The output keeps the NDVI grid's pixel registration with its corners: GDAL places the output's
// cells exactly where it places the input's, for centre and for corner registration alike.
TEST(ConditionmapCli, KeepsThePixelRegistration) {
    GDALAllRegister();
    auto geoTransform = [](const std::string &path, const char *field) {
        const std::string name = "HDF4_EOS:EOS_GRID:\"" + path + "\":MODIS_Grid_2D:" + field;
        GDALDatasetUniquePtr ds(GDALDataset::Open(name.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
        std::array<double, 6> gt{};
        EXPECT_TRUE(ds && ds->GetGeoTransform(gt.data()) == CE_None) << name;
        return gt;
    };
    for (const int32_t registration : {0, 1}) { // HDFE_CENTER, HDFE_CORNER
        EosGridSpec ndvi = ndviGrid();
        ndvi.pixelRegistration = registration;
        Files f(extremesGrid(), ndvi);
        ASSERT_EQ(f.runProgram().status, 0);
        EXPECT_EQ(readEosGrid(f.output).pixelRegistration, registration);
        EXPECT_EQ(geoTransform(f.output, "sur_vci_b02_b01"),
                  geoTransform(f.ndvi, "sur_ndvi_b02_b01"))
            << registration;
    }
}

// Arrays that do not fit into the memory available stop the run before anything is allocated or
// written; the figure is the one the environment gives in place of MemAvailable.
TEST(ConditionmapCli, RefusesGridsLargerThanTheMemoryAvailable) {
    const Files f;
    testsupport::RunOptions options;
    options.env["VEG_MEMAVAILABLE_BYTES"] = "155";
    const testsupport::RunResult r = run(kProgram, {f.extremes, f.ndvi, f.output}, options);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "grid of " + f.extremes + " (4 x 3) needs 156 bytes of memory; 155 are available.\n");
    EXPECT_EQ(f.entries(), (std::set<std::string>{"maxmin_31.hdf", "ndvi_31.hdf"}));
    options.env["VEG_MEMAVAILABLE_BYTES"] = "156";
    EXPECT_EQ(run(kProgram, {f.extremes, f.ndvi, f.output}, options).status, 0);
}

} // namespace
