// Diagnostic description of a raster on standard output. Also built as a separate object file.
#pragma once

#include <ostream>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

class GdalUtil {
  public:
    // Prints the driver, size, projection, origin, pixel size, band 1 layout and range, and one
    // resampled line of band 1 values other than 255. Returns 1 when printed, 0 when the file can't
    // be opened or read.
    static int readUint8Band(const char *path);
    // The same description written to `out`.
    static int readUint8Band(const char *path, std::ostream &out);
};

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
