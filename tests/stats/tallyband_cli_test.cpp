// The tallyband program run as a process: command lines, statuses, messages and reports.
#include "support/geotiff.h"
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
const double kAcresPerPixel = 900 * 0.000247105;

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

struct CsvRow {
    std::string value;
    std::string name;
    double acreage;
    double percentage;
};

std::vector<CsvRow> csvRows(const std::string &text) {
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "Value, Category, Acreage, Percentage");
    std::vector<CsvRow> rows;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, ',')) {
            fields.push_back(field);
        }
        EXPECT_EQ(fields.size(), 4u) << line;
        if (fields.size() == 4) {
            rows.push_back({fields[0], fields[1], std::stod(fields[2]), std::stod(fields[3])});
        }
    }
    return rows;
}

} // namespace

TEST(TallybandCli, CommandLines) {
    struct Case {
        const char *what;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> out; // pieces standard output holds, in this order
        std::string err;
    };
    const Case cases[] = {
        {"no arguments", {}, 0, {"USAGE: tallyband.x [options] <datafile>\n"}, ""},
        {"help wins", {"-t", "VCI", "--help", "ndvi.tif"}, 0, {"USAGE: tallyband.x"}, ""},
        {"unknown after help", {"-h", "-x"}, 1, {}, "Unknown option 'x'\n"},
        {"data first",
         {"ndvi.tif", "-t", "VCI"},
         0,
         {"Non-option argument #0 is ndvi.tif\nNon-option argument #1 is -t\n"
          "Non-option argument #2 is VCI\nWarning: more than 1 argument is given. The first one "
          "'ndvi.tif' is used as datafile name.\nProcessing.....ndvi.tif\n"
          "LOADING....Section=NDVI\n",
          "Done!!\n"},
         ""},
        {"type eats the data file",
         {"--type", "ndvi.tif"},
         1,
         {"type is set to : 'ndvi.tif'\nError: Required the name of the datafile to be used to "
          "create the histogram.\n"},
         ""},
        {"blank mask",
         {"--mask=  ", "ndvi.tif"},
         255,
         {"ERROR: --mask file name cannot be empty. \n"},
         ""},
        {"separate blank mask",
         {"-m", " \t", "ndvi.tif"},
         255,
         {"ERROR: --mask file name cannot be empty. \n"},
         ""},
        {"mask that looks like an option",
         {"-m", "-j", "ndvi.tif"},
         255,
         {"ERROR: --mask option require file that does not start with '-' to avoid confused "
          "with other options.\n"},
         ""},
        {"empty csv",
         {"-c", "", "ndvi.tif"},
         255,
         {"ERROR: --csvfile file name cannot be empty. \n"},
         ""},
        {"dash json",
         {"-j", " -out.json", "ndvi.tif"},
         255,
         {"ERROR: --json option require file that does not start with '-' to avoid confused "
          "with other options.\n"},
         ""},
        {"numeric check",
         {"-n", "x", "ndvi.tif"},
         1,
         {},
         "Option 'n' requires a numeric argument\n"},
        {"empty type",
         {"--type=", "ndvi.tif"},
         1,
         {},
         "Option '--type' requires a non-empty argument\n"},
        {"default mask number",
         {"-n", "-1", "ndvi.tif"},
         0,
         {"WARNING: masknumber is set to -1 which is the default: all categories in maskfile "
          "will be used.\n",
          "In calc: Filename=ndvi.tif\n"},
         ""},
        {"options in order",
         {"-t", "VCI", "-j", " r.json ", "-c", "r.csv", "-n", "4", "-m", "mask.tif", "ndvi.tif"},
         0,
         {"type is set to : 'VCI'\nJSON output is directed to: r.json\nCSV output is directed "
          "to: r.csv\nmasknumber is set to : '4'\nInput mask file is set to: mask.tif\n",
          "calc3:Filename=ndvi.tif\n"},
         ""},
        {"missing data file",
         {"none.tif"},
         2,
         {"In calc: Filename=none.tif\n", "Done!!\n"},
         "Error: the histogram was not calculated: data file 'none.tif' does not exist.\n"},
        {"unknown type uses DEFAULT",
         {"-t", "LAI", "ndvi.tif"},
         0,
         {"WARNING: Give type 'LAI' is not found before 'DEFAULT'! DEFAULT configuration is used "
          "instead.\n",
          "Number of breaks loaded: 254\n"},
         ""},
    };
    for (const auto &c : cases) {
        TempDir dir;
        writeInputs(dir);
        RunResult result = run(c.args, dir);
        EXPECT_EQ(result.status, c.status) << c.what << "\n" << result.out << result.err;
        EXPECT_EQ(result.err, c.err) << c.what;
        size_t from = 0;
        for (const auto &piece : c.out) {
            size_t at = result.out.find(piece, from);
            EXPECT_NE(at, std::string::npos) << c.what << ": missing\n"
                                             << piece << "\nin\n"
                                             << result.out;
            from = at == std::string::npos ? from : at + piece.size();
        }
        if (c.out.empty()) {
            EXPECT_EQ(result.out, "") << c.what;
        }
    }
}

TEST(TallybandCli, UsageAtTwoWidths) {
    TempDir dir;
    const std::string examples =
        "\nExamples:\n  tallyband.x -h \n  tallyband.x ../NDVI2002.01.01.tif \n"
        "  tallyband.x -tNDVI ../NDVI2002.01.01.tif \n"
        "  tallyband.x --type=NDVI ../NDVI2002.01.01.tif \n"
        "  tallyband.x --type NDVI ../NDVI2002.01.01.tif \n"
        "  tallyband.x -t NDVI -m ../cdl_2022.tif ../NDVI2002.01.01.tif \n\n";
    const std::string narrow = "USAGE: tallyband.x [options] <datafile>\n\nOptions:\n"
                               "  -h ,             --help\n"
                               "    Print usage and exit.\n"
                               "  -t <string>,     --type=<string>\n"
                               "    Requires a non-spaced string as argument - NDVI, VCI,\n"
                               "    MVCI, OTHER10, OTHER20.\n"
                               "  -m <filename>,   --mask=<filename>\n"
                               "    Requires filename as argument: crop mask.\n"
                               "  -n <integer>,    --number=<integer>\n"
                               "    Requires an integer value as argument to be used with\n"
                               "    crop mask. If not, all categories in the mask file will\n"
                               "    be used. -1 is not used.\n"
                               "  -j <filename>,   --json=<filename>\n"
                               "    Requires filename as argument: output json file.\n"
                               "  -c <filename>,   --csv=<filename>\n"
                               "    Requires filename as argument: output csv file (default\n"
                               "    output to stdout).\n"
                               "  -w <identifier>, --workid=<identifier>\n"
                               "    Requires identifier as argument. It is for sync purpose.\n"
                               "  -e ,             --eliminate\n"
                               "    Eliminate rows with zero pixelcount.\n" +
                               examples;
    const std::string wide =
        "USAGE: tallyband.x [options] <datafile>\n\nOptions:\n"
        "  -h ,             --help                 Print usage and exit.\n"
        "  -t <string>,     --type=<string>        Requires a non-spaced string as argument - "
        "NDVI, VCI, MVCI, OTHER10, OTHER20.\n"
        "  -m <filename>,   --mask=<filename>      Requires filename as argument: crop mask.\n"
        "  -n <integer>,    --number=<integer>     Requires an integer value as argument to be "
        "used with crop mask. If not, all\n"
        "                                          categories in the mask file will be used. -1 "
        "is not used.\n"
        "  -j <filename>,   --json=<filename>      Requires filename as argument: output json "
        "file.\n"
        "  -c <filename>,   --csv=<filename>       Requires filename as argument: output csv "
        "file (default output to stdout).\n"
        "  -w <identifier>, --workid=<identifier>  Requires identifier as argument. It is for "
        "sync purpose.\n"
        "  -e ,             --eliminate            Eliminate rows with zero pixelcount.\n" +
        examples;
    struct Case {
        const char *columns; // null: unset
        const std::string &text;
    };
    const Case cases[] = {{nullptr, narrow}, {"80", narrow}, {"120", wide}, {"junk", narrow}};
    for (const auto &c : cases) {
        RunOptions options;
        if (c.columns) {
            options.env["COLUMNS"] = c.columns;
        } else {
            options.unsetEnv = {"COLUMNS"};
        }
        RunResult result = testsupport::run(kProgram, {"-h"}, options);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, c.text) << (c.columns ? c.columns : "unset");
    }
}

TEST(TallybandCli, PlainReports) {
    TempDir dir;
    writeInputs(dir);
    RunResult result = run({"-c", "r.csv", "--json=r.json", "-w", "job 42", "ndvi.tif"}, dir);
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    // Bins of the default NDVI section; 251, 254 and 255 fall in none.
    const int counts[] = {2, 3, 1, 0, 0, 0, 0, 2, 0, 0, 1};
    const char *names[] = {"-1.0 - 0.0", "0.0 - 0.1", "0.1 - 0.2", "0.2 - 0.3",
                           "0.3 - 0.4",  "0.4 - 0.5", "0.5 - 0.6", "0.6 - 0.7",
                           "0.7 - 0.8",  "0.8 - 0.9", "0.9 - 1.0"};
    const std::vector<CsvRow> rows = csvRows(readFile(dir.file("r.csv")));
    ASSERT_EQ(rows.size(), 11u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].value, std::to_string(i + 1));
        EXPECT_EQ(rows[i].name, names[i]);
        EXPECT_NEAR(rows[i].acreage, counts[i] * kAcresPerPixel, 1e-12);
        EXPECT_NEAR(rows[i].percentage, counts[i] / 9.0, 1e-12);
    }

    rapidjson::Document json;
    json.Parse(readFile(dir.file("r.json")).c_str());
    ASSERT_TRUE(json.IsObject());
    EXPECT_TRUE(json["success"].GetBool());
    EXPECT_EQ(json["totalCount"].GetUint(), 11u);
    EXPECT_STREQ(json["workid"].GetString(), "job 42");
    const std::string fileName = json["fileName"].GetString();
    ASSERT_EQ(fileName.substr(0, 9), "ndvi.tif,");
    // Mean of (v - 125) / 125 over the nine counted pixels.
    const double mean = (0 + 124 + 125 + 137 + 138 + 250 + 200 + 200 + 130 - 9 * 125) / 125.0 / 9;
    EXPECT_NEAR(std::stod(fileName.substr(9)), mean, 1e-12);
    ASSERT_EQ(json["rows"].Size(), 11u);
    EXPECT_EQ(json["rows"][7]["value"].GetInt(), 8);
    EXPECT_STREQ(json["rows"][7]["name"].GetString(), "0.6 - 0.7");
    EXPECT_NEAR(json["rows"][7]["acreage"].GetDouble(), 2 * kAcresPerPixel, 1e-12);
}

TEST(TallybandCli, MaskReportsForOneCategoryWithoutZeroRows) {
    TempDir dir;
    writeInputs(dir);
    RunResult result =
        run({"-e", "-n", "2", "-m", "mask.tif", "-c", "r.csv", "-j", "r.json", "ndvi.tif"}, dir);
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_FALSE(contains(result.out, "To Be Implemented"));
    // Mask value 2 lies over 137, 138 and 250.
    EXPECT_EQ(readFile(dir.file("r.csv")).substr(0, 37 + 18),
              "Value, Category, Acreage, Percentage\n1002,:0.0 - 0.1,0.");
    const std::vector<CsvRow> rows = csvRows(readFile(dir.file("r.csv")));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].value, "1003");
    EXPECT_EQ(rows[2].value, "1011");
    EXPECT_EQ(rows[2].name, ":0.9 - 1.0");
    EXPECT_NEAR(rows[2].acreage, kAcresPerPixel, 1e-12);
    rapidjson::Document json;
    json.Parse(readFile(dir.file("r.json")).c_str());
    ASSERT_TRUE(json.IsObject());
    EXPECT_EQ(json["totalCount"].GetUint(), 1u);
    ASSERT_EQ(json["rows"].Size(), 3u);
    EXPECT_EQ(json["rows"][0]["value"].GetUint(), 2002u);
    EXPECT_EQ(json["rows"][2]["value"].GetUint(), 2011u);
}

TEST(TallybandCli, FailuresStillWriteReports) {
    struct Case {
        const char *what;
        std::vector<std::string> args;
        std::string err;
        std::string fileName; // as the JSON report gives it
    };
    const Case cases[] = {
        {"missing mask",
         {"-m", "none.tif", "-c", "r.csv", "-j", "r.json", "ndvi.tif"},
         "Error: the histogram was not calculated: mask file 'none.tif' does not exist.\n",
         ",0"},
        {"mask value out of range",
         {"-m", "mask.tif", "-n", "300", "-c", "r.csv", "-j", "r.json", "ndvi.tif"},
         "Error: the histogram was not calculated: mask number 300 is not a mask value (0 to "
         "255).\n",
         "ndvi.tif,0"},
    };
    for (const auto &c : cases) {
        TempDir dir;
        writeInputs(dir);
        RunResult result = run(c.args, dir);
        EXPECT_EQ(result.status, 2) << c.what;
        EXPECT_EQ(result.err, c.err) << c.what;
        EXPECT_EQ(readFile(dir.file("r.csv")), "Value, Category, Acreage, Percentage\n") << c.what;
        EXPECT_EQ(readFile(dir.file("r.json")), R"({"success":false,"totalCount":0,"fileName":")" +
                                                    c.fileName + R"(","workid":"NONE","rows":[]})")
            << c.what;
    }

    TempDir dir;
    writeInputs(dir);
    RunResult result = run({"-c", "no/such/r.csv", "ndvi.tif"}, dir);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "Error: cannot write the CSV report no/such/r.csv.\n");
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
