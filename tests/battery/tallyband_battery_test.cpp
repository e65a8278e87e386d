// tallyband against damaged data and mask rasters and unusable report paths. A histogram that
// cannot be calculated ends with status 2 and reports that say so; nothing passes for a result.
#include "battery.h"

#include "support/geotiff.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace {

using battery::Damage;
using testsupport::TempDir;

void writeRaster(const std::string &path, uint8_t value) {
    testsupport::RasterSpec rasterSpec;
    rasterSpec.width = 64;
    rasterSpec.height = 64;
    rasterSpec.geoTransform = {{0, 250, 0, 16000, 0, -250}};
    rasterSpec.wkt = "EPSG:5070";
    testsupport::writeByteGeoTiff(path, rasterSpec, std::vector<uint8_t>(64 * 64, value));
}

struct StatsFolder {
    TempDir dir;
    std::string data = dir.file("ndvi.tif");
    std::string mask = dir.file("crops.tif");
    std::string csv = dir.file("report.csv");
    std::string json = dir.file("report.json");
    StatsFolder() {
        writeRaster(data, 180);
        writeRaster(mask, 1);
    }
    testsupport::RunResult run(bool withMask) const {
        std::vector<std::string> args = {"-t", "NDVI", "-c", csv, "-j", json};
        if (withMask) {
            args.insert(args.end(), {"-m", mask});
        }
        args.push_back(data);
        return battery::run(TALLYBAND_BIN, args);
    }
};

TEST(TallybandBattery, GoodRasterGivesAHistogram) {
    const StatsFolder s;
    const auto result = s.run(false);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(testsupport::readFile(s.json).find("\"success\":true"), std::string::npos);
}

TEST(TallybandBattery, DamagedDataAndMaskRasters) {
    const std::vector<std::pair<Damage, int64_t>> cases = {
        {Damage::Missing, 0},      {Damage::Empty, 0},     {Damage::Directory, 0},
        {Damage::RandomBytes, 0},  {Damage::Truncated, 8}, {Damage::Truncated, 300},
        {Damage::Truncated, -100},
    };
    for (const bool maskDamaged : {false, true}) {
        for (const auto &[damage, cut] : cases) {
            StatsFolder s;
            std::string &target = maskDamaged ? s.mask : s.data;
            const std::string bad = s.dir.file("bad.tif");
            battery::spoil(target, bad, damage, cut);
            target = bad;
            const std::string what = std::string(maskDamaged ? "mask " : "data ") +
                                     battery::damageName(damage) + " " + std::to_string(cut);
            battery::expectCleanFailure(s.run(maskDamaged), {2, bad, ""}, what);
            // The reports say that there is no result.
            EXPECT_NE(testsupport::readFile(s.json).find("\"success\":false"), std::string::npos)
                << what << "\n"
                << testsupport::readFile(s.json);
        }
    }
}

TEST(TallybandBattery, UnusableReportPaths) {
    StatsFolder s;
    testsupport::writeFile(s.dir.file("plain"), "a file, not a folder");
    for (const std::string &report :
         {s.dir.file("plain/report"), s.dir.file("missing-folder/report"), s.dir.path()}) {
        s.csv = report + (report == s.dir.path() ? "" : ".csv");
        s.json = s.dir.file("report.json");
        battery::expectCleanFailure(s.run(false), {2, s.csv, report == s.dir.path() ? "" : s.csv},
                                    s.csv);
        s.csv = s.dir.file("report.csv");
        s.json = report + (report == s.dir.path() ? "" : ".json");
        battery::expectCleanFailure(s.run(false), {2, s.json, report == s.dir.path() ? "" : s.json},
                                    s.json);
    }
}

} // namespace
