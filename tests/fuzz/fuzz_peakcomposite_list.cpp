// Fuzz target: any bytes as the input list file of the period compositor.
#include "fuzzinput.h"
#include "peakcomposite.h"
#include "textinput.h"

#include <cctype>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const fuzzinput::TempFile file("fuzz-composite-list", data, size);
    std::vector<std::string> entries;
    if (!veg::fileio::readPathList(file.path(), veg::peakcomposite::kMaxListEntries, entries)) {
        return 0;
    }
    if (entries.size() > veg::peakcomposite::kMaxListEntries + 1) {
        __builtin_trap(); // reading must stop right after the first entry too many
    }
    for (const std::string &entry : entries) {
        if (entry.empty()) {
            __builtin_trap();
        }
        for (const char c : entry) {
            if (std::isspace(static_cast<unsigned char>(c))) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
