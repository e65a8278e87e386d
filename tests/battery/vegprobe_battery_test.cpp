// vegprobe and vegprobe-point against damaged rasters and unusable result files. Their failures end
// with status 1, a message naming the raster or result file, and an empty result file.
#include "battery.h"

#include "support/geotiff.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

using battery::Damage;
using testsupport::TempDir;

void writeRaster(const std::string &path) {
    testsupport::RasterSpec rasterSpec;
    rasterSpec.width = 64;
    rasterSpec.height = 64;
    rasterSpec.geoTransform = {{0, 240, 0, 15360, 0, -240}};
    rasterSpec.wkt = "EPSG:5070";
    testsupport::writeByteGeoTiff(path, rasterSpec, std::vector<uint8_t>(64 * 64, 150));
}

struct Form {
    const char *name;
    const char *program;
    // Arguments for a raster and a result file.
    std::vector<std::string> (*args)(const std::string &raster, const std::string &result);
};

const Form kForms[] = {
    {"box", VEGPROBE_BIN,
     [](const std::string &raster, const std::string &result) {
         return std::vector<std::string>{"PIXEL", "1", "1", "4", "4", raster, result, "THREE_MAX"};
     }},
    {"point", VEGPROBE_POINT_BIN,
     [](const std::string &raster, const std::string &result) {
         return std::vector<std::string>{"PIXEL", "5", "5", raster, result, "THREE_MED"};
     }},
};

TEST(VegprobeBattery, GoodRasterGivesAValue) {
    for (const Form &form : kForms) {
        const TempDir dir;
        writeRaster(dir.file("ndvi.tif"));
        const auto result =
            battery::run(form.program, form.args(dir.file("ndvi.tif"), dir.file("value.txt")));
        EXPECT_EQ(result.status, 0) << form.name << result.out << result.err;
        EXPECT_EQ(testsupport::readFile(dir.file("value.txt")), "150") << form.name;
    }
}

TEST(VegprobeBattery, DamagedRasters) {
    const std::vector<std::pair<Damage, int64_t>> cases = {
        {Damage::Missing, 0},      {Damage::Empty, 0},     {Damage::Directory, 0},
        {Damage::RandomBytes, 0},  {Damage::Truncated, 8}, {Damage::Truncated, 200},
        {Damage::Truncated, -100},
    };
    for (const Form &form : kForms) {
        for (const auto &[damage, cut] : cases) {
            const TempDir dir;
            writeRaster(dir.file("good.tif"));
            const std::string raster = dir.file("bad.tif");
            battery::spoil(dir.file("good.tif"), raster, damage, cut);
            const std::string result = dir.file("value.txt");
            const std::string what = std::string(form.name) + " " + battery::damageName(damage) +
                                     " " + std::to_string(cut);
            battery::expectCleanFailure(battery::run(form.program, form.args(raster, result)),
                                        {1, raster, ""}, what);
            EXPECT_EQ(testsupport::readFile(result), "") << what;
        }
    }
}

// Windows and points outside the raster are refused without reading.
TEST(VegprobeBattery, PlacesOutsideTheRaster) {
    const TempDir dir;
    writeRaster(dir.file("ndvi.tif"));
    const std::string raster = dir.file("ndvi.tif");
    const std::string result = dir.file("value.txt");
    const std::vector<std::pair<const char *, std::vector<std::string>>> cases = {
        {VEGPROBE_BIN, {"PIXEL", "60", "60", "70", "70", raster, result, "ONE"}},
        {VEGPROBE_BIN, {"PIXEL", "5", "5", "5", "5", raster, result, "ONE"}},
        {VEGPROBE_BIN, {"PIXEL", "-3e9", "0", "3e9", "4", raster, result, "ONE"}},
        {VEGPROBE_POINT_BIN, {"PIXEL", "63", "63", raster, result, "THREE_MAX"}},
        {VEGPROBE_POINT_BIN, {"PIXEL", "1e300", "0", raster, result, "ONE"}},
    };
    for (const auto &[program, args] : cases) {
        const auto run = battery::run(program, args);
        battery::expectCleanFailure(run, {1, raster, ""}, args[1] + " " + args[2]);
        EXPECT_EQ(testsupport::readFile(result), "") << args[1];
    }
}

TEST(VegprobeBattery, UnusableResultFiles) {
    for (const Form &form : kForms) {
        const TempDir dir;
        writeRaster(dir.file("ndvi.tif"));
        testsupport::writeFile(dir.file("plain"), "a file, not a folder");
        for (const std::string &result :
             {dir.file("plain/value.txt"), dir.file("missing-folder/value.txt"), dir.path()}) {
            battery::expectCleanFailure(
                battery::run(form.program, form.args(dir.file("ndvi.tif"), result)),
                {1, result, result == dir.path() ? "" : result},
                std::string(form.name) + " " + result);
        }
    }
}

} // namespace
