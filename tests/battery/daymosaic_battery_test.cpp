// daymosaic against damaged tile lists, masks and tiles and unusable output paths. Every failure
// ends with status 255 and leaves nothing at the output name.
#include "battery.h"
#include "gridfixtures.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

using battery::Damage;
using battery::GridFault;
using testsupport::TempDir;

// A folder with a good mask, a list naming one tile (written by each case) and the output name.
struct DayFolder {
    TempDir dir;
    std::string list = dir.file("tiles.txt");
    std::string mask = dir.file("mask.hdf");
    std::string tile = dir.file("tile.hdf");
    std::string output = dir.file("ndvi.hdf");

    DayFolder() {
        testsupport::writeEosFile(mask, battery::uint8Grid({"sur_ndvi_b02_b01"}, 4, 3, 255));
        testsupport::writeFile(list, tile + "\n");
    }
    testsupport::RunResult run() const { return battery::run(DAYMOSAIC_BIN, {list, mask, output}); }
};

struct ListCase {
    const char *name;
    std::string content;
    std::string named; // what the messages must contain ("<list>" stands for the list's path;
                       // empty: binary tokens, whichever message they meet)
};

TEST(DaymosaicBattery, UnusableTileLists) {
    std::string tooMany;
    for (int i = 0; i < 33; ++i) {
        tooMany += "tile" + std::to_string(i) + ".hdf ";
    }
    const std::string overlong = std::string(5000, 't') + ".hdf";
    const std::vector<ListCase> cases = {
        {"missing", "", "Failed to open the input parameters file <list>"},
        {"directory", "", "No files to be processed."},
        {"empty", "", "No files to be processed."},
        {"blanks only", "\n \t \n", "No files to be processed."},
        {"binary", battery::noise(2000, 11), ""},
        {"overlong path", overlong, "Open file or get info for " + overlong + " failed."},
        {"33 paths", tooMany, "Error: more than maximum number of files=32."},
    };
    for (const ListCase &c : cases) {
        DayFolder s;
        const std::string name = c.name;
        if (name == "missing" || name == "directory") {
            battery::spoil("", s.list, name == "missing" ? Damage::Missing : Damage::Directory);
        } else {
            testsupport::writeFile(s.list, c.content);
        }
        std::string named = c.named;
        const size_t at = named.find("<list>");
        if (at != std::string::npos) {
            named.replace(at, 6, s.list);
        }
        battery::expectCleanFailure(s.run(), {255, named, s.output}, c.name);
    }
}

TEST(DaymosaicBattery, DamagedMasks) {
    const std::vector<std::pair<Damage, int64_t>> cases = {
        {Damage::Missing, 0},     {Damage::Empty, 0},     {Damage::Directory, 0},
        {Damage::RandomBytes, 0}, {Damage::Truncated, 4}, {Damage::Truncated, 300},
        {Damage::Truncated, -16},
    };
    for (const auto &[damage, cut] : cases) {
        DayFolder s;
        const std::string bad = s.dir.file("bad-mask.hdf");
        battery::spoil(s.mask, bad, damage, cut);
        s.mask = bad;
        const auto result = s.run();
        const std::string what =
            std::string(battery::damageName(damage)) + " " + std::to_string(cut);
        // A mask cut inside its data opens but cannot be read; that message names no file.
        const bool unread =
            result.out.find("Failed to read the mask value to buffer.") != std::string::npos;
        battery::expectCleanFailure(result, {255, unread ? "" : bad, s.output}, what);
    }
}

struct WrongMask {
    GridFault fault;
    std::string message; // "<mask>" stands for the mask's path
};

TEST(DaymosaicBattery, MasksWithoutTheExpectedContent) {
    const std::vector<WrongMask> cases = {
        {GridFault::OtherGridName, "Open file or get info for <mask> failed."},
        {GridFault::FieldMissing, "Open file or get info for <mask> failed."},
        {GridFault::WrongType, "Failed to read the mask value to buffer."},
        {GridFault::ThreeDimensions, "Unknown order = Band,YDim,XDim"},
        {GridFault::HugeSize, "<mask>"},
    };
    for (const WrongMask &c : cases) {
        DayFolder s;
        testsupport::writeEosFile(
            s.mask,
            battery::withFault(battery::uint8Grid({"sur_ndvi_b02_b01"}, 4, 3, 255), c.fault));
        std::string named = c.message;
        const size_t at = named.find("<mask>");
        if (at != std::string::npos) {
            named.replace(at, 6, s.mask);
        }
        battery::expectCleanFailure(s.run(), {255, named, s.output},
                                    battery::gridFaultName(c.fault));
    }
}

// A tile that cannot be opened or queried fails the day: no partial mosaic is left behind.
TEST(DaymosaicBattery, DamagedTiles) {
    for (const Damage damage :
         {Damage::Missing, Damage::Empty, Damage::Directory, Damage::RandomBytes}) {
        DayFolder s;
        battery::spoil("", s.tile, damage);
        battery::expectCleanFailure(
            s.run(), {255, "Open file or get info for " + s.tile + " failed.", s.output},
            battery::damageName(damage));
    }
    // A tile without the reflectance grid's fields.
    DayFolder s;
    testsupport::writeEosFile(s.tile, battery::int16Grid({"sur_refl_b01_1"}, 4, 3, 100));
    battery::expectCleanFailure(s.run(), {255, s.tile, s.output}, "tile without its fields");
}

TEST(DaymosaicBattery, GridLargerThanMemory) {
    DayFolder s;
    const auto result =
        battery::run(DAYMOSAIC_BIN, {s.list, s.mask, s.output}, {{"VEG_MEMAVAILABLE_BYTES", "10"}});
    battery::expectCleanFailure(result, {255, s.mask, s.output}, "memory");
    EXPECT_NE(result.out.find(" (4 x 3) needs 180 bytes of memory; 10 are available."),
              std::string::npos)
        << result.out;
}

TEST(DaymosaicBattery, UnusableOutputPaths) {
    DayFolder s;
    testsupport::writeFile(s.dir.file("plain"), "a file, not a folder");
    for (const std::string &output :
         {s.dir.file("plain/ndvi.hdf"), s.dir.file("missing-folder/ndvi.hdf")}) {
        s.output = output;
        battery::expectCleanFailure(
            s.run(), {255, "Failed to create output file/grid/field " + output, output}, output);
    }
}

} // namespace
