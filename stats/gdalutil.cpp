// Raster description printed by GdalUtil::readUint8Band.
#include "gdalutil.h"

#include "gdaldataset.h"

#include <gdal.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <vector>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

namespace {

// The sampled line covers up to this many rows from kSampleFirstRow on, resampled into one line.
const int kSampleFirstRow = 7999;
const int kSampleRows = 8000;

// printf-style text written to a stream.
void print(std::ostream &out, const char *format, ...) __attribute__((format(printf, 2, 3)));
void print(std::ostream &out, const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length > 0) {
        std::vector<char> text(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        out.write(text.data(), length);
    }
    va_end(again);
}

void printSampleLine(std::ostream &out, GDALRasterBandH band) {
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
                print(out, "%i ", value);
            }
        }
    }
    out << "\n";
}

} // namespace

int GdalUtil::readUint8Band(const char *path) { return readUint8Band(path, std::cout); }

int GdalUtil::readUint8Band(const char *path, std::ostream &out) {
    print(out, "file=%s\n", path);
    const veg::fileio::GdalDataset owner =
        veg::fileio::openRaster(path, veg::fileio::GdalErrors::Verbose);
    if (!owner) {
        return 0;
    }
    const GDALDatasetH dataset = GDALDataset::ToHandle(owner.get());
    try {
        print(out, "File is open.....\n");
        GDALDriverH driver = GDALGetDatasetDriver(dataset);
        const char *longName = GDALGetMetadataItem(driver, GDAL_DMD_LONGNAME, nullptr);
        print(out, "Driver: %s/%s\n", GDALGetDescription(driver), longName ? longName : "");
        print(out, "Size is %dx%dx%d\n", GDALGetRasterXSize(dataset), GDALGetRasterYSize(dataset),
              GDALGetRasterCount(dataset));
        const char *projection = GDALGetProjectionRef(dataset);
        if (projection != nullptr) {
            print(out, "Projection is `%s'\n", projection);
        }
        double transform[6];
        if (GDALGetGeoTransform(dataset, transform) == CE_None) {
            print(out, "Origin = (%.6f,%.6f)\n", transform[0], transform[3]);
            print(out, "Pixel Size = (%.6f,%.6f)\n", transform[1], transform[5]);
        }
        if (GDALGetRasterCount(dataset) < 1) {
            return 0;
        }
        GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
        int blockX = 0;
        int blockY = 0;
        GDALGetBlockSize(band, &blockX, &blockY);
        print(out, "Block=%dx%d Type=%s, ColorInterp=%s\n", blockX, blockY,
              GDALGetDataTypeName(GDALGetRasterDataType(band)),
              GDALGetColorInterpretationName(GDALGetRasterColorInterpretation(band)));
        int hasMinimum = 0;
        int hasMaximum = 0;
        double range[2] = {GDALGetRasterMinimum(band, &hasMinimum),
                           GDALGetRasterMaximum(band, &hasMaximum)};
        if (!hasMinimum || !hasMaximum) {
            GDALComputeRasterMinMax(band, TRUE, range);
        }
        print(out, "Min=%.3fd, Max=%.3f\n", range[0], range[1]);
        if (GDALGetOverviewCount(band) > 0) {
            print(out, "Band has %d overviews.\n", GDALGetOverviewCount(band));
        }
        GDALColorTableH colours = GDALGetRasterColorTable(band);
        if (colours != nullptr) {
            print(out, "Band has a color table with %d entries.\n",
                  GDALGetColorEntryCount(colours));
        }
        const int width = GDALGetRasterBandXSize(band);
        print(out, "nXsize=%i\n\n", width);
        print(out, "nXsize=%i\n", width);
        printSampleLine(out, band);
        return 1;
    } catch (...) {
        return 0;
    }
}

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
