// cropshare and cropshare-basic against damaged rasters and county files. A clip that cannot be
// made ends the run with status 1 and a message; no clip or percentage raster is left behind and
// the average file stays empty.
#include "battery.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using battery::Damage;
using testsupport::TempDir;

// Names of the GeoTIFF files and of temporary output files in a folder.
std::vector<std::string> rastersIn(const std::string &folder) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".tif" || name.compare(0, 4, ".tmp") == 0) {
            names.push_back(entry.path().filename().string());
        }
    }
    return names;
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
            const std::string work = dir.file("work");
            std::filesystem::create_directory(work);
            const std::string county = dir.file("counties.shp");
            const std::string ndvi = dir.file("in-ndvi.bin");
            const std::string crops = dir.file("in-crops.bin");
            const std::string average = dir.file("average.txt");
            const std::string &bad = role == Role::County ? county
                                     : role == Role::Ndvi ? ndvi
                                                          : crops;
            for (const std::string &path : {county, ndvi, crops}) {
                battery::spoil("", path, path == bad ? damage : Damage::RandomBytes);
            }
            std::vector<std::string> args = {county, "19153", ndvi, crops, "1", work + "/", "20"};
            if (!basic) {
                args.push_back(average);
            }
            const auto result = battery::run(basic ? CROPSHARE_BASIC_BIN : CROPSHARE_BIN, args);
            const std::string what =
                std::string(basic ? "basic " : "full ") + bad + " " + battery::damageName(damage);
            battery::expectCleanFailure(result, {1, "clipping command failed", ""}, what);
            EXPECT_TRUE(rastersIn(work).empty()) << what;
            if (!basic) {
                EXPECT_EQ(testsupport::readFile(average), "") << what;
            }
        }
    }
}

} // namespace
