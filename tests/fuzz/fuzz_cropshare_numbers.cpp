// Fuzz target: the numbers and names of the crop-share programs. The input, split at NUL bytes,
// gives the county file and code, the raster path, the crop code, the folder and the filter.
#include "cropshare.h"
#include "fuzzinput.h"

#include <array>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace veg::cropshare;
    std::vector<std::string> parts = fuzzinput::splitAtNul(data, size, 6);
    parts.resize(6);
    const std::string &county = parts[0];
    const std::string &code = parts[1];
    const std::string &raster = parts[2];
    const std::string &cropText = parts[3];
    const std::string &folder = parts[4];
    const std::string &filterText = parts[5];

    const int cropCode = parseWholeNumber(cropText);
    const int filter = parseWholeNumber(filterText);
    (void)baseName(raster);
    const std::string clip = clipName(folder, raster, code);
    (void)percentName(folder, code, cropText, filterText);
    (void)clipArguments(county, code, "240", raster, clip);
    (void)clipCommandText(county, code, "30", raster, clip);

    // Two blocks of crop cells from the input bytes, then one row of shares over them.
    constexpr size_t kBlocks = 2;
    constexpr size_t kStride = kBlocks * kBlockSide;
    std::array<uint8_t, kStride * kBlockSide> crop{};
    for (size_t i = 0; i < crop.size() && i < size; ++i) {
        crop[i] = data[size - 1 - i];
    }
    std::array<uint8_t, kBlocks> counts{};
    countBlocks(crop.data(), kStride, kBlocks, cropCode, counts.data());
    for (const uint8_t count : counts) {
        if (count > kBlockCells) {
            __builtin_trap();
        }
    }
    const std::array<uint8_t, kBlocks + 1> ndvi{{200, 10, 7}};
    std::array<uint8_t, kBlocks + 1> row{};
    WeightedSum total;
    shareRow(counts.data(), kBlocks, row.size(), filter, 0, ndvi.data(), row.data(), total);
    for (const uint8_t pct : row) {
        if (pct > 100) {
            __builtin_trap();
        }
    }
    (void)formatAverage(total);
    return 0;
}
