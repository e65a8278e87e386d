// Inputs and I/O-only baselines for timing tallyband on full-size rasters (run by run_bench.sh).
//   tallyband_bench generate-plain <path> <size>       Byte GeoTIFF size x size, 30 m pixels
//   tallyband_bench generate-mask <data> <mask>        2000 x 2000 at 240 m, 16000 x 16000 at 30 m
//   tallyband_bench read-plain <path>                  reads band 1 in tallyband's row blocks
//   tallyband_bench read-mask <data> <mask>            reads both rasters as the mask mode does
#include "gdaldataset.h"

#include <cpl_conv.h>
#include <gdal_priv.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const int64_t kBlockBytes = 300000000;

// A smooth field of NDVI-like values with a little noise, row by row, written in strips.
bool writeRaster(const std::string &path, int size, double pixel, bool fields) {
    GDALAllRegister();
    GDALDriver *driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    char **options = CSLSetNameValue(nullptr, "BIGTIFF", "IF_SAFER");
    GDALDatasetUniquePtr ds(driver->Create(path.c_str(), size, size, 1, GDT_Byte, options));
    CSLDestroy(options);
    if (!ds) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return false;
    }
    double transform[6] = {-1000000, pixel, 0, 2000000, 0, -pixel};
    ds->SetGeoTransform(transform);
    std::vector<uint8_t> row(static_cast<size_t>(size));
    uint32_t noise = 12345;
    for (int r = 0; r < size; ++r) {
        for (int c = 0; c < size; ++c) {
            noise = noise * 1664525u + 1013904223u;
            if (fields) {
                // Crop fields of 64 x 64 pixels with one of 40 codes each.
                uint32_t cell = static_cast<uint32_t>((r / 64) * 7919 + (c / 64) * 104729);
                row[static_cast<size_t>(c)] = static_cast<uint8_t>((cell * 2654435761u) >> 26);
            } else {
                int value = 125 + (r % 1000) / 10 + (c % 800) / 16 + static_cast<int>(noise >> 29);
                row[static_cast<size_t>(c)] = static_cast<uint8_t>(std::min(value, 253));
            }
        }
        if (ds->GetRasterBand(1)->RasterIO(GF_Write, 0, r, size, 1, row.data(), size, 1, GDT_Byte,
                                           0, 0) != CE_None) {
            return false;
        }
    }
    return true;
}

// Reads band 1 in blocks of rows of at most kBlockBytes, one RasterIO per block; returns a sum
// of one byte per block so that the reads can't be dropped.
bool readBlocks(const std::string &path, unsigned &check) {
    const veg::fileio::GdalDataset ds = veg::fileio::openRaster(path);
    if (!ds) {
        return false;
    }
    GDALRasterBand *band = ds->GetRasterBand(1);
    const int64_t width = band->GetXSize();
    const int64_t height = band->GetYSize();
    const int64_t rowsPerBlock = std::max<int64_t>(1, kBlockBytes / width);
    for (int64_t first = 0; first < height; first += rowsPerBlock) {
        const int64_t rows = std::min(rowsPerBlock, height - first);
        auto *buffer = static_cast<uint8_t *>(
            VSIMalloc2(static_cast<size_t>(width), static_cast<size_t>(rows)));
        if (!buffer || band->RasterIO(GF_Read, 0, static_cast<int>(first), static_cast<int>(width),
                                      static_cast<int>(rows), buffer, static_cast<int>(width),
                                      static_cast<int>(rows), GDT_Byte, 0, 0) != CE_None) {
            VSIFree(buffer);
            return false;
        }
        check += buffer[static_cast<size_t>(width * rows / 2)];
        VSIFree(buffer);
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    unsigned check = 0;
    bool ok = false;
    if (mode == "generate-plain" && argc == 4) {
        ok = writeRaster(argv[2], std::atoi(argv[3]), 30, false);
    } else if (mode == "generate-mask" && argc == 4) {
        ok = writeRaster(argv[2], 2000, 240, false) && writeRaster(argv[3], 16000, 30, true);
    } else if (mode == "read-plain" && argc == 3) {
        ok = readBlocks(argv[2], check);
    } else if (mode == "read-mask" && argc == 4) {
        ok = readBlocks(argv[2], check) && readBlocks(argv[3], check);
    } else {
        std::fprintf(stderr, "usage: %s generate-plain|generate-mask|read-plain|read-mask ...\n",
                     argv[0]);
        return 1;
    }
    if (!ok) {
        std::fprintf(stderr, "%s failed\n", mode.c_str());
        return 1;
    }
    std::printf("check %u\n", check);
    return 0;
}
