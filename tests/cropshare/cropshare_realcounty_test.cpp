// cropshare on a real, irregular county outline (North Carolina counties, skipped when the real
// data folder is absent): the percentage raster and the average checked against a cell-by-cell
// count over the clips that the basic form leaves behind.
#include "support/geotiff.h"
#include "support/process.h"
#include "support/tempdir.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::readByteBand;
using testsupport::run;

const std::string kRealCounties = std::string(VEG_REAL_DATA_DIR) + "/nc_counties.shp";
const char *const kFips = "37009";
constexpr uint8_t kCode = 5;

// Copies the real outlines into a county layer under the name the programs expect, and returns
// the chosen county's envelope in Albers metres.
OGREnvelope copyCounties(const std::string &target) {
    GDALAllRegister();
    GDALDatasetUniquePtr source(GDALDataset::Open(kRealCounties.c_str(), GDAL_OF_VECTOR));
    if (!source)
        throw std::runtime_error("cannot open " + kRealCounties);
    GDALDriver *gpkg = GetGDALDriverManager()->GetDriverByName("GPKG");
    GDALDatasetUniquePtr copy(gpkg->Create(target.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    if (!copy || !copy->CopyLayer(source->GetLayer(0), "conus_counties"))
        throw std::runtime_error("cannot copy the county layer");
    OGRLayer *layer = source->GetLayer(0);
    layer->SetAttributeFilter((std::string("FIPS='") + kFips + "'").c_str());
    std::unique_ptr<OGRFeature> feature(layer->GetNextFeature());
    if (!feature)
        throw std::runtime_error("county missing");
    OGRSpatialReference albers;
    albers.importFromEPSG(5070);
    albers.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRGeometry> geometry(feature->GetGeometryRef()->clone());
    if (geometry->transformTo(&albers) != OGRERR_NONE)
        throw std::runtime_error("transform");
    OGREnvelope envelope;
    geometry->getEnvelope(&envelope);
    return envelope;
}

TEST(CropShareRealCounty, SharesMatchACellByCellCountOverTheClips) {
    if (!std::filesystem::exists(kRealCounties))
        FAIL() << "real counties missing: " << kRealCounties;
    testsupport::TempDir dir;
    const std::string counties = dir.file("counties.gpkg");
    const OGREnvelope e = copyCounties(counties);

    // NDVI at 240 m and crops at 30 m over the county with a margin, on one 240 m lattice
    const double west = std::floor(e.MinX / 240) * 240 - 960;
    const double north = std::ceil(e.MaxY / 240) * 240 + 960;
    const int cols = static_cast<int>((e.MaxX + 960 - west) / 240) + 1;
    const int rows = static_cast<int>((north - e.MinY + 960) / 240) + 1;
    testsupport::RasterSpec rasterSpec;
    rasterSpec.width = cols;
    rasterSpec.height = rows;
    rasterSpec.geoTransform = {{west, 240, 0, north, 0, -240}};
    rasterSpec.wkt = "EPSG:5070";
    std::vector<uint8_t> ndvi(static_cast<size_t>(cols) * rows);
    for (size_t i = 0; i < ndvi.size(); ++i)
        ndvi[i] = static_cast<uint8_t>(i * 7 % 201);
    testsupport::writeByteGeoTiff(dir.file("ndvi.tif"), rasterSpec, ndvi);
    rasterSpec.width = cols * 8;
    rasterSpec.height = rows * 8;
    rasterSpec.geoTransform = {{west, 30, 0, north, 0, -30}};
    std::vector<uint8_t> crop(static_cast<size_t>(rasterSpec.width) * rasterSpec.height);
    for (int r = 0; r < rasterSpec.height; ++r)
        for (int c = 0; c < rasterSpec.width; ++c)
            crop[static_cast<size_t>(r) * rasterSpec.width + c] = (c / 3 + r / 5) % 3 ? kCode : 1;
    testsupport::writeByteGeoTiff(dir.file("cdl.tif"), rasterSpec, crop);

    const std::string temp = dir.file("t") + "/";
    std::filesystem::create_directories(temp);
    auto r = run(CROPSHARE_BASIC_BIN,
                 {counties, kFips, dir.file("ndvi.tif"), dir.file("cdl.tif"), "5", temp, "20"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    int nw = 0, nh = 0, cw = 0, ch = 0, pw = 0, ph = 0;
    const auto ndviClip = readByteBand(temp + "ndvi-" + kFips + ".tif", &nw, &nh);
    const auto cropClip = readByteBand(temp + "cdl-" + kFips + ".tif", &cw, &ch);
    const std::string percentPath =
        temp + "generatedPercent-FIPS-" + kFips + "-CropCode-5-PercentFilter-20.tif";
    const auto percent = readByteBand(percentPath, &pw, &ph);
    ASSERT_EQ(pw, nw);
    ASSERT_EQ(ph, nh);
    ASSERT_GT(nw, 10);
    ASSERT_GT(nh, 10);

    std::vector<uint8_t> expected(percent.size());
    double sum = 0, weight = 0;
    int full = 0, partial = 0;
    for (int j = 0; j < nh; ++j) {
        for (int k = 0; k < nw; ++k) {
            uint8_t value = 0;
            if (8 * k + 8 <= cw && 8 * j + 8 <= ch) {
                int count = 0;
                for (int y = 8 * j; y < 8 * j + 8; ++y)
                    for (int x = 8 * k; x < 8 * k + 8; ++x)
                        count += cropClip[static_cast<size_t>(y) * cw + x] == kCode;
                const int pct = count * 100 / 64;
                if (pct >= 20) {
                    value = static_cast<uint8_t>(pct);
                    sum += pct * ndviClip[static_cast<size_t>(j) * nw + k];
                    weight += pct;
                }
                full += pct == 66 || pct == 67;
                partial += pct > 0 && pct < 60;
            }
            expected[static_cast<size_t>(j) * nw + k] = value;
        }
    }
    EXPECT_EQ(percent, expected);
    EXPECT_GT(full, 0);    // blocks wholly inside the county (two thirds carry the code)
    EXPECT_GT(partial, 0); // blocks cut by the county's edge

    // the full form on the same inputs: same shares, rejected cells 255, the weighted mean
    r = run(CROPSHARE_BIN, {counties, kFips, dir.file("ndvi.tif"), dir.file("cdl.tif"), "5", temp,
                            "20", dir.file("average.txt")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const auto percentFull = readByteBand(percentPath);
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(percentFull[i], expected[i] ? expected[i] : 255) << i;
    std::ostringstream mean;
    mean << sum / weight;
    EXPECT_EQ(testsupport::readFile(dir.file("average.txt")), mean.str());
    EXPECT_FALSE(testsupport::fileExists(temp + "ndvi-" + kFips + ".tif"));
}

} // namespace
