// Fuzz target: any bytes as the raster of the point and box queries (open, geotransform, the cell
// or window read and its reduction), through both programs' entry functions.
#include "fuzzinput.h"
#include "probe.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include <sstream>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    CPLSetErrorHandler(CPLQuietErrorHandler);
    CPLSetConfigOption("GDAL_CACHEMAX", "64"); // GDAL's block cache, not ours: kept small

    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const fuzzinput::TempFile raster("fuzz-probe-raster", data, size);
    const fuzzinput::TempFile result("fuzz-probe-result", nullptr, 0);
    std::ostringstream out, err;
    veg::vegprobe_point::run(
        {"vegprobe-point", "PIXEL", "1", "1", raster.path(), result.path(), "THREE_MED"}, out, err);
    veg::vegprobe::run(
        {"vegprobe", "PIXEL", "0", "0", "64", "64", raster.path(), result.path(), "THREE_AVE"}, out,
        err);
    veg::vegprobe::run({"vegprobe", "AEA", "-1e3", "1e3", "1e3", "-1e3", raster.path(),
                        result.path(), "THREE_MAX"},
                       out, err);
    return 0;
}
