// Opening GDAL datasets.
#include "gdaldataset.h"

#include <cpl_error.h>

namespace veg::fileio {

namespace {

GdalDataset openWith(const std::string &path, unsigned flags, GdalErrors errors) {
    GDALAllRegister();
    if (errors == GdalErrors::Verbose) {
        flags |= GDAL_OF_VERBOSE_ERROR;
    }
    if (errors == GdalErrors::Quiet) {
        CPLPushErrorHandler(CPLQuietErrorHandler);
    }
    GdalDataset dataset(
        GDALDataset::FromHandle(GDALOpenEx(path.c_str(), flags, nullptr, nullptr, nullptr)));
    if (errors == GdalErrors::Quiet) {
        CPLPopErrorHandler();
    }
    return dataset;
}

} // namespace

GdalDataset openRaster(const std::string &path, GdalErrors errors) {
    return openWith(path, GDAL_OF_RASTER | GDAL_OF_READONLY, errors);
}

GdalDataset openVector(const std::string &path, GdalErrors errors) {
    return openWith(path, GDAL_OF_VECTOR | GDAL_OF_READONLY, errors);
}

} // namespace veg::fileio
