// The CSV and JSON reports, byte for byte.
#include "GdalHistogramCalculator.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>

using edu::tovan::merel::gdal::GdalHistogramBin;
using edu::tovan::merel::gdal::GdalHistogramBinsByCat;
using edu::tovan::merel::gdal::GdalHistogramCalculator;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

GdalHistogramBin bin(int id, const std::string &name, uint64_t count, double acreage,
                     double percentage) {
    GdalHistogramBin b;
    b.id = id;
    b.name = name;
    b.count = count;
    b.acreage = acreage;
    b.percentage = percentage;
    return b;
}

GdalHistogramBinsByCat category(int ordinal, int code, std::vector<GdalHistogramBin> bins) {
    GdalHistogramBinsByCat c;
    c.ordinal = ordinal;
    c.code = code;
    c.bins = std::move(bins);
    return c;
}

struct Reports {
    std::string csv;
    std::string json;
};

Reports write(GdalHistogramCalculator &calculator) {
    TempDir dir;
    EXPECT_TRUE(calculator.saveAsCSV(dir.file("r.csv")));
    EXPECT_TRUE(calculator.saveAsJSON(dir.file("r.json")));
    // Nothing but the two reports is left in the folder.
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 2u);
    return {readFile(dir.file("r.csv")), readFile(dir.file("r.json"))};
}

} // namespace

TEST(Reports, Layouts) {
    struct Case {
        const char *what;
        std::function<void(GdalHistogramCalculator &)> setUp;
        const char *csv;
        const char *json;
    };
    const Case cases[] = {
        {"empty results", [](GdalHistogramCalculator &) {},
         "Value, Category, Acreage, Percentage\n",
         R"({"success":true,"totalCount":0,"fileName":",0","workid":"NONE","rows":[]})"},
        {"failed calculation",
         [](GdalHistogramCalculator &c) {
             c.success = false;
             c.workid = "job 7";
         },
         "Value, Category, Acreage, Percentage\n",
         R"({"success":false,"totalCount":0,"fileName":",0","workid":"job 7","rows":[]})"},
        {"plain",
         [](GdalHistogramCalculator &c) {
             c.dataFile = "/data/NDVI2002.01.01.tif";
             c.mean = 127.5;
             c.bins = {bin(1, "0 - 1", 2, 0.5, 0.25), bin(2, "a \"q\", b", 0, 3, 0.1)};
         },
         "Value, Category, Acreage, Percentage\n1,0 - 1,0.5,0.25\n"
         "2,a \"q\", b,3,0.10000000000000001\n",
         R"({"success":true,"totalCount":2,"fileName":"/data/NDVI2002.01.01.tif,127.5",)"
         R"("workid":"NONE","rows":[{"value":1,"name":"0 - 1","color":"","acreage":0.5,)"
         R"("percentage":0.25},{"value":2,"name":"a \"q\", b","color":"","acreage":3.0,)"
         R"("percentage":0.1}]})"},
        {"mask",
         [](GdalHistogramCalculator &c) {
             c.dataFile = "d.tif";
             c.mean = 0.1;
             c.categories = {category(1, 5, {bin(3, "low", 1, 0.22239450, 0)}),
                             category(12, 2, {bin(40, "x", 0, 0, 0), bin(1234, "y\t", 9, 2, 0)})};
         },
         "Value, Category, Acreage, Percentage\n1003,:low,0.22239449999999999,0\n12040,:x,0,0\n"
         "121234,:y\t,2,0\n",
         R"({"success":true,"totalCount":2,"fileName":"d.tif,0.10000000000000001",)"
         R"("workid":"NONE","rows":[{"value":5003,"name":":low","color":"","acreage":0.2223945,)"
         R"("percentage":0.0},{"value":2040,"name":":x","color":"","acreage":0.0,)"
         R"("percentage":0.0},{"value":2234,"name":":y\t","color":"","acreage":2.0,)"
         R"("percentage":0.0}]})"},
        {"zero rows eliminated",
         [](GdalHistogramCalculator &c) {
             c.eliminateZeroRows = true;
             c.categories = {category(1, 0, {bin(1, "a", 0, 0, 0)}),
                             category(2, 7, {bin(1, "a", 0, 0, 0), bin(2, "b", 1, 1, 0)})};
         },
         "Value, Category, Acreage, Percentage\n2002,:b,1,0\n",
         R"({"success":true,"totalCount":1,"fileName":",0","workid":"NONE","rows":[)"
         R"({"value":7002,"name":":b","color":"","acreage":1.0,"percentage":0.0}]})"},
        {"negative and tiny numbers",
         [](GdalHistogramCalculator &c) {
             c.mean = -1;
             c.bins = {bin(1, "n", 1, -0.2223945, 7.976987985060697e-07)};
         },
         "Value, Category, Acreage, Percentage\n1,n,-0.22239449999999999,7.9769879850606966e-07\n",
         R"({"success":true,"totalCount":1,"fileName":",-1","workid":"NONE","rows":[)"
         R"({"value":1,"name":"n","color":"","acreage":-0.2223945,)"
         R"("percentage":7.976987985060697e-7}]})"},
    };
    for (const auto &c : cases) {
        GdalHistogramCalculator calculator;
        c.setUp(calculator);
        Reports reports = write(calculator);
        EXPECT_EQ(reports.csv, c.csv) << c.what;
        EXPECT_EQ(reports.json, c.json) << c.what;
    }
}

TEST(Reports, FailuresLeaveNoFile) {
    TempDir dir;
    GdalHistogramCalculator calculator;
    calculator.bins = {bin(1, "a", 1, 1, 1)};
    EXPECT_FALSE(calculator.saveAsCSV(dir.file("missing/r.csv")));
    EXPECT_FALSE(calculator.saveAsJSON(dir.file("missing/r.json")));
    EXPECT_FALSE(calculator.saveAsCSV(""));

    // A value the JSON writer refuses leaves the earlier report in place, not half a document.
    testsupport::writeFile(dir.file("r.json"), "old");
    calculator.mean = NAN;
    calculator.bins[0].acreage = INFINITY;
    EXPECT_FALSE(calculator.saveAsJSON(dir.file("r.json")));
    EXPECT_EQ(readFile(dir.file("r.json")), "old");
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1u);
    EXPECT_TRUE(calculator.saveAsCSV(dir.file("r.csv")));
    EXPECT_EQ(readFile(dir.file("r.csv")),
              "Value, Category, Acreage, Percentage\n1,a,infinity,1\n");
}
