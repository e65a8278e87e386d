// Fuzz target: any text as the statistics configuration file, looked up for the sections that
// tallyband's data types name.
#include "fuzzinput.h"
#include "statsconfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const fuzzinput::TempFile file("fuzz-stats.ini", data, size);
    fuzzstats::loadConfiguration("NDVI", file.path());
    fuzzstats::loadConfiguration("VCI", file.path());
    return 0;
}
