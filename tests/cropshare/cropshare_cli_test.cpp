// Command-line tests of cropshare and cropshare-basic: a generated county layer, NDVI and crop
// rasters aligned so that each 240 m NDVI cell of the clip covers an 8x8 block of 30 m crop cells.
#include "cropshare.h"

#include "support/geotiff.h"
#include "support/golden.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using testsupport::fileExists;
using testsupport::readFile;
using testsupport::run;
using testsupport::TempDir;

const std::string kFull = CROPSHARE_BIN;
const std::string kBasic = CROPSHARE_BASIC_BIN;
constexpr int kCropCode = 5;
constexpr int kOther = 1;

// Writes a county layer "conus_counties" (text field FIPS) of rectangles in Albers metres.
struct County {
    std::string fips;
    double minX, minY, maxX, maxY;
};
void writeCounties(const std::string &path, const std::vector<County> &counties) {
    GDALAllRegister();
    GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GPKG");
    if (!driver)
        throw std::runtime_error("GPKG driver missing");
    GDALDatasetUniquePtr ds(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!ds)
        throw std::runtime_error("cannot create " + path);
    OGRSpatialReference srs;
    srs.importFromEPSG(5070);
    OGRLayer *layer = ds->CreateLayer("conus_counties", &srs, wkbPolygon, nullptr);
    OGRFieldDefn field("FIPS", OFTString);
    if (!layer || layer->CreateField(&field) != OGRERR_NONE)
        throw std::runtime_error("cannot create the county layer");
    for (const County &c : counties) {
        OGRFeature feature(layer->GetLayerDefn());
        feature.SetField("FIPS", c.fips.c_str());
        OGRLinearRing ring;
        ring.addPoint(c.minX, c.minY);
        ring.addPoint(c.minX, c.maxY);
        ring.addPoint(c.maxX, c.maxY);
        ring.addPoint(c.maxX, c.minY);
        ring.addPoint(c.minX, c.minY);
        OGRPolygon polygon;
        polygon.addRing(&ring);
        feature.SetGeometry(&polygon);
        if (layer->CreateFeature(&feature) != OGRERR_NONE)
            throw std::runtime_error("cannot write county " + c.fips);
    }
}

// The county: NDVI cells `cols` x `rows` starting at Albers (0, 240*rows). Its crop block (k, j)
// holds counts[j*cols+k] cells of the crop code; its NDVI cell holds ndvi[j*cols+k]. The source
// rasters reach two NDVI cells beyond the county on every side, filled with the crop code and 9.
struct Scene {
    int cols = 0;
    int rows = 0;
    std::vector<int> counts;
    std::vector<uint8_t> ndvi;
};

constexpr int kMargin = 2;

void writeScene(const std::string &folder, const std::string &ndviPath, const std::string &cropPath,
                const std::string &countiesPath, const Scene &s, double countyWidth = 0) {
    std::filesystem::create_directories(folder);
    const int ndviCols = s.cols + 2 * kMargin, ndviRows = s.rows + 2 * kMargin;
    const double west = -240.0 * kMargin, north = 240.0 * (s.rows + kMargin);
    testsupport::RasterSpec ndviSpec;
    ndviSpec.width = ndviCols;
    ndviSpec.height = ndviRows;
    ndviSpec.geoTransform = {{west, 240, 0, north, 0, -240}};
    ndviSpec.wkt = "EPSG:5070";
    std::vector<uint8_t> ndvi(static_cast<size_t>(ndviCols) * ndviRows, 9);
    for (int j = 0; j < s.rows; ++j)
        for (int k = 0; k < s.cols; ++k)
            ndvi[static_cast<size_t>(j + kMargin) * ndviCols + k + kMargin] =
                s.ndvi[j * s.cols + k];
    testsupport::writeByteGeoTiff(ndviPath, ndviSpec, ndvi);

    testsupport::RasterSpec cropSpec = ndviSpec;
    cropSpec.width = ndviCols * 8;
    cropSpec.height = ndviRows * 8;
    cropSpec.geoTransform = {{west, 30, 0, north, 0, -30}};
    std::vector<uint8_t> crop(static_cast<size_t>(cropSpec.width) * cropSpec.height, kCropCode);
    for (int j = 0; j < s.rows; ++j)
        for (int k = 0; k < s.cols; ++k)
            for (int i = 0; i < 64; ++i) {
                const size_t row = static_cast<size_t>(j + kMargin) * 8 + i / 8;
                const size_t col = static_cast<size_t>(k + kMargin) * 8 + i % 8;
                crop[row * cropSpec.width + col] =
                    i < s.counts[j * s.cols + k] ? kCropCode : kOther;
            }
    testsupport::writeByteGeoTiff(cropPath, cropSpec, crop);
    writeCounties(countiesPath,
                  {{"01001", 0, 0, countyWidth > 0 ? countyWidth : 240.0 * s.cols, 240.0 * s.rows},
                   {"02002", -480, -480, 0, 0}});
}

// Counts 1, 63, 64, 0 / 32, 64, 8, 0 give shares 1, 98, 100, 0 / 50, 100, 12, 0.
Scene standardScene() {
    return {4, 2, {1, 63, 64, 0, 32, 64, 8, 0}, {10, 20, 30, 40, 50, 60, 70, 80}};
}

class CropShareCli : public ::testing::Test {
  protected:
    void SetUp() override {
        inputs = dir.file("in");
        temp = dir.file("tmp") + "/";
        std::filesystem::create_directories(temp);
        ndvi = inputs + "/ndvi.tif";
        crop = inputs + "/cdl.tif";
        counties = inputs + "/counties.gpkg";
        average = dir.file("average.txt");
    }
    void write(const Scene &s, double countyWidth = 0) {
        writeScene(inputs, ndvi, crop, counties, s, countyWidth);
    }
    std::vector<std::string> args(const std::string &code, const std::string &filter,
                                  bool full = true) const {
        std::vector<std::string> a{counties, "01001", ndvi, crop, code, temp, filter};
        if (full)
            a.push_back(average);
        return a;
    }
    std::string percentPath(const std::string &code, const std::string &filter) const {
        return temp + "generatedPercent-FIPS-01001-CropCode-" + code + "-PercentFilter-" + filter +
               ".tif";
    }
    TempDir dir;
    std::string inputs, temp, ndvi, crop, counties, average;
};

std::string commandLine(const std::string &counties, const std::string &res,
                        const std::string &input, const std::string &clip) {
    return "gdalwarp -overwrite -cutline " + counties +
           " -cl conus_counties -crop_to_cutline -cwhere \"FIPS='01001'\" -tr " + res + " " + res +
           " " + input + " " + clip;
}

bool startsWith(const std::string &text, const std::string &head) {
    return text.compare(0, head.size(), head) == 0;
}
bool endsWith(const std::string &text, const std::string &tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST_F(CropShareCli, FullRunPrintsItsStepsAndDeletesTheClips) {
    write(standardScene());
    const auto a = args("5", "0");
    auto r = run(kFull, a);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string ndviClip = temp + "ndvi-01001.tif", cropClip = temp + "cdl-01001.tif";
    std::string head = "argc=9\n0: " + kFull + "\n";
    for (size_t i = 0; i < a.size(); ++i)
        head += std::to_string(i + 1) + ": " + a[i] + "\n";
    head += average +
            "\ncommand for clipping NDVI data: " + commandLine(counties, "240", ndvi, ndviClip) +
            "\nExecuting the NDVI clipping command.\n";
    EXPECT_TRUE(startsWith(r.out, head)) << r.out;
    EXPECT_NE(r.out.find("\ncommand for clipping CDL data: " +
                         commandLine(counties, "30", crop, cropClip) +
                         "\nExecuting the CDL clipping command.\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(endsWith(r.out, "\ngeneratedPercentFile=" + percentPath("5", "0") +
                                    "\nnXSize=4, nYSize=2\ncXSize=32, cYSize=16\n"
                                    "pData was allocated\nBye\n"))
        << r.out;
    EXPECT_FALSE(fileExists(ndviClip));
    EXPECT_FALSE(fileExists(cropClip));
    int w = 0, h = 0;
    EXPECT_EQ(testsupport::readByteBand(percentPath("5", "0"), &w, &h),
              (std::vector<uint8_t>{1, 98, 100, 0, 50, 100, 12, 0}));
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 2);
    // (1*10 + 98*20 + 100*30 + 50*50 + 100*60 + 12*70) / 361
    EXPECT_EQ(readFile(average), "39.6399");

    // the raster is placed like the NDVI clip, with no no-data value
    GDALDatasetUniquePtr ds(GDALDataset::Open(percentPath("5", "0").c_str(), GDAL_OF_RASTER));
    ASSERT_TRUE(ds);
    double gt[6];
    ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
    EXPECT_DOUBLE_EQ(gt[0], 0);
    EXPECT_DOUBLE_EQ(gt[1], 240);
    EXPECT_DOUBLE_EQ(gt[3], 480);
    EXPECT_DOUBLE_EQ(gt[5], -240);
    ASSERT_NE(ds->GetSpatialRef(), nullptr);
    EXPECT_STREQ(ds->GetSpatialRef()->GetAuthorityCode(nullptr), "5070");
    int hasNoData = 1;
    ds->GetRasterBand(1)->GetNoDataValue(&hasNoData);
    EXPECT_FALSE(hasNoData);
}

// Filters, crop codes as typed, and both forms' value for rejected cells.
TEST_F(CropShareCli, FiltersAndForms) {
    write(standardScene());
    struct Case {
        bool full;
        std::string code, filter;
        std::vector<uint8_t> percent;
        std::string average; // "nan" for the quotient 0/0
    };
    const Case cases[] = {
        {true, "5", "50", {255, 98, 100, 255, 50, 100, 255, 255}, "38.6782"},
        {true, "05", "1", {1, 98, 100, 255, 50, 100, 12, 255}, "39.6399"},
        {true, "5", "101", std::vector<uint8_t>(8, 255), "nan"},
        {true, "5", "-1", std::vector<uint8_t>(8, 255), "nan"},
        {true, "261", "0", std::vector<uint8_t>(8, 0), "nan"}, // never matches (5 + 256)
        {true, "x", "0", std::vector<uint8_t>(8, 0), "nan"},   // reads as code 0
        {false, "5", "50", {0, 98, 100, 0, 50, 100, 0, 0}, ""},
        {false, "5", "-7", std::vector<uint8_t>(8, 0), ""},
        {false, "01", "0", {98, 1, 0, 100, 50, 0, 87, 100}, ""},
    };
    for (const Case &c : cases) {
        testsupport::writeFile(average, "old");
        auto r = run(c.full ? kFull : kBasic, args(c.code, c.filter, c.full));
        ASSERT_EQ(r.status, 0) << c.code << " " << c.filter << r.out << r.err;
        EXPECT_EQ(testsupport::readByteBand(percentPath(c.code, c.filter)), c.percent)
            << c.full << " " << c.code << " " << c.filter;
        if (!c.full) {
            EXPECT_EQ(readFile(average), "old");
            EXPECT_TRUE(startsWith(r.out, "command for clipping NDVI data: ")) << r.out;
            EXPECT_TRUE(fileExists(temp + "ndvi-01001.tif"));
            EXPECT_TRUE(fileExists(temp + "cdl-01001.tif"));
        } else if (c.average == "nan") {
            const std::string text = readFile(average);
            EXPECT_TRUE(text == "nan" || text == "-nan") << text;
        } else {
            EXPECT_EQ(readFile(average), c.average) << c.code << " " << c.filter;
        }
    }
}

TEST_F(CropShareCli, WeightedMeanUsesTheStreamFormat) {
    // shares 50 and 100 over NDVI 100 and 200: 25000 / 150
    write({2, 1, {32, 64}, {100, 200}});
    auto r = run(kFull, args("5", "1"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(readFile(average), "166.667");
}

// A county 935 m wide: the NDVI clip keeps four columns, the crop clip has 31, one short of 32.
TEST_F(CropShareCli, ShortCropClipLeavesTheLastColumnUnevaluated) {
    write(standardScene(), 935);
    auto r = run(kFull, args("5", "0"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\nnXSize=4, nYSize=2\ncXSize=31, cYSize=16\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(testsupport::readByteBand(percentPath("5", "0")),
              (std::vector<uint8_t>{1, 98, 100, 255, 50, 100, 12, 255}));
    r = run(kBasic, args("5", "0", false));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(testsupport::readByteBand(percentPath("5", "0")),
              (std::vector<uint8_t>{1, 98, 100, 0, 50, 100, 12, 0}));
}

// The folder text is a plain prefix: without a separator the files land beside the folder.
TEST_F(CropShareCli, TemporaryFolderWithoutSeparator) {
    write(standardScene());
    temp = dir.file("work");
    auto r = run(kBasic, args("5", "0", false));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fileExists(dir.file("workndvi-01001.tif")));
    EXPECT_TRUE(fileExists(dir.file("workcdl-01001.tif")));
    EXPECT_TRUE(
        fileExists(dir.file("workgeneratedPercent-FIPS-01001-CropCode-5-PercentFilter-0.tif")));
    r = run(kFull, args("5", "0"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(fileExists(dir.file("workndvi-01001.tif")));
    EXPECT_FALSE(fileExists(dir.file("workcdl-01001.tif")));
}

// Paths reach gdalwarp as single arguments: blanks and shell characters run nothing.
TEST_F(CropShareCli, ShellCharactersInPathsAreNotExecuted) {
    inputs = dir.file("in put;touch INJECTED;");
    ndvi = inputs + "/nd vi$(touch INJECTED2).tif";
    crop = inputs + "/cdl`touch INJECTED3`.tif";
    counties = inputs + "/counties & more.gpkg";
    temp = dir.file("t m;p") + "/";
    std::filesystem::create_directories(temp);
    write(standardScene());
    testsupport::RunOptions options;
    options.workDir = dir.path();
    auto r = run(kFull, args("5", "0"), options);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(testsupport::readByteBand(percentPath("5", "0")),
              (std::vector<uint8_t>{1, 98, 100, 0, 50, 100, 12, 0}));
    for (const char *name : {"INJECTED", "INJECTED2", "INJECTED3"}) {
        EXPECT_FALSE(fileExists(dir.file(name))) << name;
        EXPECT_FALSE(fileExists(inputs + "/" + name)) << name;
    }
}

// A stand-in gdalwarp on PATH, for the runs the real one cannot be made to fail.
void writeFakeGdalwarp(const std::string &folder, const std::string &body) {
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/gdalwarp";
    testsupport::writeFile(path, "#!/bin/sh\n" + body);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

TEST_F(CropShareCli, FailedClippingStopsWithoutAPercentageRaster) {
    write(standardScene());
    const std::string ndviClip = temp + "ndvi-01001.tif", cropClip = temp + "cdl-01001.tif";
    struct Case {
        std::string gdalwarp; // fake body; empty: no gdalwarp on PATH at all
        std::string lastLines;
    };
    const Case cases[] = {
        {"exit 3\n", "Executing the NDVI clipping command.\nThe NDVI clipping command failed: "
                     "gdalwarp ended with status 3; " +
                         ndviClip + " was not written.\n"},
        {"case \"${12}\" in *cdl.tif) exit 1;; esac\ncp \"${12}\" \"${13}\"\n",
         "Executing the CDL clipping command.\nThe CDL clipping command failed: gdalwarp ended "
         "with status 1; " +
             cropClip + " was not written.\n"},
        {"kill -9 $$\n", "The NDVI clipping command failed: gdalwarp was killed by signal 9; " +
                             ndviClip + " was not written.\n"},
        {"", "The NDVI clipping command failed: gdalwarp was not found on the search path "
             "(PATH); " +
                 ndviClip + " was not written.\n"},
        // succeeds without writing anything
        {"exit 0\n", "GDAL failed to open the input file " + ndviClip +
                         ", please check the path.\nGDAL failed to open the input file " +
                         cropClip + ", please check the path.\n"},
        // writes a crop clip that is not a raster
        {"cp \"${12}\" \"${13}\"\ncase \"${12}\" in *cdl.tif) echo text > \"${13}\";; esac\n",
         "GDAL failed to open the input file " + cropClip + ", please check the path.\n"},
    };
    int round = 0;
    for (const Case &c : cases) {
        const std::string bin = dir.file("bin" + std::to_string(round++));
        std::filesystem::create_directories(bin);
        if (!c.gdalwarp.empty())
            writeFakeGdalwarp(bin, c.gdalwarp);
        testsupport::RunOptions options;
        // the stand-in comes first; without one, nothing on PATH is called gdalwarp
        const char *path = std::getenv("PATH");
        options.env["PATH"] = c.gdalwarp.empty() ? bin : bin + ":" + (path ? path : "");
        for (bool full : {true, false}) {
            testsupport::writeFile(average, "old");
            auto r = run(full ? kFull : kBasic, args("5", "0", full), options);
            EXPECT_EQ(r.status, 1) << c.gdalwarp;
            EXPECT_TRUE(endsWith(r.out, c.lastLines)) << r.out;
            EXPECT_FALSE(fileExists(percentPath("5", "0"))) << c.gdalwarp;
            EXPECT_EQ(readFile(average), full ? "" : "old") << c.gdalwarp;
            if (full) {
                EXPECT_FALSE(fileExists(ndviClip));
                EXPECT_FALSE(fileExists(cropClip));
            }
            std::filesystem::remove(ndviClip);
            std::filesystem::remove(cropClip);
        }
    }
}

TEST_F(CropShareCli, UsageAndUnwritableAverage) {
    struct Case {
        const std::string *program;
        size_t count;
        std::string out;
    };
    write(standardScene());
    const auto a = args("5", "0");
    const Case cases[] = {
        {&kFull, 7,
         "argc=8\nUsage: cropshare\ncountyShapeFilePath countyFIPSCode ndviFilePath cdlFilePath "
         "cropCode tempFolderPath filterNumber fileAverageNDVIpath\n"},
        {&kFull, 0,
         "argc=1\nUsage: cropshare\ncountyShapeFilePath countyFIPSCode ndviFilePath cdlFilePath "
         "cropCode tempFolderPath filterNumber fileAverageNDVIpath\n"},
        {&kBasic, 6,
         "Usage: cropshare\ncountyShapeFilePath countyFIPSCode ndviFilePath cdlFilePath cropCode "
         "tempFolderPath\n"},
    };
    for (const Case &c : cases) {
        auto r = run(*c.program, std::vector<std::string>(a.begin(), a.begin() + c.count));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.out);
    }
    average = dir.file("missing/average.txt");
    auto r = run(kFull, args("5", "0"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(endsWith(r.out, average + "\nCan not open the average file " + average +
                                    ": No such file or directory\n"))
        << r.out;
    EXPECT_FALSE(fileExists(percentPath("5", "0")));
}

// The standard scene in in/, and the temporary folder tmp/.
void cropInputs(const TempDir &dir) {
    writeScene(dir.file("in"), dir.file("in/ndvi.tif"), dir.file("in/cdl.tif"),
               dir.file("in/counties.gpkg"), standardScene());
    std::filesystem::create_directories(dir.file("tmp"));
}

// Both forms' transcripts: whole runs as processes (gdalwarp prints on the process's own output),
// usage and the failures before clipping in-process.
TEST(CropShareGolden, Transcripts) {
    std::vector<testsupport::GoldenCase> cases;
    const auto child = [&](const char *transcript, const char *binary, veg::cli::Args args) {
        cases.push_back({transcript, nullptr, std::move(args), cropInputs, binary});
    };
    child("cropshare/cropshare", CROPSHARE_BIN,
          {"cropshare", "in/counties.gpkg", "01001", "in/ndvi.tif", "in/cdl.tif", "5", "tmp/", "20",
           "average.txt"});
    child("cropshare/cropshare", CROPSHARE_BIN,
          {"cropshare", "in/counties.gpkg", "99999", "in/ndvi.tif", "in/cdl.tif", "5", "tmp/", "20",
           "average.txt"});
    testsupport::addGoldenCases(
        cases, "cropshare/cropshare", veg::cropshare::run, "cropshare",
        {{"c.gpkg"}, {"c.gpkg", "01001", "n.tif", "c.tif", "5", "t/", "0", "missing/average.txt"}},
        cropInputs);
    child("cropshare/cropshare-basic", CROPSHARE_BASIC_BIN,
          {"cropshare-basic", "in/counties.gpkg", "01001", "in/ndvi.tif", "in/cdl.tif", "5", "tmp/",
           "20"});
    testsupport::addGoldenCases(cases, "cropshare/cropshare-basic", veg::cropshare_basic::run,
                                "cropshare-basic",
                                {{"c.gpkg", "01001", "n.tif", "c.tif", "5", "t/"}}, cropInputs);
    for (auto &c : cases) {
        c.show = {"average.txt"};
    }
    testsupport::expectGolden(cases);
}

} // namespace
