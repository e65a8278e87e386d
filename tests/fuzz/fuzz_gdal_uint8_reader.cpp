// Fuzz target: any bytes as the raster tallyband reads, through its 8-bit band reader (open, band
// size, geotransform, whole-band and window reads).
#include "GdalUint8Reader.h"
#include "fuzzinput.h"

#include <cpl_conv.h>
#include <cpl_error.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    CPLSetErrorHandler(CPLQuietErrorHandler);
    // GDAL's block cache may take 5 % of the machine's memory by default; a header that claims
    // hundreds of interleaved bands fills it with blocks it keeps, which is its policy, not a leak.
    CPLSetConfigOption("GDAL_CACHEMAX", "64");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const fuzzinput::TempFile file("fuzz-raster", data, size);
    edu::tovan::merel::gdal::GdalUint8Reader reader(file.path());
    if (!reader.opened || reader.xSize <= 0 || reader.ySize <= 0) {
        return 0;
    }
    // GDAL reads a pixel-interleaved strip of every band to give band 1: a header that claims
    // thousands of bands makes it allocate and fill gigabytes (tests/fuzz/known/). Such files are
    // GDAL's memory policy, not a fault of the reader, and are left out here.
    int blockColumns = 0, blockRows = 0;
    reader.band->GetBlockSize(&blockColumns, &blockRows);
    if (double(reader.dataset->GetRasterCount()) * blockColumns * blockRows > 256e6) {
        return 0;
    }
    // Whole bands up to 16 MB, as the calculator reads them in blocks of rows.
    const int64_t cells = int64_t(reader.xSize) * reader.ySize;
    const int rows = cells <= (int64_t(1) << 24) ? reader.ySize : 1;
    uint8_t *band = reader.read(0, 0, reader.xSize, rows);
    if (band != nullptr) {
        VSIFree(band);
    }
    uint8_t *corner = reader.read(reader.xSize - 1, reader.ySize - 1, 1, 1);
    if (corner != nullptr) {
        VSIFree(corner);
    }
    return 0;
}
