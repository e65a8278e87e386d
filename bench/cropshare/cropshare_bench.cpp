// Crop-share benchmark on a county of 3000x3000 NDVI cells (24000x24000 crop cells): the share
// stage that follows the two clipping runs, timed side by side with reading both clips once
// through GDAL. Arguments: <work folder> [runs, default 3]. The clips are generated on the first
// run and reused; the percentage raster and the average file are written into the work folder.
#include "benchtiming.h"
#include "cropshare.h"
#include "gdaldataset.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kNdviSide = 3000;
constexpr int kCropSide = kNdviSide * veg::cropshare::kBlockSide;
constexpr int kStripRows = 64;

bool writeRaster(const std::string &path, int side, double cellSize,
                 uint8_t (*value)(int column, int row)) {
    GDALDriver *gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDatasetUniquePtr ds(gtiff->Create(path.c_str(), side, side, 1, GDT_Byte, nullptr));
    if (!ds)
        return false;
    double gt[6] = {-400000, cellSize, 0, 2000000, 0, -cellSize};
    ds->SetGeoTransform(gt);
    OGRSpatialReference srs;
    srs.importFromEPSG(5070);
    ds->SetSpatialRef(&srs);
    std::vector<uint8_t> strip(static_cast<size_t>(side) * kStripRows);
    for (int row = 0; row < side; row += kStripRows) {
        const int rows = std::min(kStripRows, side - row);
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < side; ++c)
                strip[static_cast<size_t>(r) * side + c] = value(c, row + r);
        if (ds->GetRasterBand(1)->RasterIO(GF_Write, 0, row, side, rows, strip.data(), side, rows,
                                           GDT_Byte, 0, 0, nullptr) != CE_None)
            return false;
    }
    return true;
}

// Fields of 37x29 crop cells, each with one of a few crop codes.
uint8_t cropValue(int column, int row) {
    static const uint8_t codes[] = {1, 5, 24, 36, 61, 5, 1};
    const uint32_t field =
        static_cast<uint32_t>(column / 37) * 2654435761u ^ static_cast<uint32_t>(row / 29) * 40503u;
    return codes[(field >> 7) % 7];
}

uint8_t ndviValue(int column, int row) {
    return static_cast<uint8_t>((column * 7 + row * 3) % 201);
}

// Reads both clips once, in strips, as the share stage does; returns a checksum.
uint64_t readBoth(const std::string &ndviPath, const std::string &cropPath) {
    uint64_t check = 0;
    const veg::fileio::GdalDataset ndvi = veg::fileio::openRaster(ndviPath);
    const veg::fileio::GdalDataset crop = veg::fileio::openRaster(cropPath);
    if (!ndvi || !crop)
        return 0;
    std::vector<uint8_t> strip(static_cast<size_t>(kCropSide) * kStripRows);
    for (int row = 0; row < kCropSide; row += kStripRows) {
        if (crop->GetRasterBand(1)->RasterIO(GF_Read, 0, row, kCropSide, kStripRows, strip.data(),
                                             kCropSide, kStripRows, GDT_Byte, 0, 0,
                                             nullptr) != CE_None)
            return 0;
        check += strip[static_cast<size_t>(row) % strip.size()];
    }
    for (int row = 0; row < kNdviSide; row += kStripRows / 8) {
        const int rows = std::min(kStripRows / 8, kNdviSide - row);
        if (ndvi->GetRasterBand(1)->RasterIO(GF_Read, 0, row, kNdviSide, rows, strip.data(),
                                             kNdviSide, rows, GDT_Byte, 0, 0, nullptr) != CE_None)
            return 0;
        check += strip[0];
    }
    return check;
}

} // namespace

int main(int argc, char **argv) {
    std::string folder;
    int runs = 0;
    if (!benchtiming::parseArguments(argc, argv, 3, folder, runs))
        return 2;
    GDALAllRegister();
    const std::string ndviClip = folder + "/ndvi-99001.tif";
    const std::string cropClip = folder + "/cdl-99001.tif";
    if (!std::filesystem::exists(ndviClip) || !std::filesystem::exists(cropClip)) {
        std::printf("generating %dx%d NDVI and %dx%d crop clips in %s\n", kNdviSide, kNdviSide,
                    kCropSide, kCropSide, folder.c_str());
        if (!writeRaster(ndviClip, kNdviSide, 240, ndviValue) ||
            !writeRaster(cropClip, kCropSide, 30, cropValue)) {
            std::fprintf(stderr, "cannot write the clips in %s\n", folder.c_str());
            return 1;
        }
    }
    veg::cropshare::ShareJob job;
    job.ndviClip = ndviClip;
    job.cropClip = cropClip;
    job.percentPath = folder + "/generatedPercent-FIPS-99001-CropCode-5-PercentFilter-10.tif";
    job.averagePath = folder + "/average.txt";
    job.cropCode = 5;
    job.filter = 10;

    readBoth(ndviClip, cropClip); // warm the page cache for both sides alike
    std::vector<double> readTimes, shareTimes;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        const uint64_t check = readBoth(ndviClip, cropClip);
        readTimes.push_back(benchtiming::seconds(start));
        std::ostringstream lines;
        start = std::chrono::steady_clock::now();
        const bool ok = veg::cropshare::shareFromClips(job, lines);
        shareTimes.push_back(benchtiming::seconds(start));
        if (!ok || check == 0) {
            std::fprintf(stderr, "run %d failed: %s\n", i, lines.str().c_str());
            return 1;
        }
        std::printf("run %d: read both clips %.3f s, share stage %.3f s\n", i, readTimes.back(),
                    shareTimes.back());
    }
    const double read = benchtiming::median(readTimes), share = benchtiming::median(shareTimes);
    std::printf("median of %d: read both clips %.3f s, share stage %.3f s, ratio %.3f\n", runs,
                read, share, share / read);
    return 0;
}
