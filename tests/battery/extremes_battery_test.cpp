// periodextremes and basicextremes against damaged, foreign and differently sized period files and
// unusable output paths. A period file that cannot be used is skipped with a message naming it; a
// run that can use none writes nothing.
#include "battery.h"
#include "gridfixtures.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using battery::Damage;
using battery::GridFault;
using testsupport::TempDir;

struct Form {
    const char *name;
    const char *program;
    std::vector<std::string> (*args)(const std::string &src, const std::string &first,
                                     const std::string &last, const std::string &target);
};

const Form kForms[] = {
    {"periodextremes", PERIODEXTREMES_BIN,
     [](const std::string &src, const std::string &first, const std::string &last,
        const std::string &target) {
         return std::vector<std::string>{src, first, last, target, "1", "7", "7"};
     }},
    {"basicextremes", BASICEXTREMES_BIN,
     [](const std::string &src, const std::string &first, const std::string &last,
        const std::string &target) {
         return std::vector<std::string>{src, "1", "7", first, last, target};
     }},
};

// Period 1 of a year with periods of seven days.
std::string periodFile(const TempDir &dir, int year) {
    const std::string folder = dir.file("ndvi/" + std::to_string(year));
    std::filesystem::create_directories(folder);
    return folder + "/ndvi_01_" + std::to_string(year) + ".01.01_" + std::to_string(year) +
           ".01.07.hdf";
}

// The good year's NDVI: 3000 + 100 i in cell i.
std::vector<int16_t> goodYearNdvi() {
    std::vector<int16_t> ndvi;
    for (int i = 0; i < 12; ++i) {
        ndvi.push_back(static_cast<int16_t>(3000 + 100 * i));
    }
    return ndvi;
}

testsupport::EosGridSpec periodGrid() {
    testsupport::EosGridSpec grid = battery::int16Grid({"sur_ndvi_b02_b01"}, 4, 3, 0);
    grid.fields.front().data = testsupport::toBytes(goodYearNdvi());
    return grid;
}

// The extremes of the good year alone: with one value seen, it is the highest and the lowest, and
// the upper ranks of the minima repeat it.
void expectGoodYearOnly(const std::string &target) {
    const testsupport::EosGridRead out = testsupport::readEosGrid(target);
    for (const char *field : {"ndvi_min", "ndvi_max", "ndvi_min2", "ndvi_min3"}) {
        EXPECT_EQ(testsupport::fromBytes<int16_t>(testsupport::eosFieldOf(out, field).data),
                  goodYearNdvi())
            << field;
    }
}

// One good year (2019) and one damaged year (2020): the damaged one is named and skipped, the
// output holds the good year.
TEST(ExtremesBattery, DamagedYearIsSkipped) {
    const std::vector<std::pair<Damage, int64_t>> cases = {
        {Damage::Missing, 0},     {Damage::Empty, 0},     {Damage::Directory, 0},
        {Damage::RandomBytes, 0}, {Damage::Truncated, 4}, {Damage::Truncated, 300},
        {Damage::Truncated, -16},
    };
    for (const Form &form : kForms) {
        for (const auto &[damage, cut] : cases) {
            const TempDir dir;
            testsupport::writeEosFile(periodFile(dir, 2019), periodGrid());
            const std::string bad = periodFile(dir, 2020);
            battery::spoil(periodFile(dir, 2019), bad, damage, cut);
            const std::string target = dir.file("extremes.hdf");
            const auto result =
                battery::run(form.program, form.args(dir.file("ndvi"), "2019", "2020", target));
            const std::string what = std::string(form.name) + " " + battery::damageName(damage) +
                                     " " + std::to_string(cut);
            SCOPED_TRACE(what);
            EXPECT_EQ(result.status, 0) << result.out << result.err;
            EXPECT_NE(result.err.find(bad), std::string::npos) << result.err;
            expectGoodYearOnly(target);
        }
    }
}

// A year whose grid is not the expected one, or not the size of the first year's, is skipped too.
TEST(ExtremesBattery, ForeignYearIsSkipped) {
    for (const Form &form : kForms) {
        for (const GridFault fault :
             {GridFault::OtherGridName, GridFault::FieldMissing, GridFault::WrongType,
              GridFault::ThreeDimensions, GridFault::OtherSize}) {
            const TempDir dir;
            testsupport::writeEosFile(periodFile(dir, 2019), periodGrid());
            const std::string bad = periodFile(dir, 2020);
            testsupport::writeEosFile(bad, battery::withFault(periodGrid(), fault));
            const std::string target = dir.file("extremes.hdf");
            const auto result =
                battery::run(form.program, form.args(dir.file("ndvi"), "2019", "2020", target));
            const std::string what = std::string(form.name) + " " + battery::gridFaultName(fault);
            SCOPED_TRACE(what);
            EXPECT_EQ(result.status, 0) << result.out << result.err;
            EXPECT_NE(result.err.find(bad), std::string::npos) << result.err;
            expectGoodYearOnly(target);
        }
    }
}

// No usable year at all: a message, a non-zero status and no output.
TEST(ExtremesBattery, NoUsableYear) {
    for (const Form &form : kForms) {
        for (const GridFault fault : {GridFault::FieldMissing, GridFault::HugeSize}) {
            const TempDir dir;
            const std::string only = periodFile(dir, 2019);
            testsupport::writeEosFile(only, battery::withFault(periodGrid(), fault));
            const std::string target = dir.file("extremes.hdf");
            const auto result =
                battery::run(form.program, form.args(dir.file("ndvi"), "2019", "2019", target));
            battery::expectCleanFailure(result, {255, only, target},
                                        std::string(form.name) + " " +
                                            battery::gridFaultName(fault));
        }
    }
}

TEST(ExtremesBattery, GridLargerThanMemory) {
    for (const Form &form : kForms) {
        const TempDir dir;
        const std::string year = periodFile(dir, 2019);
        testsupport::writeEosFile(year, periodGrid());
        const std::string target = dir.file("extremes.hdf");
        const auto result =
            battery::run(form.program, form.args(dir.file("ndvi"), "2019", "2019", target),
                         {{"VEG_MEMAVAILABLE_BYTES", "10"}});
        battery::expectCleanFailure(result, {255, year, target}, form.name);
        EXPECT_NE(result.err.find(" needs "), std::string::npos) << result.err;
    }
}

TEST(ExtremesBattery, UnusableOutputPaths) {
    for (const Form &form : kForms) {
        const TempDir dir;
        testsupport::writeEosFile(periodFile(dir, 2019), periodGrid());
        testsupport::writeFile(dir.file("plain"), "a file, not a folder");
        for (const std::string &target :
             {dir.file("plain/extremes.hdf"), dir.file("missing-folder/extremes.hdf")}) {
            battery::expectCleanFailure(
                battery::run(form.program, form.args(dir.file("ndvi"), "2019", "2019", target)),
                {255, "create output to " + target + " failed.", target},
                std::string(form.name) + " " + target);
        }
    }
}

} // namespace
