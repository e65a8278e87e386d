// cropshare and cropshare-basic against damaged rasters and county files, one input damaged at a
// time with the other two good. A clip that cannot be made ends the run with status 1 and a
// message; no percentage raster is left behind and the average file stays empty.
#include "battery.h"

#include "support/geotiff.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using battery::Damage;
using testsupport::TempDir;

// Names of the GeoTIFF files and of temporary output files in a folder.
std::set<std::string> rastersIn(const std::string &folder) {
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".tif" || name.compare(0, 4, ".tmp") == 0) {
            names.insert(name);
        }
    }
    return names;
}

// Good inputs: the county 19153 is the rectangle (0, 0)-(960, 480) in Albers metres; the NDVI
// raster (240 m) and the crop raster (30 m) reach two NDVI cells beyond it on every side.
struct Inputs {
    std::string county, ndvi, crops;

    explicit Inputs(const TempDir &dir)
        : county(dir.file("counties.json")), ndvi(dir.file("in-ndvi.tif")),
          crops(dir.file("in-crops.tif")) {
        testsupport::writeFile(county, R"({"type": "FeatureCollection", "name": "conus_counties",
"crs": {"type": "name", "properties": {"name": "urn:ogc:def:crs:EPSG::5070"}},
"features": [{"type": "Feature", "properties": {"FIPS": "19153"}, "geometry": {"type": "Polygon",
"coordinates": [[[0, 0], [0, 480], [960, 480], [960, 0], [0, 0]]]}}]})");
        testsupport::RasterSpec shape;
        shape.width = 8;
        shape.height = 6;
        shape.geoTransform = {{-480, 240, 0, 960, 0, -240}};
        shape.wkt = "EPSG:5070";
        testsupport::writeByteGeoTiff(ndvi, shape, std::vector<uint8_t>(8 * 6, 100));
        shape.width = 64;
        shape.height = 48;
        shape.geoTransform = {{-480, 30, 0, 960, 0, -30}};
        testsupport::writeByteGeoTiff(crops, shape, std::vector<uint8_t>(64 * 48, 1));
    }
};

std::vector<std::string> arguments(const Inputs &in, const std::string &work, bool basic,
                                   const std::string &average) {
    std::vector<std::string> args = {in.county, "19153", in.ndvi, in.crops, "1", work + "/", "20"};
    if (!basic) {
        args.push_back(average);
    }
    return args;
}

TEST(CropshareBattery, GoodInputsMakeAPercentageRaster) {
    for (const bool basic : {false, true}) {
        const TempDir dir;
        const Inputs in(dir);
        const std::string work = dir.file("work");
        std::filesystem::create_directory(work);
        const auto result = battery::run(basic ? CROPSHARE_BASIC_BIN : CROPSHARE_BIN,
                                         arguments(in, work, basic, dir.file("average.txt")));
        ASSERT_EQ(result.status, 0) << result.out << result.err;
        const std::string percent = "generatedPercent-FIPS-19153-CropCode-1-PercentFilter-20.tif";
        EXPECT_EQ(testsupport::readByteBand(work + "/" + percent), std::vector<uint8_t>(4 * 2, 100))
            << basic;
        if (basic) {
            EXPECT_EQ(rastersIn(work),
                      (std::set<std::string>{percent, "in-ndvi-19153.tif", "in-crops-19153.tif"}));
        } else {
            EXPECT_EQ(rastersIn(work), std::set<std::string>{percent});
            EXPECT_EQ(testsupport::readFile(dir.file("average.txt")), "100");
        }
    }
}

TEST(CropshareBattery, DamagedInputs) {
    enum class Role { County, Ndvi, Crops };
    const std::vector<std::pair<Role, Damage>> cases = {
        {Role::County, Damage::Missing}, {Role::County, Damage::RandomBytes},
        {Role::Ndvi, Damage::Missing},   {Role::Ndvi, Damage::Empty},
        {Role::Ndvi, Damage::Directory}, {Role::Ndvi, Damage::RandomBytes},
        {Role::Crops, Damage::Missing},  {Role::Crops, Damage::RandomBytes},
    };
    for (const bool basic : {false, true}) {
        for (const auto &[role, damage] : cases) {
            const TempDir dir;
            Inputs in(dir);
            const std::string work = dir.file("work");
            std::filesystem::create_directory(work);
            std::string &bad = role == Role::County ? in.county
                               : role == Role::Ndvi ? in.ndvi
                                                    : in.crops;
            const std::string good = bad;
            bad = dir.file("bad-" + std::filesystem::path(good).filename().string());
            battery::spoil(good, bad, damage);
            const std::string average = dir.file("average.txt");
            const auto result = battery::run(basic ? CROPSHARE_BASIC_BIN : CROPSHARE_BIN,
                                             arguments(in, work, basic, average));
            const std::string what =
                std::string(basic ? "basic " : "full ") + bad + " " + battery::damageName(damage);
            // The county outline is read by the first clip, so a bad county fails the NDVI clip.
            const std::string failed = role == Role::Crops ? "The CDL clipping command failed"
                                                           : "The NDVI clipping command failed";
            battery::expectCleanFailure(result, {1, failed, ""}, what);
            EXPECT_NE(result.err.find(bad), std::string::npos) << what << "\n" << result.err;
            // Only the basic form keeps a clip that was made (the NDVI clip before a bad crop
            // raster).
            const std::set<std::string> kept = basic && role == Role::Crops
                                                   ? std::set<std::string>{"in-ndvi-19153.tif"}
                                                   : std::set<std::string>{};
            EXPECT_EQ(rastersIn(work), kept) << what;
            if (!basic) {
                EXPECT_EQ(testsupport::readFile(average), "") << what;
            }
        }
    }
}

} // namespace
