// Command-line tests of dailyvci: the earlier windows and the current one read day by day, every
// printed line, and the daily condition grid read back value by value and attribute by attribute.
#include "support/hdfeos.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using testsupport::EosAttribute;
using testsupport::EosGridSpec;
using testsupport::fileExists;
using testsupport::run;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::writeFile;

const std::string kProgram = DAILYVCI_BIN;

struct Day {
    int year, month, day;
};

// The days from `first` to `last`, enumerated with the C library (independently of the toolkit's
// calendar).
std::vector<Day> daysFrom(Day first, Day last) {
    auto seconds = [](Day d) {
        std::tm tm{};
        tm.tm_year = d.year - 1900;
        tm.tm_mon = d.month - 1;
        tm.tm_mday = d.day;
        tm.tm_hour = 12;
        return timegm(&tm);
    };
    std::vector<Day> days;
    for (time_t s = seconds(first); s <= seconds(last); s += 86400) {
        std::tm tm{};
        gmtime_r(&s, &tm);
        days.push_back({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday});
    }
    return days;
}

std::string padded(Day d) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d.%02d.%02d", d.year, d.month, d.day);
    return text;
}

std::string plain(Day d) {
    return std::to_string(d.year) + "." + std::to_string(d.month) + "." + std::to_string(d.day);
}

std::string dailyName(const std::string &src, Day d) {
    return src + "/" + padded(d) + "/NDVI" + padded(d) + ".hdf";
}

EosGridSpec dailyGrid(const std::vector<uint8_t> &values) {
    EosGridSpec g = testsupport::sinusoidalGrid(static_cast<int32_t>(values.size()), 1);
    g.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosUInt8, values));
    return g;
}

void writeDaily(const std::string &src, Day d, const EosGridSpec &grid) {
    std::filesystem::create_directories(src + "/" + padded(d));
    testsupport::writeEosFile(dailyName(src, d), grid);
}

// What the program prints for a run over `windows` earlier windows and the current one, with the
// message of every daily file that is not in `readable` (default: the open message).
struct ExpectedLog {
    std::string src;
    std::string firstText, lastText;
    std::string lengthLine; // "days: ...; start JD: ...; end JD: ...\n"
    std::vector<std::pair<Day, Day>> windows;
    Day first, last;
    std::set<std::string> readable;
    std::map<std::string, std::string> messages; // other message for a file name

    std::string failure(const std::string &name) const {
        if (readable.count(name))
            return "";
        auto it = messages.find(name);
        return it != messages.end() ? it->second
                                    : "open file or get info for " + name + " failed.\n";
    }

    std::string text() const {
        std::string t = lengthLine;
        for (size_t k = 0; k < windows.size(); ++k) {
            t += std::to_string(k) + ":" + plain(windows[k].first) + "-" +
                 plain(windows[k].second) + "\n";
        }
        for (size_t k = 0; k < windows.size(); ++k) {
            const std::string ks = std::to_string(k);
            const auto days = daysFrom(windows[k].first, windows[k].second);
            t += "Working on year " + ks + "-\nndays=" + std::to_string(days.size()) + "\n\n";
            for (size_t d = 0; d < days.size(); ++d) {
                t += ks + "-" + std::to_string(d) + ":" + plain(days[d]) + "\n";
            }
            for (size_t d = 0; d < days.size(); ++d) {
                const std::string name = dailyName(src, days[d]);
                t += "Working on " + ks + "-" + std::to_string(d) + ":" + plain(days[d]) + "\n";
                t += "File(" + ks + "," + std::to_string(d) + "): " + name + "\n";
                t += failure(name);
            }
            t += "Done with all days!\nDone with the max-min!";
        }
        t += "Passing - " + firstText + ":" + lastText + "\n";
        const auto days = daysFrom(first, last);
        for (size_t d = 0; d < days.size(); ++d) {
            t += std::to_string(d) + ":" + plain(days[d]) + "\n";
        }
        t += "Number of days=" + std::to_string(days.size()) + "\n";
        for (size_t d = 0; d < days.size(); ++d) {
            const std::string name = dailyName(src, days[d]);
            t += "File(" + std::to_string(d) + "): " + name + "\n" + failure(name);
        }
        return t;
    }
};

std::vector<uint8_t> conditionOf(const std::string &path) {
    const auto g = testsupport::readEosGrid(path);
    return testsupport::eosFieldOf(g, "sur_ndvi_b02_b01").data;
}

TEST(DailyVciCli, Usage) {
    const std::string usage = "Usage: " + kProgram +
                              " <src dir> <start yyyy.mm.dd> <end yyyy.mm.dd> <number of years "
                              "to be retrospected from the previous year> <targetfile>\n";
    for (const auto &args : {std::vector<std::string>{},
                             std::vector<std::string>{"src", "2020.01.01", "2020.01.07", "2"}}) {
        const RunResult r = run(kProgram, args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, usage);
        EXPECT_EQ(r.err, "");
    }
}

// The window 2020-12-25 .. 2021-01-05 with two earlier years: days of year 360 to 5, so the
// earlier windows run from 2019-12-26 and from 2018-12-26 (2020 is a leap year).
TEST(DailyVciCli, WindowAcrossTheYearEndWithTwoEarlierYears) {
    TempDir t;
    const std::string src = t.file("daily");
    // Cells: 0 VCI 100 | 1 current at the maximum | 2 at the minimum | 3 no range | 4 current no
    // value | 5 data only in the current window | 6 current bad value | 7 daily 200, 255, 100 |
    // 8 a third of the range.
    const std::map<std::string, std::vector<uint8_t>> days = {
        {"2018.12.30", {100, 50, 80, 90, 10, 255, 30, 100, 0}},
        {"2019.12.31", {150, 60, 90, 90, 20, 255, 40, 255, 3}},
        {"2020.01.02", {130, 255, 85, 90, 255, 255, 253, 255, 255}},
        {"2020.12.25", {120, 70, 80, 90, 255, 33, 253, 200, 1}},
        {"2021.01.01", {110, 255, 255, 90, 255, 255, 255, 255, 255}},
        {"2021.01.05", {100, 0, 80, 90, 255, 30, 253, 100, 255}},
    };
    ExpectedLog log;
    log.src = src;
    log.firstText = "2020.12.25";
    log.lastText = "2021.01.05";
    log.lengthLine = "days: 12; start JD: 360; end JD: 5\n";
    log.windows = {{{2019, 12, 26}, {2020, 1, 5}}, {{2018, 12, 26}, {2019, 1, 5}}};
    log.first = {2020, 12, 25};
    log.last = {2021, 1, 5};
    for (const auto &d : days) {
        const Day day{std::stoi(d.first.substr(0, 4)), std::stoi(d.first.substr(5, 2)),
                      std::stoi(d.first.substr(8, 2))};
        writeDaily(src, day, dailyGrid(d.second));
        log.readable.insert(dailyName(src, day));
    }
    const std::string target = t.file("vci.hdf");
    const RunResult r = run(kProgram, {src, "2020.12.25", "2021.01.05", "2", target});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, log.text());
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(conditionOf(target), (std::vector<uint8_t>{100, 250, 0, 0, 255, 0, 255, 250, 83}));
}

std::vector<uint8_t> bytesOf(const std::string &text, size_t count) {
    std::vector<uint8_t> b(count, 0);
    std::memcpy(b.data(), text.data(), std::min(text.size(), count));
    return b;
}

TEST(DailyVciCli, OutputLayoutAndAttributes) {
    TempDir t;
    const std::string src = t.file("daily");
    EosGridSpec g = testsupport::sinusoidalGrid(3, 2);
    g.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosUInt8,
                                             std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    writeDaily(src, {2010, 6, 1}, g);
    const std::string target = t.file("vci.hdf");
    ASSERT_EQ(run(kProgram, {src, "2010.06.01", "2010.06.01", "0", target}).status, 0);
    EXPECT_EQ(testsupport::readEosGridNames(target), std::vector<std::string>{"MODIS_Grid_2D"});
    const auto out = testsupport::readEosGrid(target);
    // The geometry as the input file holds it (its metadata text rounds the corners).
    const auto in = testsupport::readEosGrid(dailyName(src, {2010, 6, 1}));
    EXPECT_EQ(out.columns, 3);
    EXPECT_EQ(out.rows, 2);
    EXPECT_EQ(out.upperLeft, in.upperLeft);
    EXPECT_EQ(out.lowerRight, in.lowerRight);
    EXPECT_EQ(out.projectionCode, in.projectionCode);
    EXPECT_EQ(out.sphereCode, in.sphereCode);
    EXPECT_EQ(out.projectionParameters, in.projectionParameters);
    EXPECT_EQ(out.originCode, in.originCode);
    ASSERT_EQ(out.fields.size(), 1u);
    EXPECT_EQ(out.fields[0].name, "sur_ndvi_b02_b01");
    EXPECT_EQ(out.fields[0].numberType, testsupport::kEosUInt8);
    EXPECT_EQ(out.fields[0].dimList, "YDim,XDim");
    EXPECT_EQ(out.fields[0].compression, 0);
    // With no earlier year the history is the current window itself.
    EXPECT_EQ(out.fields[0].data, std::vector<uint8_t>(6, 0));

    auto u8 = [](const char *name, std::vector<uint8_t> v) {
        return testsupport::eosValues<uint8_t>(name, testsupport::kEosUInt8, v);
    };
    auto f32 = [](const char *name, float v) {
        return testsupport::eosValues<float>(name, testsupport::kEosFloat32, {v});
    };
    const std::vector<EosAttribute> expected = {
        u8("valid_range", {0, 254}),
        u8("_Fillvalue", {255}),
        u8("_BadQuality", {253}),
        {"Units", testsupport::kEosChar8, 8, bytesOf("NoUnits", 8)},
        f32("scale", 0.004f),
        f32("offset", 0.0f),
        {"true_value", testsupport::kEosChar8, 30, bytesOf(" field_value * scale + offset", 30)},
    };
    const auto attributes = testsupport::readSdAttributes(target, "sur_ndvi_b02_b01");
    EXPECT_EQ(attributes, expected);
    ASSERT_EQ(attributes.size(), expected.size());
    uint32_t bits = 0;
    std::memcpy(&bits, attributes[4].bytes.data(), 4);
    EXPECT_EQ(bits, 0x3B83126Fu);
}

TEST(DailyVciCli, UnusableDailyFilesAreReportedAndSkipped) {
    TempDir t;
    const std::string src = t.file("daily");
    writeDaily(src, {2015, 3, 1}, dailyGrid({10, 20}));
    writeDaily(src, {2016, 3, 1}, dailyGrid({30, 40}));
    // 2016-03-02: a 16-bit field; 2016-03-03: another grid size; 2016-03-04: not an HDF file.
    EosGridSpec wide = testsupport::sinusoidalGrid(2, 1);
    wide.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosInt16,
                                                std::vector<int16_t>{250, 250}));
    writeDaily(src, {2016, 3, 2}, wide);
    writeDaily(src, {2016, 3, 3}, dailyGrid({250, 250, 250}));
    std::filesystem::create_directories(src + "/2016.03.04");
    writeFile(dailyName(src, {2016, 3, 4}), "text");

    ExpectedLog log;
    log.src = src;
    log.firstText = "2016.03.01";
    log.lastText = "2016.03.04";
    // 2016 is a leap year: 1 March is day 61, which in 2015 is 2 March.
    log.lengthLine = "days: 4; start JD: 61; end JD: 64\n";
    log.windows = {{{2015, 3, 2}, {2015, 3, 5}}};
    log.first = {2016, 3, 1};
    log.last = {2016, 3, 4};
    log.readable = {dailyName(src, {2016, 3, 1})};
    log.messages[dailyName(src, {2016, 3, 2})] =
        "read data from " + dailyName(src, {2016, 3, 2}) + " failed.\n";
    log.messages[dailyName(src, {2016, 3, 3})] =
        "grid of " + dailyName(src, {2016, 3, 3}) +
        " has 3 x 1 cells, not 2 x 1 as the first file; skipped.\n";
    const std::string target = t.file("vci.hdf");
    const RunResult r = run(kProgram, {src, "2016.03.01", "2016.03.04", "1", target});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, log.text());
    // 2015-03-01 lies outside the earlier window, so the current window is its own history.
    EXPECT_EQ(conditionOf(target), (std::vector<uint8_t>{0, 0}));
}

// A square daily grid whose field lists its dimensions in another order than the first day's has
// the same cell count but not the same cells: it is skipped like a grid of another size.
TEST(DailyVciCli, DimensionOrderMustMatchTheFirstDay) {
    TempDir t;
    const std::string src = t.file("daily");
    for (const std::string first : {"YDim,XDim", "XDim,YDim"}) {
        for (const std::string second : {"YDim,XDim", "XDim,YDim"}) {
            EosGridSpec a = testsupport::sinusoidalGrid(2, 2);
            a.fields.push_back(testsupport::eosField("sur_ndvi_b02_b01", testsupport::kEosUInt8,
                                                     std::vector<uint8_t>{10, 20, 30, 40}));
            a.fields[0].dimList = first;
            EosGridSpec b = a;
            b.fields[0].dimList = second;
            writeDaily(src, {2016, 3, 1}, a);
            writeDaily(src, {2016, 3, 2}, b);
            const RunResult r = run(kProgram, {src, "2016.03.01", "2016.03.02", "0", t.file("v")});
            const std::string skipped = "grid of " + dailyName(src, {2016, 3, 2}) +
                                        " has 2 x 2 cells, not 2 x 2 as the first file; skipped.\n";
            EXPECT_EQ(r.status, 0) << first << " " << second;
            EXPECT_EQ(r.out.find(skipped) != std::string::npos, first != second)
                << first << " " << second;
        }
    }
}

TEST(DailyVciCli, RefusedRuns) {
    TempDir t;
    const std::string src = t.file("daily");
    const std::string target = t.file("vci.hdf");
    struct Case {
        const char *name;
        std::vector<std::string> args;
        std::string outEnd; // the end of standard output
    } cases[] = {
        {"short first date",
         {src, "2020.1.5", "2020.01.07", "1", target},
         "date 2020.1.5 is not a date of the form yyyy.mm.dd.\n"},
        {"empty last date",
         {src, "2020.01.05", "", "1", target},
         "date  is not a date of the form yyyy.mm.dd.\n"},
        {"negative years",
         {src, "2020.01.05", "2020.01.06", "-1", target},
         "number of years -1 is not in 0..9999.\n"},
        {"too many years",
         {src, "2020.01.05", "2020.01.06", "10000", target},
         "number of years 10000 is not in 0..9999.\n"},
        {"no file opens",
         {src, "2020.01.05", "2020.01.06", "0", target},
         "no daily file could be opened; " + target + " not created.\n"},
        {"window ends before it starts",
         {src, "2020.01.06", "2020.01.05", "0", target},
         "Number of days=0\nno daily file could be opened; " + target + " not created.\n"},
    };
    for (const auto &c : cases) {
        const RunResult r = run(kProgram, c.args);
        EXPECT_EQ(r.status, 255) << c.name;
        ASSERT_GE(r.out.size(), c.outEnd.size()) << c.name << ": " << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - c.outEnd.size()), c.outEnd) << c.name;
        EXPECT_EQ(r.err, "") << c.name;
        EXPECT_FALSE(fileExists(target)) << c.name;
    }
}

TEST(DailyVciCli, OutputThatCannotBeCreated) {
    TempDir t;
    const std::string src = t.file("daily");
    writeDaily(src, {2012, 7, 1}, dailyGrid({10, 20}));
    const std::string target = t.file("none/vci.hdf");
    const RunResult r = run(kProgram, {src, "2012.07.01", "2012.07.02", "0", target});
    EXPECT_EQ(r.status, 255);
    const std::string end = "create output file/grid/field " + target + " for " +
                            dailyName(src, {2012, 7, 2}) + " failed.\n";
    ASSERT_GE(r.out.size(), end.size());
    EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end);
    EXPECT_FALSE(fileExists(target));
}

} // namespace
