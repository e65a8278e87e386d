// Fuzz target: break keys and values. The input, split at NUL bytes, gives the break type and then
// pairs of key suffix and value; they are written as "break<suffix>=<value>" lines of one section,
// so that the fuzzer spends its effort on the break grammar rather than on INI syntax.
#include "fuzzinput.h"
#include "statsconfig.h"

#include <string>

namespace {

// Keeps a text on one INI line.
std::string oneLine(const std::string &text) {
    std::string line;
    for (const char c : text) {
        line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    }
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<std::string> parts = fuzzinput::splitAtNul(data, size, 65);
    std::string ini = "[NDVI]\ntype=" + oneLine(parts[0]) + "\n";
    for (size_t i = 1; i + 1 < parts.size(); i += 2) {
        ini += "break" + oneLine(parts[i]) + "=" + oneLine(parts[i + 1]) + "\n";
    }
    const fuzzinput::TempFile file("fuzz-breaks.ini", reinterpret_cast<const uint8_t *>(ini.data()),
                                   ini.size());
    fuzzstats::loadConfiguration("NDVI", file.path());
    return 0;
}
