// The mask rasteriser: describes the raster, reads band 1 as bytes and writes them as the mask
// grid with the raster's corners and the reference grid's projection and dimension list.
#include "zonegrid.h"

#include "gridio.h"
#include "products.h"

#include <gdal_priv.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>

namespace zonegrid {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitUnreadable = 254;
constexpr int kExitFailed = 255;

std::string format(const char *pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0) {
        std::vsnprintf(&text[0], text.size() + 1, pattern, again);
    }
    va_end(again);
    return text;
}

void printUsage(const std::string &name, std::ostream &out) {
    using veg::grid::kGridName;
    out << "Usage: " << name
        << " <inputHDFfile> <outputfile> <refhdfeos4proj> {refgridname} {reffieldname}\n"
        << "       " << name << " {refgridname} default - " << kGridName << "\n"
        << "       " << name << " {reffieldname} default - " << veg::grid::kReferenceField << "\n"
        << "Example:" << name << " test.hdf tmask.hdf MOD09GQ.A2020208.h26v05.006.NRT.hdf\n"
        << "Example:" << name << " cropland.tif cropmask.hdf MOD09GQ.A2020208.h26v05.006.NRT.hdf "
        << kGridName << "\n"
        << "Example:" << name << " country.tif countrymask.hdf MOD09GQ.A2020208.h26v05.006.NRT.hdf "
        << kGridName << " " << veg::grid::kNirField << "\n";
}

// Prints the short description of the raster and its first band.
void describe(GDALDataset &raster, GDALRasterBand *band, bool hasGeoTransform,
              const std::array<double, 6> &g, std::ostream &out) {
    GDALDriver *driver = raster.GetDriver();
    const char *shortName = driver ? driver->GetDescription() : "";
    const char *longName = driver ? driver->GetMetadataItem(GDAL_DMD_LONGNAME) : nullptr;
    out << format("Driver: %s/%s\n", shortName, longName ? longName : "");
    out << format("Size is %dx%dx%d\n", raster.GetRasterXSize(), raster.GetRasterYSize(),
                  raster.GetRasterCount());
    const char *projection = raster.GetProjectionRef();
    if (projection != nullptr && projection[0] != '\0') {
        out << format("Projection is `%s'\n", projection);
    }
    if (hasGeoTransform) {
        out << format("Origin = (%.6f,%.6f)\n", g[0], g[3]);
        out << format("Pixel Size = (%.6f,%.6f)\n", g[1], g[5]);
    }
    if (band == nullptr) {
        return;
    }
    int blockWidth = 0, blockHeight = 0;
    band->GetBlockSize(&blockWidth, &blockHeight);
    out << format("Block=%dx%d Type=%s, ColorInterp=%s\n", blockWidth, blockHeight,
                  GDALGetDataTypeName(band->GetRasterDataType()),
                  GDALGetColorInterpretationName(band->GetColorInterpretation()));
    int gotMin = 0, gotMax = 0;
    double minMax[2] = {band->GetMinimum(&gotMin), band->GetMaximum(&gotMax)};
    if (!gotMin || !gotMax) {
        GDALComputeRasterMinMax(GDALRasterBand::ToHandle(band), TRUE, minMax);
    }
    out << format("Min=%.3fd, Max=%.3f\n", minMax[0], minMax[1]);
    if (band->GetOverviewCount() > 0) {
        out << format("Band has %d overviews.\n", band->GetOverviewCount());
    }
    if (const GDALColorTable *table = band->GetColorTable()) {
        out << format("Band has a color table with %d entries.\n", table->GetColorEntryCount());
    }
}

// Turns a row-major raster of rows x columns into the column-major layout of an "XDim,YDim" field.
std::unique_ptr<uint8_t[]> columnMajor(const uint8_t *cells, size_t columns, size_t rows) {
    std::unique_ptr<uint8_t[]> turned(new uint8_t[columns * rows]);
    for (size_t r = 0; r < rows; ++r) {
        for (size_t c = 0; c < columns; ++c) {
            turned[c * rows + r] = cells[r * columns + c];
        }
    }
    return turned;
}

} // namespace

Corners cornersOf(const std::array<double, 6> &g, int columns, int rows) {
    Corners c;
    c.upperLeft = {g[0], g[3]};
    c.lowerRight = {g[0] + columns * g[1], g[3] + rows * g[5]};
    return c;
}

int runZonegrid(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    if (args.size() < 4) {
        printUsage(args.empty() ? "zonegrid" : args[0], out);
        return kExitFailed;
    }
    const std::string &rasterPath = args[1];
    const std::string &outputPath = args[2];
    const std::string &referencePath = args[3];
    const std::string gridName = args.size() > 4 ? args[4] : veg::grid::kGridName;
    const std::string fieldName = args.size() > 5 ? args[5] : veg::grid::kReferenceField;

    GDALAllRegister();
    // A raster that cannot be opened is reported by the message below alone.
    CPLPushErrorHandler(CPLQuietErrorHandler);
    GDALDatasetUniquePtr raster(
        GDALDataset::Open(rasterPath.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    CPLPopErrorHandler();
    if (!raster) {
        out << "Error: Unable to open file " << rasterPath << "\n";
        return kExitUnreadable;
    }
    std::array<double, 6> g{};
    const bool hasGeoTransform = raster->GetGeoTransform(g.data()) == CE_None;
    GDALRasterBand *band = raster->GetRasterCount() >= 1 ? raster->GetRasterBand(1) : nullptr;
    describe(*raster, band, hasGeoTransform, g, out);
    if (!hasGeoTransform) {
        // Without it the mask would land at made-up coordinates.
        err << "The raster " << rasterPath << " has no geotransform; the mask cannot be placed.\n";
        return kExitFailed;
    }
    if (band == nullptr) {
        err << "The raster " << rasterPath << " has no band to read.\n";
        return kExitFailed;
    }
    const int columns = raster->GetRasterXSize();
    const int rows = raster->GetRasterYSize();
    const std::optional<size_t> cells = veg::grid::checkedCellCount(columns, rows);
    std::unique_ptr<uint8_t[]> values;
    if (cells && *cells > 0) {
        values.reset(new (std::nothrow) uint8_t[*cells]);
    }
    if (!values || band->RasterIO(GF_Read, 0, 0, columns, rows, values.get(), columns, rows,
                                  GDT_Byte, 0, 0) != CE_None) {
        err << "Read band 1 of " << rasterPath << " failed.\n";
        return kExitFailed;
    }
    out << format("value at center = %d\n",
                  values[static_cast<size_t>(rows / 2) * static_cast<size_t>(columns) +
                         static_cast<size_t>(columns / 2)]);

    veg::grid::GridGeometry geometry;
    std::string dimList;
    {
        veg::grid::GridReader reference;
        std::optional<veg::grid::FieldInfo> info;
        if (!reference.open(referencePath, gridName) || !(info = reference.fieldInfo(fieldName))) {
            err << "open file or get info for " << referencePath << " failed.\n";
            return kExitFailed;
        }
        geometry = reference.geometry();
        dimList = info->dimList;
    }
    const int referenceColumns = geometry.columns;
    const int referenceRows = geometry.rows;
    const Corners corners = cornersOf(g, columns, rows);
    out << format("yDimSize=%d; YSize=%d\n", referenceRows, rows);
    out << format("npixel=%d, size=%li\n", static_cast<int>(static_cast<int64_t>(columns) * rows),
                  static_cast<long>(*cells));
    out << "Mem set\n";
    out << format("xDimSize=%d\n", referenceColumns);
    out << format("yDimSize=%d\n", referenceRows);
    out << format("upplerleft=%lf,%lf\n", corners.upperLeft[0], corners.upperLeft[1]);
    out << format("lowerright=%lf,%lf\n", corners.lowerRight[0], corners.lowerRight[1]);

    geometry.columns = columns;
    geometry.rows = rows;
    geometry.upperLeft = corners.upperLeft;
    geometry.lowerRight = corners.lowerRight;
    const veg::grid::ProductLayout &layout = veg::grid::productLayout(veg::grid::ProductKind::Mask);
    veg::grid::GridWriter output;
    if (!output.create(outputPath, veg::grid::kGridName, geometry) ||
        !output.defineFields(layout, dimList)) {
        output.abandon();
        err << "create output file/grid/field for " << rasterPath << " - " << outputPath
            << " failed.\n";
        return kExitFailed;
    }
    // An "XDim,YDim" field holds the cells column by column.
    const bool byColumns = dimList == "XDim,YDim";
    if (byColumns) {
        values = columnMajor(values.get(), static_cast<size_t>(columns), static_cast<size_t>(rows));
    }
    const veg::grid::Edge edge =
        byColumns ? veg::grid::Edge{columns, rows} : veg::grid::Edge{rows, columns};
    if (!output.writeField(veg::grid::kMaskField, edge, values.get(), *cells) ||
        !output.writeLayoutAttributes(layout) || !output.commit()) {
        output.abandon();
        err << "write data to " << outputPath << " failed.\n";
        return kExitFailed;
    }
    out << "Done.";
    return kExitDone;
}

} // namespace zonegrid
