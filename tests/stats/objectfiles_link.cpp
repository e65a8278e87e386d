// Links the delivered band-reader object files with GDAL alone and uses both: a missing raster is
// refused by the reader and by the description, and the program's own file is found.
#include "GdalUint8Reader.h"
#include "gdalutil.h"

#include <sstream>

int main(int argc, char **argv) {
    using edu::tovan::merel::gdal::GdalUint8Reader;
    using edu::tovan::merel::gdal::GdalUtil;
    if (argc < 2) {
        return 2;
    }
    GdalUint8Reader reader(argv[1]);
    std::ostringstream description;
    const bool refused = !reader.opened && GdalUtil::readUint8Band(argv[1], description) == 0;
    return refused && GdalUint8Reader::FileExists(argv[0]) ? 0 : 1;
}
