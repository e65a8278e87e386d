// The mask rasteriser: reads band 1 of the raster as bytes and the reference grid's projection and
// dimension list, places the bytes by the raster's corners, and writes them as the mask grid.
#include "zonegrid.h"

#include "gdaldataset.h"
#include "gridio.h"
#include "memorycheck.h"
#include "productio.h"
#include "products.h"

#include <gdal_priv.h>

#include <memory>
#include <new>
#include <optional>

namespace veg::zonegrid {
namespace {

using veg::cli::format;
using veg::cli::kExitStop;
using veg::cli::kExitSuccess;
using veg::cli::kExitUnreadable;

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

// Band 1 of the raster as bytes, row by row.
struct RasterCells {
    int columns = 0;
    int rows = 0;
    size_t cells = 0;
    std::unique_ptr<uint8_t[]> values;
};

// Reads band 1 whole; false when the cells cannot be held or read.
bool readBand(GDALRasterBand &band, int columns, int rows, RasterCells &raster) {
    const std::optional<size_t> cells = veg::grid::checkedCellCount(columns, rows);
    if (!cells || *cells == 0) {
        return false;
    }
    raster.columns = columns;
    raster.rows = rows;
    raster.cells = *cells;
    raster.values = veg::grid::allocateCells<uint8_t>(*cells);
    return raster.values && band.RasterIO(GF_Read, 0, 0, columns, rows, raster.values.get(),
                                          columns, rows, GDT_Byte, 0, 0) == CE_None;
}

// The reference grid's geometry and the dimension list of its field; nothing when it cannot be
// opened or queried.
struct Reference {
    veg::grid::GridGeometry geometry;
    std::string dimList;
};

std::optional<Reference> readReference(const Options &options) {
    veg::grid::GridReader reference;
    std::optional<veg::grid::FieldInfo> info;
    if (!reference.open(options.referencePath, options.gridName) ||
        !(info = reference.fieldInfo(options.fieldName))) {
        return std::nullopt;
    }
    return Reference{reference.geometry(), info->dimList};
}

// Prints the reference grid's size beside the raster's, and the corners the mask takes.
void describePlacement(const veg::grid::GridGeometry &reference, const RasterCells &cells,
                       const veg::grid::GridGeometry &mask, std::ostream &out) {
    out << format("yDimSize=%d; YSize=%d\n", reference.rows, cells.rows);
    out << format("npixel=%d, size=%li\n",
                  static_cast<int>(static_cast<int64_t>(cells.columns) * cells.rows),
                  static_cast<long>(cells.cells));
    out << "Mem set\n";
    out << format("xDimSize=%d\n", reference.columns);
    out << format("yDimSize=%d\n", reference.rows);
    out << format("upplerleft=%lf,%lf\n", mask.upperLeft[0], mask.upperLeft[1]);
    out << format("lowerright=%lf,%lf\n", mask.lowerRight[0], mask.lowerRight[1]);
}

} // namespace

Corners cornersOf(const std::array<double, 6> &g, int columns, int rows) {
    Corners c;
    c.upperLeft = {g[0], g[3]};
    c.lowerRight = {g[0] + columns * g[1], g[3] + rows * g[5]};
    return c;
}

veg::grid::GridGeometry maskGeometry(const veg::grid::GridGeometry &reference,
                                     const std::array<double, 6> &g, int columns, int rows) {
    const Corners corners = cornersOf(g, columns, rows);
    veg::grid::GridGeometry geometry = reference;
    geometry.columns = columns;
    geometry.rows = rows;
    geometry.upperLeft = corners.upperLeft;
    geometry.lowerRight = corners.lowerRight;
    return geometry;
}

std::unique_ptr<uint8_t[]> columnMajor(const uint8_t *cells, size_t columns, size_t rows) {
    std::unique_ptr<uint8_t[]> turned = veg::grid::allocateCells<uint8_t>(columns * rows);
    if (!turned) {
        throw std::bad_alloc();
    }
    for (size_t r = 0; r < rows; ++r) {
        for (size_t c = 0; c < columns; ++c) {
            turned[c * rows + r] = cells[r * columns + c];
        }
    }
    return turned;
}

bool parseArguments(const veg::cli::Args &args, Options &options) {
    if (args.size() < 4) {
        return false;
    }
    options.rasterPath = args[1];
    options.outputPath = args[2];
    options.referencePath = args[3];
    if (args.size() > 4) {
        options.gridName = args[4];
    }
    if (args.size() > 5) {
        options.fieldName = args[5];
    }
    return true;
}

int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err) {
    Options options;
    if (!parseArguments(args, options)) {
        printUsage(args.empty() ? "zonegrid" : args[0], out);
        return kExitStop;
    }
    const std::string &rasterPath = options.rasterPath;
    const std::string &outputPath = options.outputPath;

    // Read: the raster (a raster that cannot be opened is reported by the message below alone),
    // its description, band 1, then the reference grid.
    const veg::fileio::GdalDataset raster =
        veg::fileio::openRaster(rasterPath, veg::fileio::GdalErrors::Quiet);
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
        return kExitStop;
    }
    if (band == nullptr) {
        err << "The raster " << rasterPath << " has no band to read.\n";
        return kExitStop;
    }
    const std::optional<uint64_t> available = veg::grid::availableMemory();
    const int64_t rasterCells =
        static_cast<int64_t>(raster->GetRasterXSize()) * raster->GetRasterYSize();
    if (const auto shortfall =
            veg::grid::checkMemory(static_cast<uint64_t>(rasterCells), available)) {
        err << veg::grid::memoryShortfallMessage(rasterPath, raster->GetRasterXSize(),
                                                 raster->GetRasterYSize(), *shortfall);
        return kExitStop;
    }
    RasterCells cells;
    if (!readBand(*band, raster->GetRasterXSize(), raster->GetRasterYSize(), cells)) {
        err << "Read band 1 of " << rasterPath << " failed.\n";
        return kExitStop;
    }
    const int columns = cells.columns;
    const int rows = cells.rows;
    out << format("value at center = %d\n",
                  cells.values[static_cast<size_t>(rows / 2) * static_cast<size_t>(columns) +
                               static_cast<size_t>(columns / 2)]);
    const std::optional<Reference> reference = readReference(options);
    if (!reference) {
        err << "open file or get info for " << options.referencePath << " failed.\n";
        return kExitStop;
    }

    // Compute: the mask grid's geometry, and the cells in the order of the dimension list.
    const veg::grid::GridGeometry geometry = maskGeometry(reference->geometry, g, columns, rows);
    describePlacement(reference->geometry, cells, geometry, out);
    // An "XDim,YDim" field holds the cells column by column.
    const bool byColumns = reference->dimList == "XDim,YDim";
    if (byColumns) {
        // The cells are turned into a second array of the same size.
        if (const auto shortfall = veg::grid::checkMemory(2 * cells.cells, available)) {
            err << veg::grid::memoryShortfallMessage(rasterPath, columns, rows, *shortfall);
            return kExitStop;
        }
        cells.values = columnMajor(cells.values.get(), static_cast<size_t>(columns),
                                   static_cast<size_t>(rows));
    }

    // Write.
    const veg::grid::ProductTarget target{outputPath,
                                          veg::grid::kGridName,
                                          geometry,
                                          reference->dimList,
                                          veg::grid::productLayout(veg::grid::ProductKind::Mask),
                                          byColumns ? veg::grid::Edge{columns, rows}
                                                    : veg::grid::Edge{rows, columns}};
    const veg::grid::WriteResult written =
        veg::grid::writeProduct(target, {veg::grid::cellsOf(cells.values.get(), cells.cells)});
    if (written.failedAt == veg::grid::WriteStep::Create) {
        err << "create output file/grid/field for " << rasterPath << " - " << outputPath
            << " failed.\n";
        return kExitStop;
    }
    if (!written.ok()) {
        err << "write data to " << outputPath << " failed.\n"
            << veg::grid::fileLimitAdvice(written, outputPath);
        return kExitStop;
    }
    out << "Done.";
    return kExitSuccess;
}

} // namespace veg::zonegrid
