// GeoTIFF writing and reading for tests through GDAL.
#include "support/geotiff.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <stdexcept>

namespace testsupport {
namespace {

void writeRaster(const std::string &path, const RasterSpec &rasterSpec, GDALDataType type,
                 const void *data) {
    GDALAllRegister();
    GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!driver)
        throw std::runtime_error("GTiff driver missing");
    GDALDatasetUniquePtr ds(
        driver->Create(path.c_str(), rasterSpec.width, rasterSpec.height, 1, type, nullptr));
    if (!ds)
        throw std::runtime_error("cannot create " + path);
    if (rasterSpec.setGeoTransform) {
        std::array<double, 6> gt = rasterSpec.geoTransform;
        ds->SetGeoTransform(gt.data());
    }
    if (!rasterSpec.wkt.empty()) {
        OGRSpatialReference srs;
        if (srs.SetFromUserInput(rasterSpec.wkt.c_str()) != OGRERR_NONE)
            throw std::runtime_error("bad projection " + rasterSpec.wkt);
        ds->SetSpatialRef(&srs);
    }
    GDALRasterBand *band = ds->GetRasterBand(1);
    if (rasterSpec.hasNoData)
        band->SetNoDataValue(rasterSpec.noData);
    if (band->RasterIO(GF_Write, 0, 0, rasterSpec.width, rasterSpec.height,
                       const_cast<void *>(data), rasterSpec.width, rasterSpec.height, type, 0,
                       0) != CE_None)
        throw std::runtime_error("cannot write " + path);
    ds.reset();
}

} // namespace

void writeByteGeoTiff(const std::string &path, const RasterSpec &rasterSpec,
                      const std::vector<uint8_t> &values) {
    if (values.size() !=
        static_cast<size_t>(rasterSpec.width) * static_cast<size_t>(rasterSpec.height))
        throw std::runtime_error("cell count does not match raster size");
    writeRaster(path, rasterSpec, GDT_Byte, values.data());
}

void writeInt16GeoTiff(const std::string &path, const RasterSpec &rasterSpec,
                       const std::vector<int16_t> &values) {
    if (values.size() !=
        static_cast<size_t>(rasterSpec.width) * static_cast<size_t>(rasterSpec.height))
        throw std::runtime_error("cell count does not match raster size");
    writeRaster(path, rasterSpec, GDT_Int16, values.data());
}

std::vector<uint8_t> readByteBand(const std::string &path, int *width, int *height) {
    GDALAllRegister();
    GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    if (!ds)
        throw std::runtime_error("cannot open " + path);
    int w = ds->GetRasterXSize(), h = ds->GetRasterYSize();
    std::vector<uint8_t> values(static_cast<size_t>(w) * static_cast<size_t>(h));
    if (ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, w, h, values.data(), w, h, GDT_Byte, 0, 0) !=
        CE_None)
        throw std::runtime_error("cannot read " + path);
    if (width)
        *width = w;
    if (height)
        *height = h;
    return values;
}

} // namespace testsupport
