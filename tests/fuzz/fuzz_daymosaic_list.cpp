// Fuzz target: any bytes as the tile list file of the daily NDVI generator.
#include "file_list.h"
#include "fuzzinput.h"

#include <cstddef>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const fuzzinput::TempFile file("fuzz-tile-list", data, size);
    veg::daymosaic::FileList list;
    const int held = veg::daymosaic::readFileList(list, file.path());
    if (held < 0 || held > veg::daymosaic::kMaxTiles ||
        static_cast<size_t>(held) != list.paths.size() || list.extra < 0) {
        __builtin_trap();
    }
    for (const std::string &path : list.paths) {
        if (path.empty()) {
            __builtin_trap(); // tokens are never empty
        }
    }
    return 0;
}
