// dailyvci against damaged daily files and unusable output paths.
#include "battery.h"
#include "gridfixtures.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using battery::Damage;
using battery::GridFault;
using testsupport::TempDir;

// The daily file of a date ("yyyy.mm.dd") under the source folder, its folder made.
std::string dailyFile(const TempDir &dir, const std::string &date) {
    const std::string folder = dir.file("daily/" + date);
    std::filesystem::create_directories(folder);
    return folder + "/NDVI" + date + ".hdf";
}

testsupport::EosGridSpec dailyGrid() { return battery::uint8Grid({"sur_ndvi_b02_b01"}, 4, 3, 180); }

testsupport::RunResult runDailyVci(const TempDir &dir, const std::string &target) {
    return battery::run(DAILYVCI_BIN, {dir.file("daily"), "2020.01.01", "2020.01.01", "1", target});
}

// Two earlier years at 100 and 200 everywhere; the current day runs through the scale, past both
// ends of the history and onto the no-value (255) and bad (253) markers.
TEST(DailyvciBattery, GoodFilesMakeAnOutput) {
    const TempDir dir;
    testsupport::writeEosFile(dailyFile(dir, "2018.01.01"),
                              battery::uint8Grid({"sur_ndvi_b02_b01"}, 4, 3, 100));
    testsupport::writeEosFile(dailyFile(dir, "2019.01.01"),
                              battery::uint8Grid({"sur_ndvi_b02_b01"}, 4, 3, 200));
    testsupport::EosGridSpec current = dailyGrid();
    current.fields.front().data = {100, 150, 200, 130, 101, 199, 250, 0, 255, 253, 175, 110};
    testsupport::writeEosFile(dailyFile(dir, "2020.01.01"), current);
    const std::string target = dir.file("vci.hdf");
    const auto result =
        battery::run(DAILYVCI_BIN, {dir.file("daily"), "2020.01.01", "2020.01.01", "2", target});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    // (W - lowest) / (highest - lowest) x 250, truncated; 255 where the day has no value.
    const std::vector<uint8_t> expected = {0, 125, 250, 75, 2, 247, 250, 0, 255, 255, 187, 25};
    EXPECT_EQ(testsupport::eosFieldOf(testsupport::readEosGrid(target), "sur_ndvi_b02_b01").data,
              expected);
}

TEST(DailyvciBattery, GridLargerThanMemory) {
    const TempDir dir;
    const std::string day = dailyFile(dir, "2019.01.01");
    testsupport::writeEosFile(day, dailyGrid());
    const std::string target = dir.file("vci.hdf");
    const auto result =
        battery::run(DAILYVCI_BIN, {dir.file("daily"), "2020.01.01", "2020.01.01", "1", target},
                     {{"VEG_MEMAVAILABLE_BYTES", "10"}});
    battery::expectCleanFailure(result, {255, day, target}, "memory");
    EXPECT_NE(result.out.find(" (4 x 3) needs "), std::string::npos) << result.out;
}

// When no daily file of the run can be used there is nothing to compute: a message naming the
// files, a non-zero status and no output.
TEST(DailyvciBattery, NoUsableDailyFile) {
    const std::vector<std::pair<Damage, int64_t>> cases = {
        {Damage::Missing, 0},     {Damage::Empty, 0},     {Damage::Directory, 0},
        {Damage::RandomBytes, 0}, {Damage::Truncated, 4}, {Damage::Truncated, 300},
    };
    for (const auto &[damage, cut] : cases) {
        const TempDir dir;
        const std::string good = dir.file("good.hdf");
        testsupport::writeEosFile(good, dailyGrid());
        for (const std::string date : {"2019.01.01", "2020.01.01"}) {
            battery::spoil(good, dailyFile(dir, date), damage, cut);
        }
        const std::string target = dir.file("vci.hdf");
        const auto result = runDailyVci(dir, target);
        const std::string what =
            std::string(battery::damageName(damage)) + " " + std::to_string(cut);
        battery::expectCleanFailure(result, {255, dailyFile(dir, "2020.01.01"), target}, what);
    }
    for (const GridFault fault :
         {GridFault::OtherGridName, GridFault::FieldMissing, GridFault::HugeSize}) {
        const TempDir dir;
        for (const std::string date : {"2019.01.01", "2020.01.01"}) {
            testsupport::writeEosFile(dailyFile(dir, date), battery::withFault(dailyGrid(), fault));
        }
        const std::string target = dir.file("vci.hdf");
        // A grid too large to hold stops the run at the first file, which the message names.
        const std::string named =
            dailyFile(dir, fault == GridFault::HugeSize ? "2019.01.01" : "2020.01.01");
        battery::expectCleanFailure(runDailyVci(dir, target), {255, named, target},
                                    battery::gridFaultName(fault));
    }
}

TEST(DailyvciBattery, UnusableOutputPaths) {
    const TempDir dir;
    testsupport::writeEosFile(dailyFile(dir, "2019.01.01"), dailyGrid());
    testsupport::writeEosFile(dailyFile(dir, "2020.01.01"), dailyGrid());
    testsupport::writeFile(dir.file("plain"), "a file, not a folder");
    for (const std::string &target :
         {dir.file("plain/vci.hdf"), dir.file("missing-folder/vci.hdf")}) {
        battery::expectCleanFailure(runDailyVci(dir, target), {255, target, target}, target);
    }
}

} // namespace
