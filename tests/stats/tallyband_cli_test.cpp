// The tallyband program: the golden transcripts of its modes with their reports (in-process), and
// as a process beside configurations of its own.
#include "tallyband.h"

#include "support/geotiff.h"
#include "support/golden.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using testsupport::readFile;
using testsupport::RunOptions;
using testsupport::RunResult;
using testsupport::TempDir;

namespace {

const char *const kProgram = TALLYBAND_BIN;

// 8-bit NDVI values of a 4 x 3 raster with 30 m pixels, and a crop mask on the same grid.
const std::vector<uint8_t> kNdvi = {0, 124, 125, 137, 138, 250, 254, 255, 200, 200, 130, 251};
const std::vector<uint8_t> kMask = {1, 1, 1, 2, 2, 2, 0, 0, 5, 5, 5, 5};

void writeInputs(const TempDir &dir) {
    testsupport::RasterSpec raster;
    raster.width = 4;
    raster.height = 3;
    raster.geoTransform = {{500000, 30, 0, 4000000, 0, -30}};
    raster.wkt = "EPSG:5070";
    testsupport::writeByteGeoTiff(dir.file("ndvi.tif"), raster, kNdvi);
    testsupport::writeByteGeoTiff(dir.file("mask.tif"), raster, kMask);
    // The same mask at 15 m: each of its cells lies over a quarter of a data cell.
    std::vector<uint8_t> fine;
    for (int row = 0; row < 2 * raster.height; ++row) {
        for (int col = 0; col < 2 * raster.width; ++col) {
            fine.push_back(kMask[static_cast<size_t>(row / 2 * raster.width + col / 2)]);
        }
    }
    raster.width *= 2;
    raster.height *= 2;
    raster.geoTransform[1] = 15;
    raster.geoTransform[5] = -15;
    testsupport::writeByteGeoTiff(dir.file("fine.tif"), raster, fine);
}

RunResult run(const std::vector<std::string> &args, const TempDir &dir,
              const std::string &program = kProgram) {
    RunOptions options;
    options.workDir = dir.path();
    options.unsetEnv = {"COLUMNS"};
    return testsupport::run(program, args, options);
}

bool contains(const std::string &text, const std::string &part) {
    return text.find(part) != std::string::npos;
}

// A copy of the program in dir under the name "tallyband.x", beside its own configuration.
std::string programWithIni(const TempDir &dir, const std::string &ini) {
    const std::string copy = dir.file("tallyband.x");
    std::filesystem::copy_file(kProgram, copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    testsupport::writeFile(copy + ".ini", ini);
    return copy;
}

} // namespace

// Every mode's transcript, in-process: the default configuration lies beside this test program
// under its name, as it lies beside tallyband.
TEST(TallybandCli, GoldenTranscripts) {
    using testsupport::addGoldenCases;
    std::vector<testsupport::GoldenCase> cases;
    const auto usage = [&](const std::string &columns) {
        cases.push_back({"stats/tallyband-usage", veg::tallyband::run, {"tallyband", "-h"}});
        cases.back().env = {{"COLUMNS", columns}};
    };
    addGoldenCases(cases, "stats/tallyband-usage", veg::tallyband::run, "tallyband",
                   {{}, {"-h"}, {"-t", "VCI", "--help", "ndvi.tif"}, {"-h", "-x"}});
    usage("80");
    usage("120");
    usage("junk");
    addGoldenCases(cases, "stats/tallyband-options", veg::tallyband::run, "tallyband",
                   {
                       {"ndvi.tif", "-t", "VCI"}, // the data file first
                       {"--type", "ndvi.tif"},    // the type eats the data file
                       {"--mask=  ", "ndvi.tif"},
                       {"-m", " \t", "ndvi.tif"},
                       {"-m", "-j", "ndvi.tif"},
                       {"-c", "", "ndvi.tif"},
                       {"-j", " -out.json", "ndvi.tif"},
                       {"-n", "x", "ndvi.tif"},
                       {"--type=", "ndvi.tif"},
                       {"-n", "-1", "ndvi.tif"},
                       {"-t", "LAI", "ndvi.tif"}, // an unknown type uses DEFAULT
                       {"-c", "r.csv", "ndvi.tif", "x"},
                   },
                   writeInputs);
    // Plain mode with both reports, and with the CSV report on standard output.
    addGoldenCases(cases, "stats/tallyband-plain", veg::tallyband::run, "tallyband",
                   {{"-c", "r.csv", "--json=r.json", "-w", "job 42", "ndvi.tif"}, {"ndvi.tif"}},
                   writeInputs);
    // Mask mode on one grid (the data is the fine raster) and under a finer mask.
    addGoldenCases(cases, "stats/tallyband-mask", veg::tallyband::run, "tallyband",
                   {{"-m", "mask.tif", "-c", "r.csv", "-j", "r.json", "ndvi.tif"},
                    {"-m", "fine.tif", "-c", "r.csv", "-j", "r.json", "ndvi.tif"}},
                   writeInputs);
    // One category of the mask, rows without pixels left out.
    addGoldenCases(
        cases, "stats/tallyband-category", veg::tallyband::run, "tallyband",
        {{"-e", "-n", "2", "-m", "mask.tif", "-c", "r.csv", "-j", "r.json", "ndvi.tif"},
         {"-t", "VCI", "-j", " r.json ", "-c", "r.csv", "-n", "4", "-m", "mask.tif", "ndvi.tif"}},
        writeInputs);
    // Failed calculations still write both reports; a report that cannot be written.
    addGoldenCases(cases, "stats/tallyband-failures", veg::tallyband::run, "tallyband",
                   {{"none.tif"},
                    {"-m", "none.tif", "-c", "r.csv", "-j", "r.json", "ndvi.tif"},
                    {"-m", "mask.tif", "-n", "300", "-c", "r.csv", "-j", "r.json", "ndvi.tif"},
                    {"-c", "no/such/r.csv", "ndvi.tif"}},
                   writeInputs);
    for (auto &c : cases) {
        c.show = {"r.csv", "r.json"};
    }
    testsupport::expectGolden(cases);
}

TEST(TallybandCli, ConfigurationBesideTheProgram) {
    struct Case {
        const char *what;
        std::string ini;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"unreadable file", "[NDVI\n", 1, "Current path: '", "tallyband.x.ini(1): unmatched '['\n"},
        {"bad number", "[NDVI]\nbreakCount=many\n", 1, "propname=breakCount\n", "stoi\n"},
        {"unsupported type", "[NDVI]\ntype=7\n", 1,
         "Error: configuration file has unsupported break type - 7\n", ""},
        {"break count mismatch", "[NDVI]\ntype=2\nbreakCount=2\nbreak1=0,256,all\n", 2,
         "Error: there is no breaks for everone.\n",
         "Error: the histogram was not calculated: the configuration expects 2 breaks but has "
         "1.\n"},
        {"generated from the raster's range", "[NDVI]\ntype=3\ninterval=128\nbreakCount=2\n", 0,
         "break1;name='0 - 128;low=0;high=128\n", ""},
    };
    for (const auto &c : cases) {
        TempDir dir;
        writeInputs(dir);
        const std::string program = programWithIni(dir, c.ini);
        RunResult result = run({"ndvi.tif"}, dir, program);
        EXPECT_EQ(result.status, c.status) << c.what << "\n" << result.out;
        EXPECT_TRUE(contains(result.out, c.out)) << c.what << "\n" << result.out;
        if (c.err.empty()) {
            EXPECT_EQ(result.err, "") << c.what;
        } else {
            EXPECT_EQ(
                result.err.substr(result.err.size() - std::min(result.err.size(), c.err.size())),
                c.err)
                << c.what;
        }
    }
}

TEST(TallybandCli, ObjectFilesAreDelivered) {
    for (const char *name :
         {"GdalUint8Reader.o", "gdalutil.o", "GdalUint8Reader.h", "gdalutil.h"}) {
        EXPECT_TRUE(testsupport::fileExists(std::string(VEG_BINARY_DIR) + "/obj/" + name)) << name;
    }
}

TEST(TallybandCli, DefaultConfigurationSections) {
    struct Case {
        const char *type;
        unsigned bins;
        const char *lastName;
    };
    const Case cases[] = {{"NDVI", 11, "0.9 - 1.0"},    {"VCI", 10, "0.9 - 1.0"},
                          {"MVCI", 5, "80 - 100"},      {"OTHER10", 25, "240 - 250"},
                          {"OTHER20", 12, "220 - 240"}, {"DEFAULT", 254, "253 - 254"}};
    TempDir dir;
    writeInputs(dir);
    for (const auto &c : cases) {
        RunResult result = run({"-t", c.type, "-j", "r.json", "ndvi.tif"}, dir);
        EXPECT_EQ(result.status, 0) << c.type << "\n" << result.err;
        rapidjson::Document json;
        json.Parse(readFile(dir.file("r.json")).c_str());
        ASSERT_TRUE(json.IsObject()) << c.type;
        ASSERT_EQ(json["rows"].Size(), c.bins) << c.type;
        EXPECT_STREQ(json["rows"][c.bins - 1]["name"].GetString(), c.lastName) << c.type;
    }
}
