// Command-line tests of periodextremes and basicextremes: period file names from the period rule,
// years folded in order with missing ones skipped, every message, and the extremes grid read back.
#include "support/hdfeos.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using testsupport::EosGridSpec;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::run;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::writeFile;

const std::string kFull = PERIODEXTREMES_BIN;
const std::string kBasic = BASICEXTREMES_BIN;
constexpr int16_t kNoData = -28672;
constexpr int16_t kFill = -28673;
const std::string kDone = "Done with the max-secondmin!";

EosGridSpec periodGrid(const std::vector<int16_t> &ndvi, int32_t columns, int32_t rows = 1) {
    EosGridSpec g = testsupport::sinusoidalGrid(columns, rows);
    g.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosInt16, ndvi));
    g.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01_8bit", testsupport::kEosUInt8,
                                             std::vector<uint8_t>(ndvi.size(), 9)));
    return g;
}

// Writes a period file at its place under the source directory, folders included.
void writePeriodFile(const std::string &path, const EosGridSpec &grid) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    testsupport::writeEosFile(path, grid);
}

std::string weekFile(const std::string &src, int year, const std::string &tag) {
    return src + "/" + std::to_string(year) + "/ndvi_" + tag + ".hdf";
}

struct Extremes {
    std::vector<int16_t> min, max, min2, min3;
};

Extremes readExtremes(const std::string &path, const std::string &grid = "MODIS_Grid_2D") {
    const auto g = testsupport::readEosGrid(path, grid);
    auto field = [&](const char *name) {
        return testsupport::fromBytes<int16_t>(testsupport::eosFieldOf(g, name).data);
    };
    return {field("ndvi_min"), field("ndvi_max"), field("ndvi_min2"), field("ndvi_min3")};
}

TEST(PeriodExtremesCli, UsageWithTooFewArguments) {
    const std::string full =
        "Usage: " + kFull +
        " <src dir> <start yyyy> <end yyyy> <targetfile> <# of periods> <period length> <actual "
        "period length> {grid name} {field name}\n"
        "Example: " +
        kFull +
        " ndvi 2001 2020 extremes/ndvi_extremes_01.hdf 1 7 7\n"
        "Example: " +
        kFull +
        " ndvi 2001 2020 extremes/ndvi_extremes_01.hdf 1 7 14\n"
        "Example: " +
        kFull +
        " ndvi 2001 2020 extremes/ndvi_extremes_01.hdf 1 7 7 MODIS_Grid_2D sur_ndvi_b02_b01\n";
    const std::string basic =
        "Usage: " + kBasic +
        " <src dir> <# of period> <length of period> <start yyyy> <end yyyy> <targetfile> {grid "
        "name} {field name}\n"
        "Example: " +
        kBasic + " ndvi 1 7 2001 2020 extremes/ndvi_extremes_01.hdf\n";
    struct Case {
        std::string program;
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {kFull, {}, full},
        {kFull, {"src", "2001", "2002", "t.hdf", "1", "7"}, full},
        {kBasic, {}, basic},
        {kBasic, {"src", "1", "7", "2001", "2002"}, basic},
    };
    for (const auto &c : cases) {
        const RunResult r = run(c.program, c.args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

// Four years of period 1 (L = A = 7), the second missing. Each cell is one sequence of the rule.
TEST(PeriodExtremesCli, YearsInOrderWithAMissingYear) {
    TempDir t;
    const std::string src = t.file("ndvi");
    // Cells: 5,3,7,4 | 5,5,7 | one value | -1001/-1000 | 10000/10001 into set and unset | fill only
    // | no data then a value | in-range values below -1000 after a value.
    const std::map<int, std::vector<int16_t>> years = {
        {2001, {5, 5, 2000, -1001, 10001, kFill, kNoData, 500}},
        {2003, {3, 5, kNoData, -1000, 10000, kFill, kNoData, -5000}},
        {2004, {7, 7, kFill, -1001, 10001, kFill, 40, -1001}},
        {2005, {4, kNoData, -1001, 12, 9000, kFill, kNoData, 600}},
    };
    std::string expectedOut;
    std::string expectedErr;
    for (int year = 2001; year <= 2005; ++year) {
        const std::string name = weekFile(
            src, year, "01_" + std::to_string(year) + ".01.01_" + std::to_string(year) + ".01.07");
        expectedOut += "Name: " + name + "\n";
        if (years.count(year)) {
            writePeriodFile(name, periodGrid(years.at(year), 8));
            expectedOut += kDone;
        } else {
            expectedErr += "open file or get info for " + name + " failed.\n";
        }
    }
    expectedOut += "O.K.\n";
    const std::string target = t.file("extremes.hdf");
    const RunResult r = run(kFull, {src, "2001", "2005", target, "1", "7", "7"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expectedOut);
    EXPECT_EQ(r.err, expectedErr);
    const Extremes e = readExtremes(target);
    EXPECT_EQ(e.max, (std::vector<int16_t>{7, 7, 2000, 12, 10000, kNoData, 40, 600}));
    EXPECT_EQ(e.min, (std::vector<int16_t>{3, 5, 2000, -1000, 9000, kNoData, 40, 500}));
    EXPECT_EQ(e.min2, (std::vector<int16_t>{4, 7, 2000, 12, 10000, kNoData, 40, 600}));
    EXPECT_EQ(e.min3, (std::vector<int16_t>{5, 7, 2000, 12, 10000, kNoData, 40, 600}));

    // A run that starts at the missing year equals a run over the years after it.
    ASSERT_EQ(run(kFull, {src, "2002", "2005", t.file("a.hdf"), "1", "7", "7"}).status, 0);
    ASSERT_EQ(run(kFull, {src, "2003", "2005", t.file("b.hdf"), "1", "7", "7"}).status, 0);
    const Extremes a = readExtremes(t.file("a.hdf"));
    const Extremes b = readExtremes(t.file("b.hdf"));
    EXPECT_EQ(a.min, b.min);
    EXPECT_EQ(a.max, b.max);
    EXPECT_EQ(a.min2, b.min2);
    EXPECT_EQ(a.min3, b.min3);
}

TEST(PeriodExtremesCli, FileNamesFromThePeriodRule) {
    struct Case {
        const char *name;
        std::vector<std::string> args; // after the source directory
        bool basic;
        std::vector<std::string> files; // relative to the source directory, in year order
    } cases[] = {
        {"fortnights every week",
         {"2019", "2019", "T", "2", "7", "14"},
         false,
         {"2019/ndvi_02_2019.01.08_2019.01.21.hdf"}},
        {"week crossing the year end",
         {"2019", "2020", "T", "53", "7", "7"},
         false,
         {"2019/ndvi_53_2019.12.31_2020.01.06.hdf", "2020/ndvi_53_2020.12.30_2021.01.05.hdf"}},
        {"fortnight crossing the year end",
         {"2020", "2020", "T", "52", "7", "14"},
         false,
         {"2020/ndvi_52_2020.12.23_2021.01.05.hdf"}},
        {"three-digit period",
         {"2020", "2020", "T", "100", "1", "1"},
         false,
         {"2020/ndvi_100_2020.04.09_2020.04.09.hdf"}},
        {"basic form covers its step",
         {"2", "7", "2019", "2019", "T"},
         true,
         {"2019/ndvi_02_2019.01.08_2019.01.14.hdf"}},
        {"basic form across the year end",
         {"53", "7", "2019", "2019", "T"},
         true,
         {"2019/ndvi_53_2019.12.31_2020.01.06.hdf"}},
    };
    for (const auto &c : cases) {
        TempDir t;
        const std::string src = t.file("src");
        std::vector<std::string> args{src};
        std::string expectedOut;
        for (const auto &f : c.files) {
            writePeriodFile(src + "/" + f, periodGrid({100, 200}, 2));
            expectedOut += "Name: " + src + "/" + f + "\n" + kDone;
        }
        for (const auto &a : c.args)
            args.push_back(a == "T" ? t.file("out.hdf") : a);
        const RunResult r = run(c.basic ? kBasic : kFull, args);
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(r.out, expectedOut + "O.K.\n") << c.name;
        EXPECT_EQ(r.err, "") << c.name;
    }
}

TEST(PeriodExtremesCli, OutputLayout) {
    TempDir t;
    const std::string src = t.file("src");
    EosGridSpec first = periodGrid({1, 2, 3, 4, 5, 6}, 3, 2);
    EosGridSpec last = periodGrid({6, 5, 4, 3, 2, 1}, 3, 2);
    last.upperLeft = {{100.0, 200.0}};
    last.lowerRight = {{795.0, -263.0}};
    writePeriodFile(weekFile(src, 2010, "01_2010.01.01_2010.01.07"), first);
    writePeriodFile(weekFile(src, 2011, "01_2011.01.01_2011.01.07"), last);
    const std::string target = t.file("x.hdf");
    ASSERT_EQ(run(kFull, {src, "2010", "2011", target, "1", "7", "7"}).status, 0);
    EXPECT_EQ(testsupport::readEosGridNames(target), std::vector<std::string>{"MODIS_Grid_2D"});
    const auto g = testsupport::readEosGrid(target);
    EXPECT_EQ(g.columns, 3);
    EXPECT_EQ(g.rows, 2);
    EXPECT_EQ(g.upperLeft, last.upperLeft);
    EXPECT_EQ(g.lowerRight, last.lowerRight);
    EXPECT_EQ(g.projectionCode, last.projectionCode);
    EXPECT_EQ(g.projectionParameters, last.projectionParameters);
    const char *names[] = {"ndvi_min", "ndvi_max", "ndvi_min2", "ndvi_min3"};
    ASSERT_EQ(g.fields.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(g.fields[i].name, names[i]);
        EXPECT_EQ(g.fields[i].numberType, testsupport::kEosInt16);
        EXPECT_EQ(g.fields[i].dimList, "YDim,XDim");
        EXPECT_EQ(g.fields[i].compression, 4);
        EXPECT_EQ(g.fields[i].compressionLevel, 9);
        EXPECT_TRUE(testsupport::readSdAttributes(target, names[i]).empty()) << names[i];
    }
    const Extremes e = readExtremes(target);
    EXPECT_EQ(e.min, (std::vector<int16_t>{1, 2, 3, 3, 2, 1}));
    EXPECT_EQ(e.max, (std::vector<int16_t>{6, 5, 4, 4, 5, 6}));
}

TEST(PeriodExtremesCli, BasicFormMatchesFullFormWithEqualLengths) {
    TempDir t;
    const std::string src = t.file("src");
    writePeriodFile(weekFile(src, 2015, "03_2015.01.15_2015.01.21"), periodGrid({10, 20}, 2));
    writePeriodFile(weekFile(src, 2016, "03_2016.01.15_2016.01.21"), periodGrid({30, 5}, 2));
    const RunResult full = run(kFull, {src, "2015", "2016", t.file("f.hdf"), "3", "7", "7"});
    const RunResult basic = run(kBasic, {src, "3", "7", "2015", "2016", t.file("b.hdf")});
    ASSERT_EQ(full.status, 0);
    ASSERT_EQ(basic.status, 0);
    EXPECT_EQ(full.out, basic.out);
    const Extremes f = readExtremes(t.file("f.hdf"));
    const Extremes b = readExtremes(t.file("b.hdf"));
    EXPECT_EQ(f.min, b.min);
    EXPECT_EQ(f.max, b.max);
    EXPECT_EQ(f.min2, b.min2);
    EXPECT_EQ(f.min3, b.min3);
    EXPECT_EQ(f.min, (std::vector<int16_t>{10, 5}));
    EXPECT_EQ(f.min2, (std::vector<int16_t>{30, 20}));
}

TEST(PeriodExtremesCli, NamedGridAndField) {
    TempDir t;
    const std::string src = t.file("src");
    EosGridSpec g = testsupport::sinusoidalGrid(2, 1);
    g.name = "Grid_B";
    g.fields.push_back(
        testsupport::eosField("ndvi", testsupport::kEosInt16, std::vector<int16_t>{700, -700}));
    writePeriodFile(weekFile(src, 2012, "01_2012.01.01_2012.01.07"), g);
    const std::string target = t.file("x.hdf");
    const RunResult r = run(kFull, {src, "2012", "2012", target, "1", "7", "7", "Grid_B", "ndvi"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::readEosGridNames(target), std::vector<std::string>{"Grid_B"});
    EXPECT_EQ(readExtremes(target, "Grid_B").max, (std::vector<int16_t>{700, -700}));
}

// Years whose file opens but cannot be used are reported and skipped; the others still count.
TEST(PeriodExtremesCli, UnusableYearsAreSkipped) {
    TempDir t;
    const std::string src = t.file("src");
    const std::string y1 = weekFile(src, 2001, "01_2001.01.01_2001.01.07");
    const std::string y2 = weekFile(src, 2002, "01_2002.01.01_2002.01.07");
    const std::string y3 = weekFile(src, 2003, "01_2003.01.01_2003.01.07");
    writePeriodFile(y1, periodGrid({100, 200}, 2));
    writePeriodFile(y3, periodGrid({300, 50}, 2));
    EosGridSpec wrongType = testsupport::sinusoidalGrid(2, 1);
    wrongType.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosUInt8,
                                                     std::vector<uint8_t>{1, 1}));
    struct Case {
        const char *name;
        EosGridSpec grid;
        bool text;
        std::string err;
    } cases[] = {
        {"field of another type", wrongType, false, "read data from " + y2 + " failed.\n"},
        {"other grid size", periodGrid({1, 1, 1}, 3), false,
         "grid of " + y2 + " has 3 x 1 cells, not 2 x 1 as the first file; skipped.\n"},
        {"not an HDF file", {}, true, "open file or get info for " + y2 + " failed.\n"},
    };
    for (const auto &c : cases) {
        if (c.text) {
            writeFile(y2, "text");
        } else {
            writePeriodFile(y2, c.grid);
        }
        const RunResult r = run(kFull, {src, "2001", "2003", t.file("x.hdf"), "1", "7", "7"});
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        const Extremes e = readExtremes(t.file("x.hdf"));
        EXPECT_EQ(e.min, (std::vector<int16_t>{100, 50})) << c.name;
        EXPECT_EQ(e.max, (std::vector<int16_t>{300, 200})) << c.name;
    }
}

// A square grid whose field lists its dimensions in another order than the first year's has the
// same cell count but not the same cells: both forms skip it like a grid of another size.
TEST(PeriodExtremesCli, DimensionOrderMustMatchTheFirstYear) {
    TempDir t;
    const std::string src = t.file("src");
    const std::string y1 = weekFile(src, 2001, "01_2001.01.01_2001.01.07");
    const std::string y2 = weekFile(src, 2002, "01_2002.01.01_2002.01.07");
    const auto square = [](const std::string &dimList, int16_t value) {
        EosGridSpec g = periodGrid(std::vector<int16_t>(4, value), 2, 2);
        for (testsupport::EosField &f : g.fields) {
            f.dimList = dimList;
        }
        return g;
    };
    const std::vector<std::string> fullArgs = {src, "2001", "2002", t.file("x.hdf"), "1", "7", "7"};
    const std::vector<std::string> basicArgs = {src, "1", "7", "2001", "2002", t.file("x.hdf")};
    for (const std::string first : {"YDim,XDim", "XDim,YDim"}) {
        for (const std::string second : {"YDim,XDim", "XDim,YDim"}) {
            writePeriodFile(y1, square(first, 100));
            writePeriodFile(y2, square(second, 300));
            const bool same = first == second;
            for (const auto &[program, args] :
                 {std::make_pair(kFull, fullArgs), std::make_pair(kBasic, basicArgs)}) {
                const RunResult r = run(program, args);
                EXPECT_EQ(r.status, 0) << program << " " << first << " " << second;
                EXPECT_EQ(r.err, same ? ""
                                      : "grid of " + y2 +
                                            " has 2 x 2 cells, not 2 x 2 as the first file; "
                                            "skipped.\n")
                    << program << " " << first << " " << second;
                EXPECT_EQ(readExtremes(t.file("x.hdf")).max,
                          std::vector<int16_t>(4, same ? 300 : 100))
                    << program << " " << first << " " << second;
            }
        }
    }
}

TEST(PeriodExtremesCli, NothingReadWritesNoOutput) {
    TempDir t;
    const std::string src = t.file("src");
    writePeriodFile(weekFile(src, 2001, "01_2001.01.01_2001.01.07"), periodGrid({1, 2}, 2));
    const std::string target = t.file("x.hdf");
    struct Case {
        const char *name;
        std::vector<std::string> args;
        std::string out;
        std::string err;
    } cases[] = {
        {"start after end",
         {src, "2002", "2001", target, "1", "7", "7"},
         "",
         "no period file of the years 2002 to 2001 could be read; " + target + " not created.\n"},
        {"no file of the years",
         {src, "2005", "2005", target, "1", "7", "7"},
         "Name: " + weekFile(src, 2005, "01_2005.01.01_2005.01.07") + "\n",
         "open file or get info for " + weekFile(src, 2005, "01_2005.01.01_2005.01.07") +
             " failed.\nno period file of the years 2005 to 2005 could be read; " + target +
             " not created.\n"},
    };
    for (const auto &c : cases) {
        const RunResult r = run(kFull, c.args);
        EXPECT_EQ(r.status, 255) << c.name;
        EXPECT_EQ(r.out, c.out) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_FALSE(fileExists(target)) << c.name;
    }
}

TEST(PeriodExtremesCli, OutputThatCannotBeCreated) {
    TempDir t;
    const std::string src = t.file("src");
    const std::string y1 = weekFile(src, 2001, "01_2001.01.01_2001.01.07");
    writePeriodFile(y1, periodGrid({1, 2}, 2));
    const std::string target = t.file("none/x.hdf");
    const RunResult r = run(kBasic, {src, "1", "7", "2001", "2001", target});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Name: " + y1 + "\n" + kDone);
    EXPECT_EQ(r.err, "create output to " + target + " failed.\n");
    EXPECT_FALSE(fileExists(target));
}

TEST(PeriodExtremesCli, SourceDirectoryTooLongForAFileName) {
    TempDir t;
    const std::string src = t.file(std::string(1010, 'd'));
    const std::string name = src + "/2001/ndvi_01_2001.01.01_2001.01.07.hdf";
    const RunResult r = run(kFull, {src, "2001", "2001", t.file("x.hdf"), "1", "7", "7"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "file name " + name +
                         " is longer than 1023 characters; year 2001 skipped.\nno period file of "
                         "the years 2001 to 2001 could be read; " +
                         t.file("x.hdf") + " not created.\n");
}

} // namespace
