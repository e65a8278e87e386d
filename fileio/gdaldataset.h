// The one owner of a GDAL dataset used by every program: GDAL's own unique pointer, opened through
// one function so that error handling is the same everywhere.
#pragma once

#include <gdal_priv.h>

#include <string>

namespace veg::fileio {

using GdalDataset = GDALDatasetUniquePtr;

enum class GdalErrors { Reported, Quiet };

// Opens a raster read-only (GDALAllRegister first). Null when GDAL cannot open it. With
// GdalErrors::Quiet GDAL's own error message is kept off standard error, so only the program's
// message appears.
GdalDataset openRaster(const std::string &path, GdalErrors errors = GdalErrors::Reported);

// Opens a vector layer source read-only; null when GDAL cannot open it.
GdalDataset openVector(const std::string &path, GdalErrors errors = GdalErrors::Reported);

} // namespace veg::fileio
