// Band reader of tallyband: one GDAL dataset per reader, windows of band 1 as bytes.
#include "GdalUint8Reader.h"

#include <cpl_conv.h>
#include <cpl_vsi.h>
#include <gdal.h>

#include "textinput.h"

#include <cmath>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

namespace {

// A band statistic kept in 8 bits as the integer part of the value (12.7 gives 12, 300 gives 44).
uint8_t lowByteOf(double value, uint8_t fallback) {
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) {
        return fallback;
    }
    return static_cast<uint8_t>(static_cast<int64_t>(value) & 0xff);
}

} // namespace

GdalUint8Reader::GdalUint8Reader(const std::string &path) : fileName(path) {
    bandNo = 1;
    opened = open();
}

GdalUint8Reader::~GdalUint8Reader() {
    opened = false;
    bandNo = -1;
    projection.clear();
    for (double &coefficient : geoTransform) {
        coefficient = 0;
    }
    close();
}

bool GdalUint8Reader::open() {
    try {
        if (!dataset) {
            // GDAL also says when no driver recognises the file, as its plain open does.
            dataset = veg::fileio::openRaster(fileName, veg::fileio::GdalErrors::Verbose);
        }
        if (!dataset) {
            return false;
        }
        if (projection.empty()) {
            const char *text = dataset->GetProjectionRef();
            projection = text == nullptr ? "" : text;
        }
        if (dataset->GetGeoTransform(geoTransform) != CE_None) {
            messages << "Error: Not able to get tranform data for band " << bandNo << " from "
                     << fileName << "\n";
        }
        if (dataset->GetRasterCount() < bandNo || bandNo < 1) {
            messages << "Error: Cannot open bandNo=" << bandNo << ". There are only "
                     << dataset->GetRasterCount() << " bands.\n";
            return false;
        }
        band = dataset->GetRasterBand(bandNo);
        xSize = band->GetXSize();
        ySize = band->GetYSize();
        int hasMinimum = 0;
        int hasMaximum = 0;
        double minimum = band->GetMinimum(&hasMinimum);
        double maximum = band->GetMaximum(&hasMaximum);
        minValue = hasMinimum ? lowByteOf(minimum, 0) : 0;
        maxValue = hasMaximum ? lowByteOf(maximum, 255) : 255;
        return true;
    } catch (...) {
        messages << "Error encountered!!\n";
        return false;
    }
}

uint8_t *GdalUint8Reader::read(int xOffset, int yOffset, int width, int height) {
    try {
        if (band == nullptr || band->GetRasterDataType() != GDT_Byte) {
            return nullptr;
        }
        if (xOffset < 0 || yOffset < 0 || width <= 0 || height <= 0 || xOffset > xSize - width ||
            yOffset > ySize - height) {
            return nullptr;
        }
        // VSIMalloc2 checks the product for overflow and returns null instead of aborting.
        auto *buffer = static_cast<uint8_t *>(
            VSIMalloc2(static_cast<size_t>(width), static_cast<size_t>(height)));
        if (buffer == nullptr) {
            return nullptr;
        }
        if (band->RasterIO(GF_Read, xOffset, yOffset, width, height, buffer, width, height,
                           GDT_Byte, 0, 0) != CE_None) {
            VSIFree(buffer);
            return nullptr;
        }
        return buffer;
    } catch (...) {
        messages << "Error encountered!!\n";
        return nullptr;
    }
}

std::vector<std::string> GdalUint8Reader::getCategories() {
    std::vector<std::string> names;
    if (band == nullptr) {
        return names;
    }
    char **list = band->GetCategoryNames();
    for (int i = 0; list != nullptr && list[i] != nullptr; ++i) {
        names.emplace_back(list[i]);
    }
    return names;
}

void GdalUint8Reader::close() {
    band = nullptr;
    try {
        dataset.reset();
    } catch (...) {
    }
}

bool GdalUint8Reader::FileExists(const std::string &path) { return veg::fileio::fileExists(path); }

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
