// conditionmap against damaged extremes and NDVI grids and unusable output paths.
#include "battery.h"
#include "gridfixtures.h"

#include "support/process.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

using battery::Damage;
using battery::GridFault;
using testsupport::TempDir;

const std::vector<std::string> kExtremesFields = {"ndvi_min", "ndvi_max", "ndvi_min2", "ndvi_min3"};

struct Inputs {
    std::string extremes;
    std::string ndvi;
    std::string output;
};

// Every cell has the base minimum 1000 and the maximum 7000; the NDVI of cell i is 1000 above the
// base times (i mod 7), so that the cells run through the whole scale.
testsupport::EosGridSpec extremesGrid() {
    testsupport::EosGridSpec grid = battery::int16Grid(kExtremesFields, 4, 3, 1000);
    grid.fields[1] = battery::int16Grid({"ndvi_max"}, 4, 3, 7000).fields.front();
    return grid;
}

testsupport::EosGridSpec ndviGrid() {
    testsupport::EosGridSpec grid = battery::int16Grid({"sur_ndvi_b02_b01"}, 4, 3, 0);
    std::vector<int16_t> ndvi;
    for (int i = 0; i < 12; ++i) {
        ndvi.push_back(static_cast<int16_t>(1000 + 1000 * (i % 7)));
    }
    grid.fields.front().data = testsupport::toBytes(ndvi);
    return grid;
}

Inputs goodInputs(const TempDir &dir) {
    Inputs in{dir.file("extremes.hdf"), dir.file("ndvi.hdf"), dir.file("vci.hdf")};
    testsupport::writeEosFile(in.extremes, extremesGrid());
    testsupport::writeEosFile(in.ndvi, ndviGrid());
    return in;
}

testsupport::RunResult runConditionmap(const Inputs &in) {
    return battery::run(CONDITIONMAP_BIN, {in.extremes, in.ndvi, in.output});
}

TEST(ConditionmapBattery, GoodInputsMakeAnOutput) {
    const TempDir dir;
    const Inputs in = goodInputs(dir);
    const auto result = runConditionmap(in);
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    // (n - 1000) / 6000 of the scale for n - 1000 = 0, 1000, ..., 6000, worked out by hand.
    const int16_t vci16[7] = {-10000, -6666, -3333, 0, 3333, 6666, 10000};
    const uint8_t vci8[7] = {0, 41, 83, 125, 166, 208, 250};
    std::vector<int16_t> expected16;
    std::vector<uint8_t> expected8;
    for (int i = 0; i < 12; ++i) {
        expected16.push_back(vci16[i % 7]);
        expected8.push_back(vci8[i % 7]);
    }
    const testsupport::EosGridRead out = testsupport::readEosGrid(in.output);
    EXPECT_EQ(testsupport::fromBytes<int16_t>(testsupport::eosFieldOf(out, "sur_vci_b02_b01").data),
              expected16);
    EXPECT_EQ(testsupport::eosFieldOf(out, "sur_vci_b02_b01_8bit").data, expected8);
}

struct DamagedFile {
    bool extremes; // which input is damaged
    Damage damage;
    int64_t cut;
};

// An input that cannot be opened or queried stops the run before any output.
TEST(ConditionmapBattery, DamagedInputFiles) {
    const std::vector<DamagedFile> cases = {
        {true, Damage::Missing, 0},    {true, Damage::Empty, 0},
        {true, Damage::Directory, 0},  {true, Damage::RandomBytes, 0},
        {true, Damage::Truncated, 4},  {true, Damage::Truncated, 300},
        {false, Damage::Missing, 0},   {false, Damage::Empty, 0},
        {false, Damage::Directory, 0}, {false, Damage::RandomBytes, 0},
        {false, Damage::Truncated, 4}, {false, Damage::Truncated, 300},
    };
    for (const DamagedFile &c : cases) {
        const TempDir dir;
        Inputs in = goodInputs(dir);
        const std::string good = c.extremes ? in.extremes : in.ndvi;
        std::string &target = c.extremes ? in.extremes : in.ndvi;
        target = dir.file(c.extremes ? "bad-extremes.hdf" : "bad-ndvi.hdf");
        battery::spoil(good, target, c.damage, c.cut);
        battery::expectCleanFailure(runConditionmap(in), {255, target, in.output},
                                    std::string(c.extremes ? "extremes " : "ndvi ") +
                                        battery::damageName(c.damage) + " " +
                                        std::to_string(c.cut));
    }
}

// A file cut inside its data opens, but its fields cannot be read: the run goes on and ends with
// "Failed." and status 1, or stops at the query with 255 and no output.
TEST(ConditionmapBattery, FilesCutInsideTheirData) {
    for (const bool extremes : {true, false}) {
        for (const int64_t cut : {int64_t{-16}, int64_t{-600}}) {
            const TempDir dir;
            Inputs in = goodInputs(dir);
            std::string &target = extremes ? in.extremes : in.ndvi;
            const std::string good = target;
            target = dir.file("cut.hdf");
            battery::spoil(good, target, Damage::Truncated, cut);
            const auto result = runConditionmap(in);
            const std::string what =
                (extremes ? "extremes cut " : "ndvi cut ") + std::to_string(cut);
            if (result.status == 1) {
                SCOPED_TRACE(what);
                EXPECT_NE(result.err.find(target), std::string::npos) << result.err;
                EXPECT_TRUE(battery::endsWith(result.out, "Failed.\n")) << "stdout:\n"
                                                                        << result.out << "stderr:\n"
                                                                        << result.err;
            } else {
                battery::expectCleanFailure(result, {255, target, in.output}, what);
            }
        }
    }
}

struct WrongGrid {
    bool extremes;
    GridFault fault;
    bool readFailure; // the grid opens but its fields cannot be read as 16-bit grids
};

// A grid that cannot be opened or queried stops the run (255, no output). A field that is queried
// but cannot be read as a 16-bit grid is a read failure: the run goes on with no-data cells and
// ends with "Failed." and status 1. An NDVI field of three dimensions also hands its dimension list
// to the output, which then cannot be defined: 255 and no output.
TEST(ConditionmapBattery, GridsWithoutTheExpectedContent) {
    const std::vector<WrongGrid> cases = {
        {true, GridFault::OtherGridName, false},    {true, GridFault::FieldMissing, false},
        {true, GridFault::WrongType, true},         {true, GridFault::ThreeDimensions, true},
        {true, GridFault::HugeSize, false},         {false, GridFault::OtherGridName, false},
        {false, GridFault::FieldMissing, false},    {false, GridFault::WrongType, true},
        {false, GridFault::ThreeDimensions, false}, {false, GridFault::OtherSize, false},
        {false, GridFault::HugeSize, false},
    };
    for (const WrongGrid &c : cases) {
        const TempDir dir;
        Inputs in = goodInputs(dir);
        std::string &target = c.extremes ? in.extremes : in.ndvi;
        target = dir.file("wrong.hdf");
        testsupport::writeEosFile(
            target, battery::withFault(c.extremes ? extremesGrid() : ndviGrid(), c.fault));
        const std::string what =
            std::string(c.extremes ? "extremes " : "ndvi ") + battery::gridFaultName(c.fault);
        const auto result = runConditionmap(in);
        if (c.readFailure) {
            battery::expectCleanFailure(result, {1, "read data from " + target + " failed.", ""},
                                        what);
            EXPECT_TRUE(battery::endsWith(result.out, "Failed.\n")) << what;
        } else {
            battery::expectCleanFailure(result, {255, target, in.output}, what);
        }
    }
}

TEST(ConditionmapBattery, UnusableOutputPaths) {
    const TempDir dir;
    Inputs in = goodInputs(dir);
    testsupport::writeFile(dir.file("plain"), "a file, not a folder");
    for (const std::string &output :
         {dir.file("plain/vci.hdf"), dir.file("missing-folder/vci.hdf"), dir.path()}) {
        in.output = output;
        const auto result = runConditionmap(in);
        battery::expectCleanFailure(result, {255, output, output == dir.path() ? "" : output},
                                    "output " + output);
    }
}

} // namespace

namespace {

// Paths longer than the HDF-EOS library can take are refused with the usual messages.
TEST(ConditionmapBattery, OverlongPaths) {
    const TempDir dir;
    const Inputs good = goodInputs(dir);
    const std::string longName = dir.file(std::string(600, 'n') + ".hdf");
    struct Case {
        Inputs in;
        std::string named;
    };
    const std::vector<Case> cases = {
        {{longName, good.ndvi, good.output}, "open file or get info for " + longName},
        {{good.extremes, longName, good.output}, "open file or get info for " + longName},
        {{good.extremes, good.ndvi, longName}, "create output vci to " + longName},
    };
    for (const Case &c : cases) {
        battery::expectCleanFailure(runConditionmap(c.in), {255, c.named, good.output},
                                    c.named.substr(0, 30));
    }
}

} // namespace

namespace {

// An extremes grid of 100000 x 100000 cells (its fields defined, never written, so the file stays
// small) needs 13 bytes a cell, more than the machine has: the run stops before allocating.
TEST(ConditionmapBattery, GridsLargerThanMemory) {
    const TempDir dir;
    Inputs in = goodInputs(dir);
    in.extremes = dir.file("huge-extremes.hdf");
    testsupport::EosGridSpec huge = testsupport::sinusoidalGrid(100000, 100000);
    for (const std::string &name : kExtremesFields) {
        testsupport::EosField field;
        field.name = name;
        huge.fields.push_back(field);
    }
    testsupport::writeEosFile(in.extremes, huge);
    const testsupport::RunResult result = runConditionmap(in);
    battery::expectCleanFailure(result, {255, in.extremes, in.output}, "100000 x 100000");
    EXPECT_NE(result.err.find(" (100000 x 100000) needs 130000000000 bytes of memory; "),
              std::string::npos)
        << result.err;
}

} // namespace

namespace {

// A VCI that passes the largest file the process may write (here a file size limit of 64 kB
// stands in for HDF4's 2 GiB) stops with the write message, says which limit was reached, and
// leaves no output and no temporary file.
TEST(ConditionmapBattery, OutputPastTheFileSizeLimit) {
    const TempDir dir;
    Inputs in{dir.file("extremes.hdf"), dir.file("ndvi.hdf"), dir.file("vci.hdf")};
    constexpr int kSide = 300;
    testsupport::EosGridSpec extremes = battery::int16Grid(kExtremesFields, kSide, kSide, 1000);
    extremes.fields[1] = battery::int16Grid({"ndvi_max"}, kSide, kSide, 9000).fields.front();
    testsupport::writeEosFile(in.extremes, extremes);
    testsupport::EosGridSpec ndvi = battery::int16Grid({"sur_ndvi_b02_b01"}, kSide, kSide, 0);
    const std::string noise = battery::noise(kSide * kSide * 2, 11);
    std::vector<int16_t> values(kSide * kSide);
    for (size_t i = 0; i < values.size(); ++i) {
        const unsigned twoBytes =
            static_cast<uint8_t>(noise[2 * i]) * 256u + static_cast<uint8_t>(noise[2 * i + 1]);
        values[i] = static_cast<int16_t>(1000 + twoBytes % 8001);
    }
    ndvi.fields.front().data = testsupport::toBytes(values);
    testsupport::writeEosFile(in.ndvi, ndvi);

    const testsupport::RunResult result =
        battery::run("/usr/bin/prlimit",
                     {"--fsize=65536", "--", CONDITIONMAP_BIN, in.extremes, in.ndvi, in.output});
    battery::expectCleanFailure(result, {255, in.output, in.output}, "file size limit");
    EXPECT_EQ(result.err, "write VCI data to " + in.output + " failed.\n" + in.output +
                              " reached the file size limit of this process (65536 bytes, ulimit "
                              "-f); raise it, or cut the area into smaller regions.\n");
}

} // namespace
