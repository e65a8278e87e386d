// The one owner of a GDAL dataset used by every program: GDAL's own unique pointer, opened through
// one function so that error handling is the same everywhere.
#pragma once

#include <gdal_priv.h>

#include <string>

namespace veg::fileio {

using GdalDataset = GDALDatasetUniquePtr;

// Reported: GDAL's error messages reach standard error; Quiet: they are kept off it; Verbose: as
// Reported, and GDAL also reports a file that no driver recognises.
enum class GdalErrors { Reported, Quiet, Verbose };

// Opens a raster read-only (GDALAllRegister first). Null when GDAL cannot open it. With
// GdalErrors::Quiet GDAL's own error message is kept off standard error, so only the program's
// message appears.
GdalDataset openRaster(const std::string &path, GdalErrors errors = GdalErrors::Reported);

// Opens a vector layer source read-only; null when GDAL cannot open it.
GdalDataset openVector(const std::string &path, GdalErrors errors = GdalErrors::Reported);

} // namespace veg::fileio
