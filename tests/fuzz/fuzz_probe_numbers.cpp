// Fuzz target: the numbers and mode names of the retrieval programs. The input, split at NUL bytes,
// gives the coordinate mode, four coordinates, six geotransform coefficients and the reduction.
// The window arithmetic must never overflow, and a window it accepts must be one it can read.
#include "fuzzinput.h"
#include "probe.h"

#include <array>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace veg::probe;
    std::vector<std::string> parts = fuzzinput::splitAtNul(data, size, 12);
    parts.resize(12);
    const CoordinateMode coordinates = parseCoordinateMode(parts[0]);
    std::array<double, 4> corner{};
    for (size_t i = 0; i < corner.size(); ++i) {
        corner[i] = parseNumber(parts[1 + i]);
    }
    GeoTransform gt{};
    for (size_t i = 0; i < gt.size(); ++i) {
        gt[i] = parseNumber(parts[5 + i]);
    }
    const RetrievalMode mode = parseRetrievalMode(parts[11]);

    Window window;
    if (boxWindow(coordinates, corner[0], corner[1], corner[2], corner[3], gt, window)) {
        const int64_t width = 4800;
        const int64_t height = 4800;
        if (windowInside(window, width, height) &&
            (window.xstart < 0 || window.ystart < 0 || window.xlength <= 0 || window.ylength <= 0 ||
             window.xstart + int64_t{window.xlength} > width ||
             window.ystart + int64_t{window.ylength} > height)) {
            __builtin_trap();
        }
    }
    int32_t column = 0;
    int32_t row = 0;
    (void)pointCell(coordinates, corner[0], corner[1], gt, column, row);

    ValueCounts counts;
    std::array<uint8_t, 9> block{};
    for (size_t i = 0; i < block.size() && i < size; ++i) {
        block[i] = data[i];
    }
    counts.add(block.data(), block.size());
    const uint32_t boxValue = reduceBox(mode, counts);
    const uint32_t blockValue = reduceBlock(mode, block);
    if (boxValue > 255 || blockValue > 255) {
        __builtin_trap(); // a reduction of bytes is a byte
    }
    return 0;
}
