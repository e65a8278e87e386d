// The geometry copy on real MODIS grid files: a copy made through the grid module must be placed
// by GDAL exactly where GDAL places the original, and hold the same values.
#include "gridio.h"

#include "support/tempdir.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace veg::grid;

const std::string kRealData = VEG_REAL_DATA_DIR;

std::string gdalName(const std::string &path, const std::string &grid, const std::string &field) {
    return "HDF4_EOS:EOS_GRID:\"" + path + "\":" + grid + ":" + field;
}

struct Case {
    const char *file;
    const char *grid;
    const char *field;
    int32_t numberType;
};

template <typename T>
std::vector<uint8_t> copyField(const GridReader &in, GridWriter &out, const std::string &field,
                               const FieldInfo &info) {
    const Edge edge{info.dims[0], info.dims[1]};
    const size_t cells = *checkedCellCount(edge.first, edge.second);
    std::vector<T> values(cells);
    EXPECT_TRUE(in.readField(field, edge, values.data(), values.size())) << field;
    EXPECT_TRUE(out.defineField(field, info.dimList, info.numberType, Compression::Deflate9));
    EXPECT_TRUE(out.writeField(field, edge, values.data(), values.size())) << field;
    const auto *bytes = reinterpret_cast<const uint8_t *>(values.data());
    return std::vector<uint8_t>(bytes, bytes + cells * sizeof(T));
}

TEST(RealGrids, GeometryCopyMatchesGdalsReadingOfTheOriginal) {
    if (!std::filesystem::is_directory(kRealData)) {
        FAIL() << "real data folder missing: " << kRealData;
    }
    const Case cases[] = {
        {"MOD09GQ.A2005001.h18v03.005.subset_utm32_3x5.hdf", "MODIS_Grid_2D", "sur_refl_b01_1",
         kInt16},
        {"MOD11A1.A2017147.h12v11.006.2017151182710.hdf", "MODIS_Grid_Daily_1km_LST", "LST_Day_1km",
         kUInt16},
        {"MOD13A2.A2016145.h18v04.006.2016166145124.subset.hdf", "MODIS_Grid_16DAY_1km_VI",
         "1 km 16 days NDVI", kInt16},
        {"MCD15A2.A2002185.h00v08.005.2007172150237.hdf", "MOD_Grid_MOD15A2", "Lai_1km", kUInt8},
    };
    GDALAllRegister();
    testsupport::TempDir dir;
    for (const Case &c : cases) {
        const std::string original = kRealData + "/" + c.file;
        if (!std::filesystem::exists(original)) {
            ADD_FAILURE() << "missing " << original;
            continue;
        }
        GridReader in;
        ASSERT_TRUE(in.open(original, c.grid)) << c.file;
        const std::optional<FieldInfo> info = in.fieldInfo(c.field);
        ASSERT_TRUE(info) << c.file;
        ASSERT_EQ(info->rank, 2);
        EXPECT_EQ(info->numberType, c.numberType);
        EXPECT_EQ(info->dimList, "YDim,XDim");

        const std::string copy = dir.file(std::string("copy_") + c.file);
        GridWriter out;
        ASSERT_TRUE(out.create(copy, c.grid, in.geometry())) << c.file;
        std::vector<uint8_t> written;
        switch (c.numberType) {
        case kInt16:
            written = copyField<int16_t>(in, out, c.field, *info);
            break;
        case kUInt16:
            written = copyField<uint16_t>(in, out, c.field, *info);
            break;
        default:
            written = copyField<uint8_t>(in, out, c.field, *info);
            break;
        }
        ASSERT_TRUE(out.commit()) << c.file;

        GDALDatasetUniquePtr a(GDALDataset::Open(gdalName(original, c.grid, c.field).c_str(),
                                                 GDAL_OF_RASTER | GDAL_OF_READONLY));
        GDALDatasetUniquePtr b(GDALDataset::Open(gdalName(copy, c.grid, c.field).c_str(),
                                                 GDAL_OF_RASTER | GDAL_OF_READONLY));
        ASSERT_TRUE(a && b) << c.file;
        EXPECT_EQ(a->GetRasterXSize(), b->GetRasterXSize()) << c.file;
        EXPECT_EQ(a->GetRasterYSize(), b->GetRasterYSize()) << c.file;
        EXPECT_EQ(a->GetRasterXSize(), in.geometry().columns);
        EXPECT_EQ(a->GetRasterYSize(), in.geometry().rows);
        double ga[6] = {};
        double gb[6] = {};
        ASSERT_EQ(a->GetGeoTransform(ga), CE_None) << c.file;
        ASSERT_EQ(b->GetGeoTransform(gb), CE_None) << c.file;
        for (int i = 0; i < 6; ++i) {
            EXPECT_NEAR(ga[i], gb[i], 1e-6) << c.file << " coefficient " << i;
        }
        ASSERT_NE(a->GetSpatialRef(), nullptr);
        ASSERT_NE(b->GetSpatialRef(), nullptr);
        EXPECT_TRUE(a->GetSpatialRef()->IsSame(b->GetSpatialRef())) << c.file;

        GDALRasterBand *band = a->GetRasterBand(1);
        const size_t elementSize =
            static_cast<size_t>(GDALGetDataTypeSizeBytes(band->GetRasterDataType()));
        std::vector<uint8_t> gdalValues(written.size());
        ASSERT_EQ(written.size(),
                  static_cast<size_t>(a->GetRasterXSize()) * a->GetRasterYSize() * elementSize);
        ASSERT_EQ(band->RasterIO(GF_Read, 0, 0, a->GetRasterXSize(), a->GetRasterYSize(),
                                 gdalValues.data(), a->GetRasterXSize(), a->GetRasterYSize(),
                                 band->GetRasterDataType(), 0, 0),
                  CE_None);
        EXPECT_EQ(gdalValues, written) << c.file;
    }
}

// Known values of the small reflectance subset, read through the module.
TEST(RealGrids, ReflectanceSubsetValues) {
    const std::string path = kRealData + "/MOD09GQ.A2005001.h18v03.005.subset_utm32_3x5.hdf";
    if (!std::filesystem::exists(path)) {
        FAIL() << "real data missing: " << path;
    }
    GridReader in;
    ASSERT_TRUE(in.open(path, "MODIS_Grid_2D"));
    EXPECT_EQ(in.geometry().columns, 5);
    EXPECT_EQ(in.geometry().rows, 3);
    EXPECT_EQ(in.geometry().projectionCode, 1); // UTM
    EXPECT_EQ(in.geometry().zoneCode, 32);
    EXPECT_EQ(in.geometry().originCode, 0);
    std::vector<int16_t> red(15);
    ASSERT_TRUE(in.readField("sur_refl_b01_1", rowsColumns(in.geometry()), red.data(), red.size()));
    EXPECT_EQ(red, (std::vector<int16_t>{7492, 7327, 7327, 7131, 7187, 6604, 6604, 7423, 7131, 7131,
                                         7441, 7441, 7423, 7423, 7507}));
    std::vector<int8_t> observations(15);
    ASSERT_TRUE(in.readField("num_observations", rowsColumns(in.geometry()), observations.data(),
                             observations.size()));
    EXPECT_EQ(observations, std::vector<int8_t>(15, 2));
    // The 16-bit reflectance cannot be read into an 8-bit buffer.
    std::vector<uint8_t> bytes(30);
    EXPECT_FALSE(in.readField("sur_refl_b01_1", rowsColumns(in.geometry()), bytes.data(), 30));
    bool reachedMax = true;
    const std::vector<Attribute> attributes = in.readAttributes("sur_refl_b01_1", 32, &reachedMax);
    EXPECT_FALSE(reachedMax);
    ASSERT_FALSE(attributes.empty());
    EXPECT_EQ(attributes[0].name, "long_name");
    const std::string longName(attributes[0].bytes.begin(), attributes[0].bytes.end());
    EXPECT_EQ(longName.substr(0, 45), "250m Surface Reflectance Band 1 - first layer");
}

} // namespace
