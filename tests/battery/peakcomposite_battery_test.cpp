// peakcomposite against damaged list files, damaged and wrongly shaped inputs and unusable output
// paths.
#include "battery.h"
#include "gridfixtures.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using battery::Damage;
using battery::GridFault;
using testsupport::TempDir;

// A daily NDVI grid as the compositor reads it: the 16-bit and the 8-bit NDVI field.
testsupport::EosGridSpec dailyGrid(int32_t columns, int32_t rows) {
    testsupport::EosGridSpec grid = battery::int16Grid({"sur_ndvi_b02_b01"}, columns, rows, 4000);
    const testsupport::EosGridSpec bytes =
        battery::uint8Grid({"sur_ndvi_b02_b01_8bit"}, columns, rows, 175);
    grid.fields.push_back(bytes.fields.front());
    return grid;
}

testsupport::RunResult runComposite(const std::string &list, const std::string &output) {
    return battery::run(PEAKCOMPOSITE_BIN, {list, output});
}

// The first day holds 4000 (8-bit 175) everywhere, the second 3000 + 200 i (170 + i) in cell i:
// each cell keeps the higher value of the two and the list position of the day that gave it.
TEST(PeakcompositeBattery, GoodListMakesAnOutput) {
    const TempDir dir;
    testsupport::writeEosFile(dir.file("day1.hdf"), dailyGrid(4, 3));
    testsupport::EosGridSpec day2 = dailyGrid(4, 3);
    std::vector<int16_t> ndvi2;
    std::vector<uint8_t> bytes2;
    std::vector<int16_t> expected16;
    std::vector<uint8_t> expected8, expectedPosition;
    for (int i = 0; i < 12; ++i) {
        ndvi2.push_back(static_cast<int16_t>(3000 + 200 * i));
        bytes2.push_back(static_cast<uint8_t>(170 + i));
        expected16.push_back(std::max<int16_t>(4000, ndvi2.back()));
        expected8.push_back(std::max<uint8_t>(175, bytes2.back()));
        expectedPosition.push_back(ndvi2.back() > 4000 ? 2 : 1);
    }
    day2.fields[0].data = testsupport::toBytes(ndvi2);
    day2.fields[1].data = bytes2;
    testsupport::writeEosFile(dir.file("day2.hdf"), day2);
    testsupport::writeFile(dir.file("list.txt"),
                           dir.file("day1.hdf") + "\n" + dir.file("day2.hdf") + "\n");
    const auto result = runComposite(dir.file("list.txt"), dir.file("out.hdf"));
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const testsupport::EosGridRead out = testsupport::readEosGrid(dir.file("out.hdf"));
    EXPECT_EQ(
        testsupport::fromBytes<int16_t>(testsupport::eosFieldOf(out, "sur_ndvi_b02_b01").data),
        expected16);
    EXPECT_EQ(testsupport::eosFieldOf(out, "sur_ndvi_b02_b01_8bit").data, expected8);
    EXPECT_EQ(testsupport::eosFieldOf(out, "sur_ndvi_b02_b01_qc").data, expectedPosition);
}

struct ListCase {
    const char *name;
    Damage damage;       // Missing and Directory: the list itself; otherwise the list is written
    std::string content; // the list's bytes when written
};

// Every unusable list ends the run early, naming the list, with no output.
// A grid whose arrays need more memory than there is stops the run before anything is allocated.
TEST(PeakcompositeBattery, GridLargerThanMemory) {
    const TempDir dir;
    testsupport::writeEosFile(dir.file("day1.hdf"), dailyGrid(4, 3));
    testsupport::writeFile(dir.file("list.txt"), dir.file("day1.hdf") + "\n");
    const auto result = battery::run(PEAKCOMPOSITE_BIN, {dir.file("list.txt"), dir.file("out.hdf")},
                                     {{"VEG_MEMAVAILABLE_BYTES", "10"}});
    battery::expectCleanFailure(result, {255, dir.file("day1.hdf"), dir.file("out.hdf")}, "memory");
    EXPECT_NE(result.err.find(" (4 x 3) needs "), std::string::npos) << result.err;
}

TEST(PeakcompositeBattery, UnusableListFiles) {
    std::string tooMany;
    for (int i = 0; i < 251; ++i) {
        tooMany += "day" + std::to_string(i) + ".hdf\n";
    }
    const std::vector<ListCase> cases = {
        {"missing", Damage::Missing, ""},
        {"directory", Damage::Directory, ""},
        {"empty", Damage::Empty, ""},
        {"blanks only", Damage::Empty, " \n\t\n"},
        {"binary", Damage::RandomBytes, battery::noise(3000, 7)},
        {"overlong token", Damage::Empty, std::string(5000, 'x') + ".hdf"},
        {"251 entries", Damage::Empty, tooMany},
    };
    for (const ListCase &c : cases) {
        const TempDir dir;
        const std::string list = dir.file("list.txt");
        if (c.damage == Damage::Missing || c.damage == Damage::Directory) {
            battery::spoil("", list, c.damage);
        } else {
            testsupport::writeFile(list, c.content);
        }
        battery::expectCleanFailure(runComposite(list, dir.file("out.hdf")),
                                    {255, list, dir.file("out.hdf")}, c.name);
    }
}

// An input that cannot be opened or queried is skipped with a warning naming it; a list of nothing
// else ends early without output.
TEST(PeakcompositeBattery, DamagedInputsAreSkipped) {
    const std::vector<std::pair<Damage, int64_t>> cases = {
        {Damage::Missing, 0},     {Damage::Empty, 0},     {Damage::Directory, 0},
        {Damage::RandomBytes, 0}, {Damage::Truncated, 4}, {Damage::Truncated, 300},
        {Damage::Truncated, -16},
    };
    for (const auto &[damage, cut] : cases) {
        const TempDir dir;
        testsupport::writeEosFile(dir.file("good.hdf"), dailyGrid(4, 3));
        const std::string input = dir.file("bad.hdf");
        battery::spoil(dir.file("good.hdf"), input, damage, cut);
        testsupport::writeFile(dir.file("list.txt"), input + "\n");
        const auto result = runComposite(dir.file("list.txt"), dir.file("out.hdf"));
        const std::string what =
            std::string(battery::damageName(damage)) + " " + std::to_string(cut);
        if (result.err.find("read data from " + input + " failed.") != std::string::npos) {
            // Cut inside the data: opened and queried, but not read.
            battery::expectCleanFailure(result, {255, input, dir.file("out.hdf")}, what);
        } else {
            battery::expectCleanFailure(result, {255, input, dir.file("out.hdf")}, what);
            EXPECT_NE(result.err.find("Warning: failed at opening file or get info for " + input),
                      std::string::npos)
                << what << "\n"
                << result.err;
        }
    }
}

// Two damaged inputs that each open cleanly on their own, but whose second crashes HDF4 once the
// first was read in the same process: the second is found by the probe of the series and skipped,
// the first is composited.
TEST(PeakcompositeBattery, DamagedInputsReadInTurn) {
    const TempDir dir;
    const std::string known = std::string(VEG_SOURCE_DIR) + "/tests/fuzz/known/";
    const std::string first = known + "state-carried-over-first.hdf";
    const std::string second = known + "state-carried-over-second.hdf";
    testsupport::writeFile(dir.file("list.txt"), first + "\n" + second + "\n");
    const auto result = runComposite(dir.file("list.txt"), dir.file("out.hdf"));
    ASSERT_GE(result.status, 0) << "killed by signal " << -result.status << "\n" << result.err;
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "Warning: failed at opening file or get info for " + second + " from " +
                              dir.file("list.txt") + ".\n");
    EXPECT_TRUE(testsupport::fileExists(dir.file("out.hdf")));
}

struct WrongGrid {
    GridFault fault;
    const char *message; // what the messages say about the input
};

TEST(PeakcompositeBattery, GridsWithoutTheExpectedContent) {
    const std::vector<WrongGrid> cases = {
        {GridFault::OtherGridName, "Warning: failed at opening file or get info for "},
        {GridFault::FieldMissing, "Warning: failed at opening file or get info for "},
        {GridFault::WrongType, "read data from "},
        {GridFault::ThreeDimensions, "read data from "},
        {GridFault::HugeSize, ""},
    };
    for (const WrongGrid &c : cases) {
        const TempDir dir;
        const std::string input = dir.file("wrong.hdf");
        testsupport::writeEosFile(input, battery::withFault(dailyGrid(4, 3), c.fault));
        testsupport::writeFile(dir.file("list.txt"), input + "\n");
        const auto result = runComposite(dir.file("list.txt"), dir.file("out.hdf"));
        battery::expectCleanFailure(result,
                                    {255, std::string(c.message) + input, dir.file("out.hdf")},
                                    battery::gridFaultName(c.fault));
    }
}

// An input on another grid than the first cannot be folded: it is skipped with a warning and the
// composite of the others is written.
TEST(PeakcompositeBattery, InputOfAnotherSizeIsSkipped) {
    const TempDir dir;
    testsupport::writeEosFile(dir.file("day1.hdf"), dailyGrid(4, 3));
    testsupport::writeEosFile(dir.file("day2.hdf"),
                              battery::withFault(dailyGrid(4, 3), GridFault::OtherSize));
    testsupport::writeFile(dir.file("list.txt"),
                           dir.file("day1.hdf") + "\n" + dir.file("day2.hdf") + "\n");
    const auto result = runComposite(dir.file("list.txt"), dir.file("out.hdf"));
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(
        result.err.find("Warning: failed at opening file or get info for " + dir.file("day2.hdf")),
        std::string::npos)
        << result.err;
    EXPECT_EQ(testsupport::readEosGrid(dir.file("out.hdf")).columns, 4);
}

// An output that cannot be created: "Failed." and status 1, nothing at the output name.
TEST(PeakcompositeBattery, UnusableOutputPaths) {
    const TempDir dir;
    testsupport::writeEosFile(dir.file("day1.hdf"), dailyGrid(4, 3));
    testsupport::writeFile(dir.file("list.txt"), dir.file("day1.hdf") + "\n");
    testsupport::writeFile(dir.file("plain"), "a file, not a folder");
    for (const std::string &output :
         {dir.file("plain/out.hdf"), dir.file("missing-folder/out.hdf")}) {
        battery::expectCleanFailure(runComposite(dir.file("list.txt"), output), {1, output, output},
                                    output);
    }
    const auto result = runComposite(dir.file("list.txt"), dir.path());
    battery::expectCleanFailure(result, {1, dir.path(), ""}, "output is a folder");
}

} // namespace
