// Command-line tests of peakcomposite: whole runs on small generated daily grids, with the exact
// lines printed, the exit status and the composite grid read back field by field.
#include "support/hdfeos.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using testsupport::EosAttribute;
using testsupport::EosGridSpec;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::run;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::writeFile;

const std::string kProgram = PEAKCOMPOSITE_BIN;
constexpr int16_t kNoData = -28672;
constexpr int16_t kFill = -28673;

// A daily NDVI grid of 3 columns and 2 rows holding the two NDVI fields (and a carried field that
// the compositor ignores).
EosGridSpec dailyGrid(const std::vector<int16_t> &ndvi16, const std::vector<uint8_t> &ndvi8,
                      int32_t columns = 3, int32_t rows = 2) {
    EosGridSpec g = testsupport::sinusoidalGrid(columns, rows);
    g.fields.push_back(testsupport::eosField("sur_refl_b01_1", testsupport::kEosInt16,
                                             std::vector<int16_t>(ndvi16.size(), 7)));
    g.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosInt16, ndvi16));
    g.fields.push_back(
        testsupport::eosField("sur_ndvi_b02_b01_8bit", testsupport::kEosUInt8, ndvi8));
    return g;
}

template <typename T>
std::vector<T> fieldValues(const std::string &path, const std::string &field,
                           const std::string &grid = "MODIS_Grid_2D") {
    const auto g = testsupport::readEosGrid(path, grid);
    return testsupport::fromBytes<T>(testsupport::eosFieldOf(g, field).data);
}

std::string listOf(const std::vector<std::string> &paths, const char *separator = "\n") {
    std::string text;
    for (const auto &p : paths)
        text += p + separator;
    return text;
}

std::string processingLines(const std::vector<std::string> &paths) {
    std::string text;
    for (size_t i = 0; i < paths.size(); ++i) {
        text += std::to_string((i + 1) % 256) + " processing " + paths[i] + "\n";
    }
    return text;
}

std::string warning(const std::string &path, const std::string &list) {
    return "Warning: failed at opening file or get info for " + path + " from " + list + ".\n";
}

TEST(PeakCompositeCli, UsageWithFewerThanTwoArguments) {
    const std::string usage =
        "Inn\nUsage: " + kProgram +
        " <input NDVI list filename> <output filename> {grid name} {ndvi field name - 16bit} "
        "{ndvi field name - 8bit} {qc field name}\n"
        "     {grid name} - used for input and output. Default - 'MODIS_Grid_2D'\n"
        "     {ndvi field name - 16bit} - used for input and output. Default - "
        "'sur_ndvi_b02_b01'\n"
        "     {ndvi field name - 8bit} - used for input and output. Default - "
        "'sur_ndvi_b02_b01_8bit'\n"
        "     {qc field name} - used for output qc layer. Default - 'sur_ndvi_b02_b01_qc'\n";
    for (const auto &args : {std::vector<std::string>{}, std::vector<std::string>{"list.txt"}}) {
        const RunResult r = run(kProgram, args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, usage);
        EXPECT_EQ(r.err, "");
    }
}

TEST(PeakCompositeCli, ListThatCannotBeOpened) {
    TempDir t;
    for (const std::string &list : {t.file("missing.txt"), t.path()}) {
        const RunResult r = run(kProgram, {list, t.file("out.hdf")});
        EXPECT_EQ(r.status, 255) << list;
        EXPECT_EQ(r.out, "Inn\nError: file " + list + " cannot be openned for reading.\n");
        EXPECT_EQ(r.err, "");
        EXPECT_FALSE(fileExists(t.file("out.hdf")));
    }
}

TEST(PeakCompositeCli, CompositeWithUnreadableEntryUsesUpItsPosition) {
    TempDir t;
    // Cells: 3000 then 5000; equal maxima; fill in between; no data everywhere; fill everywhere;
    // negative values.
    const std::string d1 = t.file("d1.hdf"), d3 = t.file("d3.hdf"), d4 = t.file("d4.hdf");
    testsupport::writeEosFile(
        d1, dailyGrid({3000, 5000, 5000, kNoData, kFill, -500}, {200, 254, 120, 254, 255, 100}));
    testsupport::writeEosFile(
        d3, dailyGrid({5000, 5000, kFill, kNoData, kFill, -400}, {255, 120, 254, 254, 255, 90}));
    testsupport::writeEosFile(
        d4, dailyGrid({4000, 4000, 3000, kNoData, kFill, kNoData}, {210, 130, 130, 254, 255, 254}));
    const std::string missing = t.file("d2.hdf");
    const std::vector<std::string> entries = {d1, missing, d3, d4};
    writeFile(t.file("list.txt"), listOf(entries, " \t\n"));
    const std::string out = t.file("composite.hdf");

    const RunResult r = run(kProgram, {t.file("list.txt"), out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Inn\n" + processingLines(entries) + "O.K.\n");
    EXPECT_EQ(r.err, warning(missing, t.file("list.txt")));

    EXPECT_EQ(fieldValues<int16_t>(out, "sur_ndvi_b02_b01"),
              (std::vector<int16_t>{5000, 5000, 3000, kNoData, kFill, -400}));
    EXPECT_EQ(fieldValues<uint8_t>(out, "sur_ndvi_b02_b01_qc"),
              (std::vector<uint8_t>{3, 1, 4, 4, 254, 3}));
    EXPECT_EQ(fieldValues<uint8_t>(out, "sur_ndvi_b02_b01_8bit"),
              (std::vector<uint8_t>{255, 130, 130, 254, 255, 100}));
}

std::vector<uint8_t> bytesOf(const std::string &text, size_t count) {
    std::vector<uint8_t> b(count, 0);
    std::memcpy(b.data(), text.data(), std::min(text.size(), count));
    return b;
}

TEST(PeakCompositeCli, OutputLayoutAndAttributes) {
    TempDir t;
    EosGridSpec first = dailyGrid({1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6});
    EosGridSpec last = dailyGrid({6, 5, 4, 3, 2, 1}, {6, 5, 4, 3, 2, 1});
    // The output takes the geometry of the last input read.
    last.upperLeft = {{1000.0, 2000.0}};
    last.lowerRight = {{1695.0, 1537.0}};
    last.projectionParameters[0] = 6371007.0;
    testsupport::writeEosFile(t.file("a.hdf"), first);
    testsupport::writeEosFile(t.file("b.hdf"), last);
    writeFile(t.file("list.txt"), t.file("a.hdf") + "\n" + t.file("b.hdf"));
    const std::string out = t.file("c.hdf");
    ASSERT_EQ(run(kProgram, {t.file("list.txt"), out}).status, 0);

    EXPECT_EQ(testsupport::readEosGridNames(out), std::vector<std::string>{"MODIS_Grid_2D"});
    const auto g = testsupport::readEosGrid(out);
    EXPECT_EQ(g.columns, 3);
    EXPECT_EQ(g.rows, 2);
    EXPECT_EQ(g.upperLeft, last.upperLeft);
    EXPECT_EQ(g.lowerRight, last.lowerRight);
    EXPECT_EQ(g.projectionCode, last.projectionCode);
    EXPECT_EQ(g.sphereCode, last.sphereCode);
    EXPECT_EQ(g.projectionParameters, last.projectionParameters);
    EXPECT_EQ(g.originCode, last.originCode);
    struct Expected {
        const char *name;
        int32_t type;
    } fields[] = {{"sur_ndvi_b02_b01", testsupport::kEosInt16},
                  {"sur_ndvi_b02_b01_8bit", testsupport::kEosUInt8},
                  {"sur_ndvi_b02_b01_qc", testsupport::kEosUInt8}};
    ASSERT_EQ(g.fields.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(g.fields[i].name, fields[i].name);
        EXPECT_EQ(g.fields[i].numberType, fields[i].type) << fields[i].name;
        EXPECT_EQ(g.fields[i].dimList, "YDim,XDim") << fields[i].name;
        EXPECT_EQ(g.fields[i].compression, 4) << fields[i].name; // deflate
        EXPECT_EQ(g.fields[i].compressionLevel, 9) << fields[i].name;
    }

    auto text = [](const char *name, const std::string &value, int32_t count) {
        return EosAttribute{name, testsupport::kEosChar8, count, bytesOf(value, count)};
    };
    auto f32 = [](const char *name, float v) {
        return testsupport::eosValues<float>(name, testsupport::kEosFloat32, {v});
    };
    auto i16 = [](const char *name, std::vector<int16_t> v) {
        return testsupport::eosValues<int16_t>(name, testsupport::kEosInt16, v);
    };
    auto u8 = [](const char *name, std::vector<uint8_t> v) {
        return testsupport::eosValues<uint8_t>(name, testsupport::kEosUInt8, v);
    };
    const std::string trueValue = " field_value * scale + offset";
    const std::vector<EosAttribute> ndvi16 = {text("long_name", "Daily NDVI at 250 m", 19),
                                              i16("valid_range", {-10000, 10000}),
                                              i16("_NodataFillValue", {-28672}),
                                              i16("_FillValue", {-28673}),
                                              text("units", "NoUnits", 8),
                                              f32("scale", 0.0001f),
                                              f32("offset", 0.0f),
                                              text("true_value", trueValue, 30)};
    const std::vector<EosAttribute> ndvi8 = {text("long_name", "Daily NDVI at 250 m - 8bits", 27),
                                             u8("valid_range", {0, 250}),
                                             u8("_NodataFillValue", {254}),
                                             u8("_FillValue", {255}),
                                             text("units", "NoUnits", 8),
                                             f32("scale", 0.0001f),
                                             f32("offset", -1.0f),
                                             text("true_value", trueValue, 30)};
    const std::vector<EosAttribute> qc = {
        text("long_name", "Quality Layer for NDVI Maximum Value Composite at 250 m", 55),
        u8("valid_range", {0, 250}), u8("_NodataFillValue", {254}), u8("_FillValue", {255})};
    EXPECT_EQ(testsupport::readSdAttributes(out, "sur_ndvi_b02_b01"), ndvi16);
    EXPECT_EQ(testsupport::readSdAttributes(out, "sur_ndvi_b02_b01_8bit"), ndvi8);
    EXPECT_EQ(testsupport::readSdAttributes(out, "sur_ndvi_b02_b01_qc"), qc);
    // The scale's bits are exactly those of 0.0001 in single precision.
    const auto attrs = testsupport::readSdAttributes(out, "sur_ndvi_b02_b01");
    ASSERT_EQ(attrs[5].bytes.size(), 4u);
    uint32_t bits = 0;
    std::memcpy(&bits, attrs[5].bytes.data(), 4);
    EXPECT_EQ(bits, 0x38D1B717u);
}

TEST(PeakCompositeCli, NamedGridAndFields) {
    TempDir t;
    EosGridSpec g = testsupport::sinusoidalGrid(2, 1);
    g.name = "Other_Grid";
    g.fields.push_back(
        testsupport::eosField("n16", testsupport::kEosInt16, std::vector<int16_t>{100, 200}));
    g.fields.push_back(
        testsupport::eosField("n8", testsupport::kEosUInt8, std::vector<uint8_t>{10, 20}));
    testsupport::writeEosFile(t.file("a.hdf"), g);
    writeFile(t.file("list.txt"), t.file("a.hdf"));
    const std::string out = t.file("c.hdf");
    const RunResult r = run(kProgram, {t.file("list.txt"), out, "Other_Grid", "n16", "n8", "q"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::readEosGridNames(out), std::vector<std::string>{"Other_Grid"});
    EXPECT_EQ(fieldValues<int16_t>(out, "n16", "Other_Grid"), (std::vector<int16_t>{100, 200}));
    EXPECT_EQ(fieldValues<uint8_t>(out, "n8", "Other_Grid"), (std::vector<uint8_t>{10, 20}));
    EXPECT_EQ(fieldValues<uint8_t>(out, "q", "Other_Grid"), (std::vector<uint8_t>{1, 1}));
}

// Entries that are skipped with the warning: each still uses up its list position.
TEST(PeakCompositeCli, SkippedEntries) {
    TempDir t;
    const std::string good = t.file("good.hdf");
    testsupport::writeEosFile(good, dailyGrid({100, 200, 300, 400, 500, 600}, {1, 2, 3, 4, 5, 6}));
    EosGridSpec other =
        dailyGrid({900, 900, 900, 900, 900, 900, 900, 900}, {9, 9, 9, 9, 9, 9, 9, 9}, 4, 2);
    testsupport::writeEosFile(t.file("other_size.hdf"), other);
    EosGridSpec no8 = testsupport::sinusoidalGrid(3, 2);
    no8.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosInt16,
                                               std::vector<int16_t>(6, 1)));
    testsupport::writeEosFile(t.file("no8bit.hdf"), no8);
    EosGridSpec otherGrid = dailyGrid({1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1});
    otherGrid.name = "Another";
    testsupport::writeEosFile(t.file("othergrid.hdf"), otherGrid);
    writeFile(t.file("text.hdf"), "not an HDF file\n");
    const std::string longPath = "/" + std::string(300, 'x') + ".hdf";

    struct Case {
        const char *name;
        std::string entry;
        std::string warning;
    } cases[] = {
        {"missing file", t.file("none.hdf"), ""},
        {"not an HDF file", t.file("text.hdf"), ""},
        {"grid of another name", t.file("othergrid.hdf"), ""},
        {"no 8-bit field", t.file("no8bit.hdf"), ""},
        {"other grid size", t.file("other_size.hdf"), ""},
        {"path too long", longPath,
         "Warning: path " + longPath + " from " + t.file("list.txt") +
             " is longer than 255 characters.\n"},
    };
    for (const auto &c : cases) {
        // The skipped entry comes after the first readable one (its counts set the grid size).
        const std::vector<std::string> entries = {good, c.entry, good};
        writeFile(t.file("list.txt"), listOf(entries));
        const std::string out = t.file("c.hdf");
        const RunResult r = run(kProgram, {t.file("list.txt"), out});
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(r.out, "Inn\n" + processingLines(entries) + "O.K.\n") << c.name;
        const std::string expected =
            c.warning.empty() ? warning(c.entry, t.file("list.txt")) : c.warning;
        EXPECT_EQ(r.err, expected) << c.name;
        EXPECT_EQ(fieldValues<int16_t>(out, "sur_ndvi_b02_b01"),
                  (std::vector<int16_t>{100, 200, 300, 400, 500, 600}))
            << c.name;
        EXPECT_EQ(fieldValues<uint8_t>(out, "sur_ndvi_b02_b01_qc"), std::vector<uint8_t>(6, 1))
            << c.name;
    }
}

// A square grid whose fields list their dimensions in another order than the first input's has
// the same cell count but not the same cells: it is skipped like a grid of another size.
TEST(PeakCompositeCli, DimensionOrderMustMatchTheFirstInput) {
    TempDir t;
    const auto square = [](const std::string &dimList, int16_t value) {
        EosGridSpec g = dailyGrid(std::vector<int16_t>(4, value), std::vector<uint8_t>(4, 7), 2, 2);
        for (testsupport::EosField &f : g.fields) {
            f.dimList = dimList;
        }
        return g;
    };
    for (const std::string first : {"YDim,XDim", "XDim,YDim"}) {
        for (const std::string second : {"YDim,XDim", "XDim,YDim"}) {
            testsupport::writeEosFile(t.file("a.hdf"), square(first, 100));
            testsupport::writeEosFile(t.file("b.hdf"), square(second, 900));
            writeFile(t.file("list.txt"), listOf({t.file("a.hdf"), t.file("b.hdf")}));
            const RunResult r = run(kProgram, {t.file("list.txt"), t.file("c.hdf")});
            const bool same = first == second;
            EXPECT_EQ(r.status, 0) << first << " " << second;
            EXPECT_EQ(r.err, same ? "" : warning(t.file("b.hdf"), t.file("list.txt")))
                << first << " " << second;
            EXPECT_EQ(fieldValues<int16_t>(t.file("c.hdf"), "sur_ndvi_b02_b01"),
                      std::vector<int16_t>(4, same ? 900 : 100))
                << first << " " << second;
        }
    }
}

TEST(PeakCompositeCli, FirstEntryUnreadableGivesPositionTwo) {
    TempDir t;
    testsupport::writeEosFile(t.file("b.hdf"), dailyGrid({1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}));
    writeFile(t.file("list.txt"), t.file("a.hdf") + "\n" + t.file("b.hdf") + "\n");
    ASSERT_EQ(run(kProgram, {t.file("list.txt"), t.file("c.hdf")}).status, 0);
    EXPECT_EQ(fieldValues<uint8_t>(t.file("c.hdf"), "sur_ndvi_b02_b01_qc"),
              std::vector<uint8_t>(6, 2));
}

TEST(PeakCompositeCli, ListLengthLimit) {
    TempDir t;
    const std::string day = t.file("d.hdf");
    testsupport::writeEosFile(day, dailyGrid({kNoData, 5, kFill, 1, 2, 3}, {254, 5, 255, 1, 2, 3}));
    // 250 entries: the last position fits the quality layer.
    std::vector<std::string> entries(250, day);
    writeFile(t.file("list.txt"), listOf(entries));
    RunResult r = run(kProgram, {t.file("list.txt"), t.file("c.hdf")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Inn\n" + processingLines(entries) + "O.K.\n");
    EXPECT_EQ(fieldValues<uint8_t>(t.file("c.hdf"), "sur_ndvi_b02_b01_qc"),
              (std::vector<uint8_t>{250, 1, 254, 1, 1, 1}));
    // 251 entries are refused before any is processed.
    entries.push_back(day);
    writeFile(t.file("list.txt"), listOf(entries));
    r = run(kProgram, {t.file("list.txt"), t.file("d.hdf.out")});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Inn\n");
    EXPECT_EQ(r.err, "Error: list " + t.file("list.txt") +
                         " has more than 250 entries; the quality layer cannot record their "
                         "positions.\n");
    EXPECT_FALSE(fileExists(t.file("d.hdf.out")));
}

TEST(PeakCompositeCli, NoReadableInput) {
    TempDir t;
    const std::string list = t.file("list.txt");
    const std::string none =
        "Error: no input of " + list + " could be opened and read; no output written.\n";
    struct Case {
        const char *name;
        std::string listText;
        std::string out;
        std::string err;
    } cases[] = {
        {"empty list", "", "Inn\n", none},
        {"blanks only", " \n\t \n", "Inn\n", none},
        {"nothing opens", t.file("x.hdf") + "\n" + t.file("y.hdf"),
         "Inn\n" + processingLines({t.file("x.hdf"), t.file("y.hdf")}),
         warning(t.file("x.hdf"), list) + warning(t.file("y.hdf"), list) + none},
    };
    for (const auto &c : cases) {
        writeFile(list, c.listText);
        const RunResult r = run(kProgram, {list, t.file("c.hdf")});
        EXPECT_EQ(r.status, 255) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_FALSE(fileExists(t.file("c.hdf"))) << c.name;
    }
}

TEST(PeakCompositeCli, FieldOfAnotherTypeEndsTheRun) {
    TempDir t;
    testsupport::writeEosFile(t.file("a.hdf"), dailyGrid({1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}));
    EosGridSpec wide = testsupport::sinusoidalGrid(3, 2);
    wide.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosInt16,
                                                std::vector<int16_t>(6, 1)));
    // An 8-bit NDVI field stored as 16-bit values is never read into the 8-bit buffer.
    wide.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01_8bit", testsupport::kEosUInt16,
                                                std::vector<uint16_t>(6, 1)));
    testsupport::writeEosFile(t.file("b.hdf"), wide);
    writeFile(t.file("c.hdf"), "earlier output");
    writeFile(t.file("list.txt"), t.file("a.hdf") + "\n" + t.file("b.hdf"));
    const RunResult r = run(kProgram, {t.file("list.txt"), t.file("c.hdf")});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Inn\n" + processingLines({t.file("a.hdf"), t.file("b.hdf")}));
    EXPECT_EQ(r.err, "read data from " + t.file("b.hdf") + " failed.\n");
    EXPECT_EQ(readFile(t.file("c.hdf")), "earlier output");
}

TEST(PeakCompositeCli, OutputThatCannotBeCreated) {
    TempDir t;
    testsupport::writeEosFile(t.file("a.hdf"), dailyGrid({1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}));
    writeFile(t.file("list.txt"), t.file("a.hdf") + "\n" + t.file("gone.hdf") + "\n");
    const std::string out = t.file("no/such/dir/c.hdf");
    const RunResult r = run(kProgram, {t.file("list.txt"), out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Inn\n" + processingLines({t.file("a.hdf"), t.file("gone.hdf")}));
    EXPECT_EQ(r.err, warning(t.file("gone.hdf"), t.file("list.txt")) +
                         "create output file/grid/field " + out + " for " + t.file("gone.hdf") +
                         " failed.\nFailed.\n");
    EXPECT_FALSE(fileExists(out));
}

TEST(PeakCompositeCli, ReplacesAnEarlierOutputAndLeavesNoTemporaryFile) {
    TempDir t;
    testsupport::writeEosFile(t.file("a.hdf"), dailyGrid({1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}));
    writeFile(t.file("list.txt"), t.file("a.hdf"));
    writeFile(t.file("c.hdf"), "earlier output");
    ASSERT_EQ(run(kProgram, {t.file("list.txt"), t.file("c.hdf")}).status, 0);
    EXPECT_EQ(fieldValues<int16_t>(t.file("c.hdf"), "sur_ndvi_b02_b01"),
              (std::vector<int16_t>{1, 2, 3, 4, 5, 6}));
    size_t files = 0;
    for (const auto &e : std::filesystem::directory_iterator(t.path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 3u); // a.hdf, list.txt, c.hdf
}

} // namespace
