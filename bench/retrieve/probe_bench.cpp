// Box-retrieval benchmark on a 4800x4800 raster: vegprobe's whole run (every mode over the whole
// raster, in process) timed side by side with reading the same window once through GDAL.
// Arguments: <work folder> [runs, default 5]. The raster is generated on the first run.
#include "benchtiming.h"
#include "gdaldataset.h"
#include "probe.h"

#include <gdal_priv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kSide = 4800;

bool writeRaster(const std::string &path) {
    GDALDriver *gtiff = GetGDALDriverManager()->GetDriverByName("GTiff");
    GDALDatasetUniquePtr ds(gtiff->Create(path.c_str(), kSide, kSide, 1, GDT_Byte, nullptr));
    if (!ds)
        return false;
    double gt[6] = {-400000, 250, 0, 2000000, 0, -250};
    ds->SetGeoTransform(gt);
    std::vector<uint8_t> row(kSide);
    for (int r = 0; r < kSide; ++r) {
        for (int c = 0; c < kSide; ++c)
            row[c] = static_cast<uint8_t>((c / 16 * 37 + r / 16 * 11) % 180 + 20);
        if (ds->GetRasterBand(1)->RasterIO(GF_Write, 0, r, kSide, 1, row.data(), kSide, 1, GDT_Byte,
                                           0, 0, nullptr) != CE_None)
            return false;
    }
    return true;
}

uint64_t readOnce(const std::string &path) {
    const veg::fileio::GdalDataset ds = veg::fileio::openRaster(path);
    if (!ds)
        return 0;
    std::vector<uint8_t> values(static_cast<size_t>(kSide) * kSide);
    if (ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, kSide, kSide, values.data(), kSide, kSide,
                                       GDT_Byte, 0, 0, nullptr) != CE_None)
        return 0;
    return 1 + values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
    std::string folder;
    int runs = 0;
    if (!benchtiming::parseArguments(argc, argv, 5, folder, runs))
        return 2;
    GDALAllRegister();
    const std::string raster = folder + "/ndvi8_4800.tif";
    const std::string output = folder + "/result.txt";
    if (!std::filesystem::exists(raster) && !writeRaster(raster)) {
        std::fprintf(stderr, "cannot write %s\n", raster.c_str());
        return 1;
    }
    const std::string side = std::to_string(kSide);
    readOnce(raster); // warm the page cache
    for (const char *mode : {"THREE_MED", "THREE_AVE", "THREE_MAX"}) {
        const veg::cli::Args args = {"vegprobe", "PIXEL", "0",    "0", side,
                                     side,       raster,  output, mode};
        std::vector<double> readTimes, probeTimes;
        for (int i = 0; i < runs; ++i) {
            auto start = std::chrono::steady_clock::now();
            const uint64_t check = readOnce(raster);
            readTimes.push_back(benchtiming::seconds(start));
            std::ostringstream lines, errors;
            start = std::chrono::steady_clock::now();
            const int status = veg::vegprobe::run(args, lines, errors);
            probeTimes.push_back(benchtiming::seconds(start));
            if (status != 0 || check == 0) {
                std::fprintf(stderr, "%s failed: %s\n", mode, lines.str().c_str());
                return 1;
            }
        }
        const double read = benchtiming::median(readTimes), probe = benchtiming::median(probeTimes);
        std::printf("%s over %dx%d, median of %d: read once %.3f s, vegprobe %.3f s, ratio %.3f\n",
                    mode, kSide, kSide, runs, read, probe, probe / read);
    }
    return 0;
}
