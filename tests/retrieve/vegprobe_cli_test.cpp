// Command-line tests of vegprobe and vegprobe-point on small generated rasters.
#include "support/geotiff.h"
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

// A 6x5 raster whose cell (column c, row r) holds 10*r + c, 30 m cells from (1000, 2000).
class ProbeCli : public ::testing::Test {
  protected:
    void SetUp() override {
        raster = dir.file("ndvi.tif");
        output = dir.file("result.txt");
        testsupport::RasterSpec rasterSpec;
        rasterSpec.width = 6;
        rasterSpec.height = 5;
        rasterSpec.geoTransform = {{1000, 30, 0, 2000, 0, -30}};
        rasterSpec.wkt = "EPSG:5070";
        std::vector<uint8_t> values;
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 6; ++c)
                values.push_back(static_cast<uint8_t>(10 * r + c));
        testsupport::writeByteGeoTiff(raster, rasterSpec, values);
        writeFile(output, "stale");
    }
    TempDir dir;
    std::string raster;
    std::string output;
};

struct BoxCase {
    std::vector<std::string> args; // proj xmin ymin xmax ymax; path, output and mode are added
    std::string mode;
    std::string window; // the "xstart=" line
    std::string value;
};

TEST_F(ProbeCli, BoxQueries) {
    const BoxCase cases[] = {
        {{"PIXEL", "1", "1", "3", "3"},
         "THREE_MAX",
         "xstart=1, ystart1, xlength=2, ylength=2",
         "22"},
        {{"PIXEL", "1", "1", "3", "3"},
         "THREE_MIN",
         "xstart=1, ystart1, xlength=2, ylength=2",
         "11"},
        {{"PIXEL", "1", "1", "3", "3"},
         "THREE_AVE",
         "xstart=1, ystart1, xlength=2, ylength=2",
         "16"},
        {{"PIXEL", "1", "1", "3", "3"}, "ONE", "xstart=1, ystart1, xlength=2, ylength=2", "16"},
        {{"PIXEL", "1", "1", "3", "3"},
         "THREE_MED",
         "xstart=1, ystart1, xlength=2, ylength=2",
         "21"},
        {{"PIXEL", "1", "1", "3", "3"}, "MEDIAN", "xstart=1, ystart1, xlength=2, ylength=2", "0"},
        {{"whatever", "0.9abc", "0", "6.99", "5.5"},
         "THREE_MAX",
         "xstart=0, ystart0, xlength=6, ylength=5",
         "45"},
        // georeferenced: columns 1..3 and rows 1..2 from the north-west corner
        {{"AEA", "1045", "1955", "1135", "1895"},
         "THREE_MED",
         "xstart=1, ystart1, xlength=3, ylength=2",
         "21"},
        {{"AEA", "1045", "1955", "1135", "1895"},
         "THREE_MIN",
         "xstart=1, ystart1, xlength=3, ylength=2",
         "11"},
        // the south-west corner first: the window grows south from it
        {{"AEA", "1000", "1880", "1180", "1910"},
         "THREE_MAX",
         "xstart=0, ystart4, xlength=6, ylength=1",
         "45"},
    };
    for (const BoxCase &c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {raster, output, c.mode});
        auto r = run(kBox, args);
        const std::string expected =
            "proj=" + c.args[0] + ", xminv=" + c.args[1] + ", yminv=" + c.args[2] +
            ", xmax=" + c.args[3] + ", ymax=" + c.args[4] + ", path=" + raster +
            ", retrieveMode=" + c.mode + "\n" + c.window + "\nndviValueChar=" + c.value + "\nBye\n";
        EXPECT_EQ(r.status, 0) << c.window << " " << c.mode;
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(readFile(output), c.value) << c.window << " " << c.mode;
    }
}

struct PointCase {
    std::vector<std::string> args; // mode x y; path, output and retrieval mode are added
    std::string mode;
    std::string cell; // "xv=.., yv=.."
    std::string value;
};

TEST_F(ProbeCli, PointQueries) {
    const PointCase cases[] = {
        {{"PIXEL", "2", "2"}, "THREE_MED", "xv=2, yv=2", "23"},
        {{"PIXEL", "2.9", "2.9"}, "THREE_MAX", "xv=2, yv=2", "33"},
        {{"PIXEL", "2", "2"}, "THREE_MIN", "xv=2, yv=2", "11"},
        {{"PIXEL", "2", "2"}, "THREE_AVE", "xv=2, yv=2", "22"},
        {{"PIXEL", "2", "2"}, "OTHER", "xv=2, yv=2", "0"},
        {{"PIXEL", "5", "4"}, "ONE", "xv=5, yv=4", "45"},
        {{"PIXEL", "0", "0"}, "ONE", "xv=0, yv=0", "0"},
        {{"AEA", "1165", "1895"}, "ONE", "xv=5, yv=3", "35"},
        {{"AEA", "1045", "1955"}, "THREE_MAX", "xv=1, yv=1", "22"},
    };
    for (const PointCase &c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {raster, output, c.mode});
        auto r = run(kPoint, args);
        EXPECT_EQ(r.status, 0) << c.cell << " " << c.mode;
        EXPECT_EQ(r.out, "mode=" + c.args[0] + ", " + c.cell + ", path=" + raster + "\nBye\n");
        EXPECT_EQ(readFile(output), c.value) << c.cell << " " << c.mode;
    }
}

struct FailureCase {
    const std::string *program;
    std::vector<std::string> args; // {raster} and {output} stand for the fixture's files
    std::string out;               // expected standard output, {raster} substituted
};

std::string substitute(std::string text, const std::string &raster, const std::string &output) {
    for (auto [key, value] :
         {std::pair<std::string, std::string>{"{raster}", raster}, {"{output}", output}}) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at))
            text.replace(at, key.size(), value);
    }
    return text;
}

// Every failure leaves the result file empty and ends with a non-zero status.
TEST_F(ProbeCli, FailuresEmptyTheResult) {
    const std::string missing = dir.file("missing.tif");
    const FailureCase cases[] = {
        {&kPoint,
         {"PIXEL", "0", "2", "{raster}", "{output}", "THREE_MIN"},
         "mode=PIXEL, xv=0, yv=2, path={raster}\nThe 3x3 window around the cell is not wholly "
         "inside the raster {raster} of 6x5 cells.\n"},
        {&kPoint,
         {"PIXEL", "5", "2", "{raster}", "{output}", "THREE_MED"},
         "mode=PIXEL, xv=5, yv=2, path={raster}\nThe 3x3 window around the cell is not wholly "
         "inside the raster {raster} of 6x5 cells.\n"},
        {&kPoint,
         {"PIXEL", "6", "0", "{raster}", "{output}", "ONE"},
         "mode=PIXEL, xv=6, yv=0, path={raster}\nThe cell is not wholly inside the raster "
         "{raster} of 6x5 cells.\n"},
        {&kPoint,
         {"AEA", "1e300", "0", "{raster}", "{output}", "ONE"},
         "The point cannot be placed on {raster}: it lies too far away.\n"},
        {&kPoint,
         {"PIXEL", "1", "1", missing, "{output}", "ONE"},
         "GDAL failed to open the input file " + missing + ", please check the path.\n"},
        {&kBox,
         {"PIXEL", "1", "1", "1", "3", "{raster}", "{output}", "THREE_MAX"},
         "proj=PIXEL, xminv=1, yminv=1, xmax=1, ymax=3, path={raster}, retrieveMode=THREE_MAX\n"
         "xstart=1, ystart1, xlength=0, ylength=2\nThe window of {raster} has no cells: xlength "
         "and ylength must be positive.\n"},
        {&kBox,
         {"AEA", "1135", "1955", "1045", "1895", "{raster}", "{output}", "THREE_AVE"},
         "proj=AEA, xminv=1135, yminv=1955, xmax=1045, ymax=1895, path={raster}, "
         "retrieveMode=THREE_AVE\nxstart=4, ystart1, xlength=-3, ylength=2\nThe window of "
         "{raster} has no cells: xlength and ylength must be positive.\n"},
        {&kBox,
         {"PIXEL", "4", "3", "7", "5", "{raster}", "{output}", "THREE_MAX"},
         "proj=PIXEL, xminv=4, yminv=3, xmax=7, ymax=5, path={raster}, retrieveMode=THREE_MAX\n"
         "xstart=4, ystart3, xlength=3, ylength=2\nThe window is not wholly inside the raster "
         "{raster} of 6x5 cells.\n"},
        {&kBox,
         {"PIXEL", "-1", "0", "2", "2", "{raster}", "{output}", "THREE_MAX"},
         "proj=PIXEL, xminv=-1, yminv=0, xmax=2, ymax=2, path={raster}, retrieveMode=THREE_MAX\n"
         "xstart=-1, ystart0, xlength=3, ylength=2\nThe window is not wholly inside the raster "
         "{raster} of 6x5 cells.\n"},
        {&kBox,
         {"PIXEL", "0", "0", "3e9", "2", "{raster}", "{output}", "THREE_MAX"},
         "proj=PIXEL, xminv=0, yminv=0, xmax=3e9, ymax=2, path={raster}, retrieveMode=THREE_MAX\n"
         "The window of {raster} cannot be placed: a corner lies too far away.\n"},
        {&kBox,
         {"LATLON", "-96", "23", "-95", "22", missing, "{output}", "ONE"},
         "GDAL failed to open the input file " + missing + ", please check the path.\n"},
    };
    for (const FailureCase &c : cases) {
        std::vector<std::string> args;
        for (const std::string &a : c.args)
            args.push_back(substitute(a, raster, output));
        writeFile(output, "99");
        auto r = run(*c.program, args);
        EXPECT_EQ(r.status, 1) << c.out;
        EXPECT_EQ(r.out, substitute(c.out, raster, output));
        EXPECT_TRUE(testsupport::fileExists(output));
        EXPECT_EQ(readFile(output), "") << c.out;
    }
}

TEST_F(ProbeCli, UnwritableResultIsReported) {
    const std::string output2 = dir.file("no-such-folder/result.txt");
    auto r = run(kPoint, {"PIXEL", "2", "2", raster, output2, "ONE"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("Can not open the output file " + output2 + ": ", 0), 0u) << r.out;
    r = run(kBox, {"PIXEL", "2", "2", "3", "3", raster, output2, "ONE"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("Can not open the output file " + output2 + ": ", 0), 0u) << r.out;
}

// Too few arguments: the usage text, status 0, the result file untouched.
TEST_F(ProbeCli, UsageWithTooFewArguments) {
    struct Case {
        const std::string *program;
        std::vector<std::string> args;
        std::string out;
    };
    const std::string boxUsage = "Usage: vegprobe\nproj xmin ymin xmax ymax path output mode\n"
                                 "[do not support coordinates query!!!]\n";
    const std::string pointUsage =
        "Usage: vegprobe\nmode x y path output\n[do not support coordinates query!!!]\n";
    const Case cases[] = {
        {&kBox, {}, boxUsage},
        {&kBox, {"PIXEL", "1", "1", "3", "3", raster, output}, boxUsage},
        {&kPoint, {"PIXEL", "1", "1", raster, output}, pointUsage},
        {&kPoint, {}, pointUsage},
    };
    for (const Case &c : cases) {
        auto r = run(*c.program, c.args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(readFile(output), "stale");
    }
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
