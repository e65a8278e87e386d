// Raster description printed by GdalUtil::readUint8Band.
#include "gdalutil.h"

#include <gdal.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

namespace {

// The sampled line covers up to this many rows from kSampleFirstRow on, resampled into one line.
const int kSampleFirstRow = 7999;
const int kSampleRows = 8000;

// Owner of a dataset opened through the C interface.
class DatasetHandle {
  public:
    explicit DatasetHandle(const char *path) : handle_(GDALOpen(path, GA_ReadOnly)) {}
    ~DatasetHandle() {
        if (handle_ != nullptr) {
            GDALClose(handle_);
        }
    }
    DatasetHandle(const DatasetHandle &) = delete;
    DatasetHandle &operator=(const DatasetHandle &) = delete;
    GDALDatasetH get() const { return handle_; }

  private:
    GDALDatasetH handle_;
};

void printSampleLine(GDALRasterBandH band) {
    const int width = GDALGetRasterBandXSize(band);
    const int height = GDALGetRasterBandYSize(band);
    // The window is cut to the band so that a small raster prints its last rows instead of
    // whatever a refused read leaves in the buffer.
    const int firstRow = std::min(kSampleFirstRow, height - 1);
    const int rows = std::min(kSampleRows, height - firstRow);
    std::vector<unsigned char> line(static_cast<size_t>(width), 255);
    if (width > 0 && rows > 0 &&
        GDALRasterIO(band, GF_Read, 0, firstRow, width, rows, line.data(), width, 1, GDT_Byte, 0,
                     0) == CE_None) {
        for (unsigned char value : line) {
            if (value != 255) {
                std::printf("%i ", value);
            }
        }
    }
    std::printf("\n");
}

} // namespace

int GdalUtil::readUint8Band(const char *path) {
    std::printf("file=%s\n", path);
    GDALAllRegister();
    DatasetHandle dataset(path);
    if (dataset.get() == nullptr) {
        return 0;
    }
    try {
        std::printf("File is open.....\n");
        GDALDriverH driver = GDALGetDatasetDriver(dataset.get());
        const char *longName = GDALGetMetadataItem(driver, GDAL_DMD_LONGNAME, nullptr);
        std::printf("Driver: %s/%s\n", GDALGetDescription(driver), longName ? longName : "");
        std::printf("Size is %dx%dx%d\n", GDALGetRasterXSize(dataset.get()),
                    GDALGetRasterYSize(dataset.get()), GDALGetRasterCount(dataset.get()));
        const char *projection = GDALGetProjectionRef(dataset.get());
        if (projection != nullptr) {
            std::printf("Projection is `%s'\n", projection);
        }
        double transform[6];
        if (GDALGetGeoTransform(dataset.get(), transform) == CE_None) {
            std::printf("Origin = (%.6f,%.6f)\n", transform[0], transform[3]);
            std::printf("Pixel Size = (%.6f,%.6f)\n", transform[1], transform[5]);
        }
        if (GDALGetRasterCount(dataset.get()) < 1) {
            return 0;
        }
        GDALRasterBandH band = GDALGetRasterBand(dataset.get(), 1);
        int blockX = 0;
        int blockY = 0;
        GDALGetBlockSize(band, &blockX, &blockY);
        std::printf("Block=%dx%d Type=%s, ColorInterp=%s\n", blockX, blockY,
                    GDALGetDataTypeName(GDALGetRasterDataType(band)),
                    GDALGetColorInterpretationName(GDALGetRasterColorInterpretation(band)));
        int hasMinimum = 0;
        int hasMaximum = 0;
        double range[2] = {GDALGetRasterMinimum(band, &hasMinimum),
                           GDALGetRasterMaximum(band, &hasMaximum)};
        if (!hasMinimum || !hasMaximum) {
            GDALComputeRasterMinMax(band, TRUE, range);
        }
        std::printf("Min=%.3fd, Max=%.3f\n", range[0], range[1]);
        if (GDALGetOverviewCount(band) > 0) {
            std::printf("Band has %d overviews.\n", GDALGetOverviewCount(band));
        }
        GDALColorTableH colours = GDALGetRasterColorTable(band);
        if (colours != nullptr) {
            std::printf("Band has a color table with %d entries.\n",
                        GDALGetColorEntryCount(colours));
        }
        const int width = GDALGetRasterBandXSize(band);
        std::printf("nXsize=%i\n\n", width);
        std::printf("nXsize=%i\n", width);
        printSampleLine(band);
        return 1;
    } catch (...) {
        return 0;
    }
}

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
