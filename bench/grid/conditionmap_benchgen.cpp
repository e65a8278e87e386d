// conditionmap_benchgen: full-size inputs of the conditionmap benchmark, written as the products
// are (deflate level 9):
//   conditionmap_benchgen <dir> [size, default 4800] [years, default 8] [noise]
// writes <dir>/extremes.hdf, the extremes grid of `years` yearly composites of one period (highest
// and three lowest valid NDVI per cell, no data where fewer were valid), and <dir>/ndvi.hdf, the
// composite grid of the year after them.
// With "noise" it writes inputs whose VCI is as large as a VCI can get: constant extremes (1000 and
// 9000, deflated to almost nothing) and an NDVI of independent noise over that range, written
// without compression so that a large input stays a readable file. From about 27000 x 27000
// cells on, its VCI cannot be held by one HDF4 file.
#include "benchgrids.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Extremes {
    std::vector<int16_t> min1, max, min2, min3;
};

// Folds one year's composite into the running extremes of every cell.
void fold(Extremes &e, const std::vector<int16_t> &ndvi) {
    for (size_t i = 0; i < ndvi.size(); ++i) {
        const int16_t n = ndvi[i];
        if (!veg::grid::isValidNdvi16(n)) {
            continue;
        }
        if (e.max[i] == veg::grid::kNoData16 || n > e.max[i]) {
            e.max[i] = n;
        }
        int16_t *lows[3] = {&e.min1[i], &e.min2[i], &e.min3[i]};
        int16_t v = n;
        for (int16_t *low : lows) {
            if (*low == veg::grid::kNoData16) {
                *low = v;
                break;
            }
            if (v < *low) {
                std::swap(v, *low);
            }
        }
    }
}

int generate(const std::string &dir, int size, int years) {
    std::filesystem::create_directories(dir);
    const size_t cells = static_cast<size_t>(size) * static_cast<size_t>(size);
    Extremes e{std::vector<int16_t>(cells, veg::grid::kNoData16),
               std::vector<int16_t>(cells, veg::grid::kNoData16),
               std::vector<int16_t>(cells, veg::grid::kNoData16),
               std::vector<int16_t>(cells, veg::grid::kNoData16)};
    for (int year = 0; year < years; ++year) {
        fold(e, benchgrids::ndviField(size, size, year));
    }
    benchgrids::writeGrid(dir + "/extremes.hdf", size, size,
                          {{veg::grid::kMinField, veg::grid::kInt16, e.min1.data(), cells * 2},
                           {veg::grid::kMaxField, veg::grid::kInt16, e.max.data(), cells * 2},
                           {veg::grid::kMin2Field, veg::grid::kInt16, e.min2.data(), cells * 2},
                           {veg::grid::kMin3Field, veg::grid::kInt16, e.min3.data(), cells * 2}});
    std::printf("%s/extremes.hdf\n", dir.c_str());

    const std::vector<int16_t> n16 = benchgrids::ndviField(size, size, years);
    const std::vector<uint8_t> n8 = benchgrids::ndvi8Field(n16);
    const std::vector<uint8_t> qc(cells, 1);
    benchgrids::writeGrid(dir + "/ndvi.hdf", size, size,
                          {{veg::grid::kNdviField, veg::grid::kInt16, n16.data(), cells * 2},
                           {veg::grid::kNdvi8Field, veg::grid::kUInt8, n8.data(), cells},
                           {veg::grid::kQcField, veg::grid::kUInt8, qc.data(), cells}});
    std::printf("%s/ndvi.hdf\n", dir.c_str());
    return 0;
}

int generateNoise(const std::string &dir, int size) {
    std::filesystem::create_directories(dir);
    const size_t cells = static_cast<size_t>(size) * static_cast<size_t>(size);
    {
        const std::vector<int16_t> low(cells, 1000);
        const std::vector<int16_t> high(cells, 9000);
        benchgrids::writeGrid(dir + "/extremes.hdf", size, size,
                              {{veg::grid::kMinField, veg::grid::kInt16, low.data(), cells * 2},
                               {veg::grid::kMaxField, veg::grid::kInt16, high.data(), cells * 2},
                               {veg::grid::kMin2Field, veg::grid::kInt16, low.data(), cells * 2},
                               {veg::grid::kMin3Field, veg::grid::kInt16, low.data(), cells * 2}});
    }
    std::printf("%s/extremes.hdf\n", dir.c_str());
    std::vector<int16_t> ndvi(cells);
    uint64_t state = 0x9e3779b97f4a7c15u;
    for (int16_t &n : ndvi) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        n = static_cast<int16_t>(1000 + state % 8001);
    }
    benchgrids::writeGrid(dir + "/ndvi.hdf", size, size,
                          {{veg::grid::kNdviField, veg::grid::kInt16, ndvi.data(), cells * 2}},
                          veg::grid::Compression::None);
    std::printf("%s/ndvi.hdf\n", dir.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: %s <dir> [size, default 4800] [years, default 8] [noise]\n",
                     argv[0]);
        return 255;
    }
    const int size = argc > 2 ? std::atoi(argv[2]) : 4800;
    const int years = argc > 3 ? std::atoi(argv[3]) : 8;
    if (size < 1 || size > 48000 || years < 1 || years > 100) {
        std::fprintf(stderr, "size must be 1..48000 and years 1..100\n");
        return 255;
    }
    try {
        return argc > 4 && std::string(argv[4]) == "noise" ? generateNoise(argv[1], size)
                                                           : generate(argv[1], size, years);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 255;
    }
}
