// Reader of the first band of a GDAL raster as 8-bit unsigned samples, with its size, geotransform,
// projection text and byte value range. Also built as a separate object file for other programs.
#pragma once

#include "MessageLog.h"
#include "gdaldataset.h"

#include <gdal_priv.h>

#include <cstdint>
#include <string>
#include <vector>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

class GdalUint8Reader {
  public:
    // Opens path read-only; `opened` tells whether band 1 is ready. Messages for standard output
    // are collected in `messages`.
    explicit GdalUint8Reader(const std::string &path);
    ~GdalUint8Reader();
    GdalUint8Reader(const GdalUint8Reader &) = delete;
    GdalUint8Reader &operator=(const GdalUint8Reader &) = delete;

    // Opens the dataset (kept when already held) and the band `bandNo`; false when the file is not
    // a raster or has too few bands.
    bool open();
    // The window of `width` x `height` pixels at column xOffset and row yOffset, rows one after
    // another, in a buffer the caller frees with VSIFree. Null when the band is not GDT_Byte, the
    // window lies outside the band, memory is short or the read fails.
    uint8_t *read(int xOffset, int yOffset, int width, int height);
    // The band's category names, in order; empty when it has none.
    std::vector<std::string> getCategories();
    // Forgets the band and closes the dataset.
    void close();

    static bool FileExists(const std::string &path);

    bool opened = false;
    int bandNo = -1;
    veg::fileio::GdalDataset dataset; // closed by close() and the destructor
    GDALRasterBand *band = nullptr;   // owned by the dataset
    int xSize = 0;
    int ySize = 0;
    std::string projection;
    double geoTransform[6] = {0, 0, 0, 0, 0, 0};
    std::string fileName;
    uint8_t minValue = 0;
    uint8_t maxValue = 0;

    // Lines for standard output from opening and reading, in order, until the caller takes them.
    veg::stats::MessageLog messages;
};

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
