// Fuzz target: any bytes as the tile list file of the daily NDVI generator.
#include "file_list.h"
#include "fuzzinput.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const fuzzinput::TempFile file("fuzz-tile-list", data, size);
    daymosaic::FileList list;
    std::ostringstream out;
    std::ostringstream err;
    const int held = daymosaic::readFileList(list, file.path(), out, err);
    if (held < 0 || held > daymosaic::kMaxTiles || static_cast<size_t>(held) != list.paths.size()) {
        __builtin_trap();
    }
    for (const std::string &path : list.paths) {
        if (path.empty()) {
            __builtin_trap(); // tokens are never empty
        }
    }
    return 0;
}
