// vegprobe and vegprobe-point: the golden transcripts of both on a small generated raster, and
// longitude/latitude points against an Albers computation of the test's own.
#include "probe.h"

#include "support/geotiff.h"
#include "support/golden.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using testsupport::readFile;
using testsupport::run;
using testsupport::TempDir;
using testsupport::writeFile;

const std::string kBox = VEGPROBE_BIN;
const std::string kPoint = VEGPROBE_POINT_BIN;

// A 6x5 raster whose cell (column c, row r) holds 10*r + c, 30 m cells from (1000, 2000), and a
// stale result file.
void probeInputs(const TempDir &dir) {
    testsupport::RasterSpec rasterSpec;
    rasterSpec.width = 6;
    rasterSpec.height = 5;
    rasterSpec.geoTransform = {{1000, 30, 0, 2000, 0, -30}};
    rasterSpec.wkt = "EPSG:5070";
    std::vector<uint8_t> values;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 6; ++c)
            values.push_back(static_cast<uint8_t>(10 * r + c));
    testsupport::writeByteGeoTiff(dir.file("ndvi.tif"), rasterSpec, values);
    writeFile(dir.file("result.txt"), "stale");
}

// Both programs' transcripts with the result file, in-process: the box in pixel, projected and
// longitude/latitude corners with every reduction, the cell and its 3x3 block, every failure
// (which empties the result file) and the usage (which leaves it alone).
TEST(ProbeCli, GoldenTranscripts) {
    std::vector<testsupport::GoldenCase> cases;
    const auto box = [&](veg::cli::Args corners, const char *mode) {
        corners.insert(corners.end(), {"ndvi.tif", "result.txt", mode});
        testsupport::addGoldenCases(cases, "retrieve/vegprobe", veg::vegprobe::run, "vegprobe",
                                    {corners}, probeInputs);
    };
    for (const char *mode : {"THREE_MAX", "THREE_MIN", "THREE_AVE", "ONE", "THREE_MED", "MEDIAN"})
        box({"PIXEL", "1", "1", "3", "3"}, mode);
    box({"whatever", "0.9abc", "0", "6.99", "5.5"}, "THREE_MAX");
    // georeferenced: columns 1..3 and rows 1..2 from the north-west corner
    box({"AEA", "1045", "1955", "1135", "1895"}, "THREE_MED");
    box({"AEA", "1045", "1955", "1135", "1895"}, "THREE_MIN");
    // the south-west corner first: the window grows south from it
    box({"AEA", "1000", "1880", "1180", "1910"}, "THREE_MAX");
    box({"LATLON", "-95.9897", "23.0181", "-95.9888", "23.0174"}, "THREE_AVE");
    // failures
    box({"PIXEL", "1", "1", "1", "3"}, "THREE_MAX");
    box({"AEA", "1135", "1955", "1045", "1895"}, "THREE_AVE");
    box({"PIXEL", "4", "3", "7", "5"}, "THREE_MAX");
    box({"PIXEL", "-1", "0", "2", "2"}, "THREE_MAX");
    box({"PIXEL", "0", "0", "3e9", "2"}, "THREE_MAX");
    testsupport::addGoldenCases(
        cases, "retrieve/vegprobe", veg::vegprobe::run, "vegprobe",
        {{"LATLON", "-96", "23", "-95", "22", "missing.tif", "result.txt", "ONE"},
         {"PIXEL", "2", "2", "3", "3", "ndvi.tif", "no-such-folder/result.txt", "ONE"},
         {},
         {"PIXEL", "1", "1", "3", "3", "ndvi.tif", "result.txt"}},
        probeInputs);

    const auto point = [&](veg::cli::Args place, const char *mode) {
        place.insert(place.end(), {"ndvi.tif", "result.txt", mode});
        testsupport::addGoldenCases(cases, "retrieve/vegprobe-point", veg::vegprobe_point::run,
                                    "vegprobe-point", {place}, probeInputs);
    };
    point({"PIXEL", "2", "2"}, "THREE_MED");
    point({"PIXEL", "2.9", "2.9"}, "THREE_MAX");
    point({"PIXEL", "2", "2"}, "THREE_MIN");
    point({"PIXEL", "2", "2"}, "THREE_AVE");
    point({"PIXEL", "2", "2"}, "OTHER");
    point({"PIXEL", "5", "4"}, "ONE");
    point({"PIXEL", "0", "0"}, "ONE");
    point({"AEA", "1165", "1895"}, "ONE");
    point({"AEA", "1045", "1955"}, "THREE_MAX");
    point({"LATLON", "-95.9896", "23.0181"}, "ONE");
    // failures
    point({"PIXEL", "0", "2"}, "THREE_MIN");
    point({"PIXEL", "5", "2"}, "THREE_MED");
    point({"PIXEL", "6", "0"}, "ONE");
    point({"AEA", "1e300", "0"}, "ONE");
    testsupport::addGoldenCases(
        cases, "retrieve/vegprobe-point", veg::vegprobe_point::run, "vegprobe-point",
        {{"PIXEL", "1", "1", "missing.tif", "result.txt", "ONE"},
         {"PIXEL", "2", "2", "ndvi.tif", "no-such-folder/result.txt", "ONE"},
         {"PIXEL", "1", "1", "ndvi.tif", "result.txt"},
         {}},
        probeInputs);
    for (auto &c : cases) {
        c.show = {"result.txt"};
    }
    testsupport::expectGolden(cases);
}

// Albers equal-area (ellipsoidal forward formulas) on GRS80 with the toolkit's standard
// parallels 29.5 and 45.5, origin 23 N 96 W; written from the map-projection textbook formulas,
// independently of the library the programs use.
void albers(double lonDeg, double latDeg, double &x, double &y) {
    const double a = 6378137.0;
    const double f = 1 / 298.257222101;
    const double e2 = f * (2 - f);
    const double e = std::sqrt(e2);
    const double rad = M_PI / 180;
    auto q = [&](double phi) {
        const double s = std::sin(phi);
        return (1 - e2) * (s / (1 - e2 * s * s) - std::log((1 - e * s) / (1 + e * s)) / (2 * e));
    };
    auto m = [&](double phi) {
        const double s = std::sin(phi);
        return std::cos(phi) / std::sqrt(1 - e2 * s * s);
    };
    const double phi1 = 29.5 * rad, phi2 = 45.5 * rad, phi0 = 23 * rad, lon0 = -96 * rad;
    const double m1 = m(phi1), m2 = m(phi2);
    const double q0 = q(phi0), q1 = q(phi1), q2 = q(phi2);
    const double n = (m1 * m1 - m2 * m2) / (q2 - q1);
    const double c = m1 * m1 + n * q1;
    const double rho0 = a * std::sqrt(c - n * q0) / n;
    const double rho = a * std::sqrt(c - n * q(latDeg * rad)) / n;
    const double theta = n * (lonDeg * rad - lon0);
    x = rho * std::sin(theta);
    y = rho0 - rho * std::cos(theta);
}

// Longitude and latitude land on the cell whose Albers square holds them, even on a raster
// without any projection (only its geotransform counts).
TEST(ProbeLatLon, GeographicPointsLandOnTheirAlbersCell) {
    TempDir dir;
    struct Case {
        double lon, lat;
        std::string wkt;
    };
    const Case cases[] = {{-90.5, 38.25, "EPSG:5070"}, {-120.2, 46.9, ""}, {-96, 23, "EPSG:4326"}};
    for (const Case &c : cases) {
        double x = 0, y = 0;
        albers(c.lon, c.lat, x, y);
        // 1 km cells; the point sits in the middle of cell (3, 2) of a 7x5 raster
        testsupport::RasterSpec rasterSpec;
        rasterSpec.width = 7;
        rasterSpec.height = 5;
        rasterSpec.geoTransform = {{x - 3500, 1000, 0, y + 2500, 0, -1000}};
        rasterSpec.wkt = c.wkt;
        std::vector<uint8_t> values;
        for (int r = 0; r < 5; ++r)
            for (int col = 0; col < 7; ++col)
                values.push_back(static_cast<uint8_t>(10 * r + col));
        const std::string raster = dir.file("geo.tif");
        const std::string output = dir.file("out.txt");
        testsupport::writeByteGeoTiff(raster, rasterSpec, values);

        char lon[64], lat[64];
        std::snprintf(lon, sizeof lon, "%.10f", c.lon);
        std::snprintf(lat, sizeof lat, "%.10f", c.lat);
        auto r = run(kPoint, {"LATLON", lon, lat, raster, output, "ONE"});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(r.out, "mode=LATLON, xv=3, yv=2, path=" + raster + "\nBye\n");
        EXPECT_EQ(readFile(output), "23");

        // the box from this point to the point 2.6 km east and 1.7 km south of it
        double lon2 = 0, lat2 = 0;
        {
            // walk back from Albers metres by bisection on the independent forward formulas
            double tx = x + 2600, ty = y - 1700, lo1 = c.lon - 1, hi1 = c.lon + 1;
            double lo2 = c.lat - 1, hi2 = c.lat + 1;
            for (int i = 0; i < 200; ++i) {
                lon2 = (lo1 + hi1) / 2;
                lat2 = (lo2 + hi2) / 2;
                double px = 0, py = 0;
                albers(lon2, lat2, px, py);
                // near the centre meridian x grows with longitude and y with latitude
                (px < tx ? lo1 : hi1) = lon2;
                (py < ty ? lo2 : hi2) = lat2;
            }
        }
        char lonB[64], latB[64];
        std::snprintf(lonB, sizeof lonB, "%.10f", lon2);
        std::snprintf(latB, sizeof latB, "%.10f", lat2);
        r = run(kBox, {"LATLON", lon, lat, lonB, latB, raster, output, "THREE_MAX"});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("\nxstart=3, ystart2, xlength=2, ylength=1\nndviValueChar=24\nBye\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(readFile(output), "24");
    }
}

} // namespace
