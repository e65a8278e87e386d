// Tiny GeoTIFF rasters for tests, written through GDAL.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct RasterSpec {
    int width = 0;
    int height = 0;
    std::array<double, 6> geoTransform{{0, 1, 0, 0, 0, -1}}; // empty wkt + all zeros: none set
    bool setGeoTransform = true;
    std::string wkt; // projection as WKT or any text OGR's SetFromUserInput takes ("EPSG:5070")
    bool hasNoData = false;
    double noData = 0;
};

// Writes a one-band Byte GeoTIFF; values holds width*height cells, row by row.
void writeByteGeoTiff(const std::string &path, const RasterSpec &shape,
                      const std::vector<uint8_t> &values);
// Writes a one-band Int16 GeoTIFF.
void writeInt16GeoTiff(const std::string &path, const RasterSpec &shape,
                       const std::vector<int16_t> &values);
// Reads band 1 of any GDAL raster as bytes (GDAL converts); throws on failure.
std::vector<uint8_t> readByteBand(const std::string &path, int *width = nullptr,
                                  int *height = nullptr);

} // namespace testsupport
