// Value retrieval: coordinate arithmetic, reductions and the two programs' runs.
#include "probe.h"

#include "gdaldataset.h"
#include "resultfile.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <locale>
#include <memory>
#include <sstream>
#include <vector>

namespace veg {
namespace probe {

const char *const kAlbersDefinition = "+proj=aea +lat_1=29.5 +lat_2=45.5 +lat_0=23 +lon_0=-96 "
                                      "+x_0=0 +y_0=0 +ellps=GRS80 +datum=NAD83 +units=m +no_defs";

namespace {

// Largest strip of a box window read in one call, in bytes.
constexpr size_t kStripBytes = size_t{1} << 20;

struct TransformDeleter {
    void operator()(OGRCoordinateTransformation *ct) const {
        OGRCoordinateTransformation::DestroyCT(ct);
    }
};
using TransformPtr = std::unique_ptr<OGRCoordinateTransformation, TransformDeleter>;

// The longitude/latitude to Albers transformation, or null when it cannot be created.
TransformPtr makeAlbersTransform() {
    OGRSpatialReference source;
    OGRSpatialReference target;
    if (source.SetWellKnownGeogCS("EPSG:4326") != OGRERR_NONE)
        return nullptr;
    // x is longitude and y latitude, whatever the authority's axis order says.
    source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (target.importFromProj4(kAlbersDefinition) != OGRERR_NONE)
        return nullptr;
    target.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return TransformPtr(OGRCreateCoordinateTransformation(&source, &target));
}

bool toAlbers(OGRCoordinateTransformation &ct, double &x, double &y) {
    return ct.Transform(1, &x, &y) && std::isfinite(x) && std::isfinite(y);
}

void printFailedOpen(std::ostream &out, const std::string &path) {
    out << "GDAL failed to open the input file " << path << ", please check the path.\n";
}

void printFailedTransform(std::ostream &out) {
    out << "Can not convert lot/lon to Albers projection, sorry! \n";
}

GeoTransform geoTransformOf(GDALDataset &ds) {
    GeoTransform gt{{0, 1, 0, 0, 0, 1}};
    // Without a geotransform GDAL's identity (pixel numbers) stands, as GDAL itself reports it.
    ds.GetGeoTransform(gt.data());
    return gt;
}

// Reads a window of band 1 as bytes in strips of rows and counts the values.
bool countWindow(GDALRasterBand &band, const Window &w, ValueCounts &counts) {
    const size_t width = static_cast<size_t>(w.xlength);
    const int32_t rowsPerStrip = static_cast<int32_t>(
        std::max<size_t>(1, std::min<size_t>(kStripBytes / width, static_cast<size_t>(w.ylength))));
    std::vector<uint8_t> strip(width * static_cast<size_t>(rowsPerStrip));
    for (int32_t row = 0; row < w.ylength; row += rowsPerStrip) {
        const int32_t rows = std::min(rowsPerStrip, w.ylength - row);
        if (band.RasterIO(GF_Read, w.xstart, w.ystart + row, w.xlength, rows, strip.data(),
                          w.xlength, rows, GDT_Byte, 0, 0, nullptr) != CE_None)
            return false;
        // Each strip is read once: dropping its cached blocks keeps memory small and lets the
        // next strip reuse their memory.
        band.FlushCache(false);
        counts.add(strip.data(), width * static_cast<size_t>(rows));
    }
    return true;
}

void printUsage(std::ostream &out, const char *arguments) {
    out << "Usage: vegprobe\n" << arguments << "\n[do not support coordinates query!!!]\n";
}

// Writes the result digits; false after printing why not.
bool writeResult(std::ostream &out, const std::string &path, uint32_t value) {
    std::string error;
    if (resultfile::writeResultFile(path, std::to_string(value), error))
        return true;
    out << "Can not write the output file " << path << ": " << error << "\n";
    return false;
}

bool emptyOutput(std::ostream &out, const std::string &path) {
    std::string error;
    if (resultfile::emptyResultFile(path, error))
        return true;
    out << "Can not open the output file " << path << ": " << error << "\n";
    return false;
}

void printOutsideRaster(std::ostream &out, const std::string &what, const std::string &path,
                        int64_t width, int64_t height) {
    out << what << " is not wholly inside the raster " << path << " of " << width << "x" << height
        << " cells.\n";
}

struct PreparedQuery {
    fileio::GdalDataset raster;
    GeoTransform geoTransform{};
};

// The steps both forms take before placing their coordinates: empty the result file, open the
// raster, take its geotransform and move "LATLON" points (x, y pairs in `points`) to Albers
// metres in place. False after printing the failure.
bool prepareQuery(std::ostream &out, const std::string &output, const std::string &path,
                  CoordinateMode coordinates, double *points, size_t count, PreparedQuery &query) {
    if (!emptyOutput(out, output))
        return false;
    query.raster = fileio::openRaster(path);
    if (!query.raster) {
        printFailedOpen(out, path);
        return false;
    }
    if (coordinates != CoordinateMode::Pixel)
        query.geoTransform = geoTransformOf(*query.raster);
    if (coordinates == CoordinateMode::LatLon) {
        TransformPtr ct = makeAlbersTransform();
        bool ok = ct != nullptr;
        for (size_t i = 0; ok && i < count; ++i)
            ok = toAlbers(*ct, points[2 * i], points[2 * i + 1]);
        if (!ok) {
            printFailedTransform(out);
            return false;
        }
    }
    return true;
}

} // namespace

CoordinateMode parseCoordinateMode(const std::string &text) {
    if (text == "AEA")
        return CoordinateMode::Georeferenced;
    if (text == "LATLON")
        return CoordinateMode::LatLon;
    return CoordinateMode::Pixel;
}

RetrievalMode parseRetrievalMode(const std::string &text) {
    if (text == "ONE")
        return RetrievalMode::One;
    if (text == "THREE_MAX")
        return RetrievalMode::ThreeMax;
    if (text == "THREE_MIN")
        return RetrievalMode::ThreeMin;
    if (text == "THREE_AVE")
        return RetrievalMode::ThreeAve;
    if (text == "THREE_MED")
        return RetrievalMode::ThreeMed;
    return RetrievalMode::Unknown;
}

double parseNumber(const std::string &text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double value = 0;
    // No number leaves 0; a number beyond the double range gives the largest double of its sign,
    // which no cell number can hold, so the run reports it instead of using a made-up 0.
    in >> value;
    return value;
}

bool truncateToInt(double value, int32_t &result) {
    if (!std::isfinite(value))
        return false;
    const double t = std::trunc(value);
    if (t < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        t > static_cast<double>(std::numeric_limits<int32_t>::max()))
        return false;
    result = static_cast<int32_t>(t);
    return true;
}

bool boxWindow(CoordinateMode mode, double xmin, double ymin, double xmax, double ymax,
               const GeoTransform &gt, Window &window) {
    Window w;
    bool ok;
    if (mode == CoordinateMode::Pixel) {
        ok = truncateToInt(xmin, w.xstart) && truncateToInt(ymin, w.ystart) &&
             truncateToInt(xmax - xmin, w.xlength) && truncateToInt(ymax - ymin, w.ylength);
    } else {
        ok = truncateToInt((xmin - gt[0]) / gt[1], w.xstart) &&
             truncateToInt((ymin - gt[3]) / gt[5], w.ystart) &&
             truncateToInt((xmax - xmin) / gt[1], w.xlength) &&
             truncateToInt(std::fabs((ymax - ymin) / gt[5]), w.ylength);
    }
    if (ok)
        window = w;
    return ok;
}

bool pointCell(CoordinateMode mode, double x, double y, const GeoTransform &gt, int32_t &column,
               int32_t &row) {
    if (mode == CoordinateMode::Pixel)
        return truncateToInt(x, column) && truncateToInt(y, row);
    return truncateToInt((x - gt[0]) / gt[1], column) && truncateToInt((y - gt[3]) / gt[5], row);
}

bool windowInside(const Window &w, int64_t width, int64_t height) {
    return w.xlength > 0 && w.ylength > 0 && w.xstart >= 0 && w.ystart >= 0 &&
           int64_t{w.xstart} + w.xlength <= width && int64_t{w.ystart} + w.ylength <= height;
}

void ValueCounts::add(const uint8_t *values, size_t n) {
    total += n;
    if (!perValue) {
        uint8_t low = lowest, high = highest;
        uint64_t s = 0;
        for (size_t i = 0; i < n; ++i) {
            low = std::min(low, values[i]);
            high = std::max(high, values[i]);
            s += values[i];
        }
        lowest = low;
        highest = high;
        sum += s;
        return;
    }
    // Four tables take turns so that runs of equal values do not wait on one counter.
    constexpr size_t kChunk = size_t{1} << 30; // keeps every 32-bit counter below overflow
    for (size_t begin = 0; begin < n; begin += kChunk) {
        const size_t end = std::min(n, begin + kChunk);
        std::array<std::array<uint32_t, 256>, 4> part{};
        size_t i = begin;
        for (; i + 4 <= end; i += 4) {
            ++part[0][values[i]];
            ++part[1][values[i + 1]];
            ++part[2][values[i + 2]];
            ++part[3][values[i + 3]];
        }
        for (; i < end; ++i)
            ++part[0][values[i]];
        for (size_t v = 0; v < 256; ++v)
            counts[v] += uint64_t{part[0][v]} + part[1][v] + part[2][v] + part[3][v];
    }
}

uint32_t reduceBox(RetrievalMode mode, const ValueCounts &values) {
    if (values.total == 0)
        return 0;
    // The smallest, the largest and the sum, from whichever form the values were kept in.
    uint32_t lowest = values.lowest, highest = values.highest;
    uint64_t sum = values.sum;
    if (values.perValue) {
        lowest = 255;
        highest = 0;
        sum = 0;
        for (uint32_t v = 0; v < 256; ++v) {
            if (!values.counts[v])
                continue;
            lowest = std::min(lowest, v);
            highest = v;
            sum += values.counts[v] * v;
        }
    }
    switch (mode) {
    case RetrievalMode::ThreeMax:
        return highest;
    case RetrievalMode::ThreeMin:
        return lowest;
    case RetrievalMode::One:
    case RetrievalMode::ThreeAve:
        return static_cast<uint32_t>(sum / values.total);
    case RetrievalMode::ThreeMed: {
        if (!values.perValue)
            return 0;
        const uint64_t index = values.total / 2;
        uint64_t below = 0;
        for (int v = 0; v < 256; ++v) {
            below += values.counts[v];
            if (below > index)
                return static_cast<uint32_t>(v);
        }
        return 0;
    }
    case RetrievalMode::Unknown:
        break;
    }
    return 0;
}

uint32_t reduceBlock(RetrievalMode mode, const std::array<uint8_t, 9> &values) {
    switch (mode) {
    case RetrievalMode::ThreeMax:
        return *std::max_element(values.begin(), values.end());
    case RetrievalMode::ThreeMin:
        return *std::min_element(values.begin(), values.end());
    case RetrievalMode::ThreeAve: {
        uint32_t sum = 0;
        for (uint8_t v : values)
            sum += v;
        return sum / 9;
    }
    case RetrievalMode::ThreeMed: {
        std::array<uint8_t, 9> sorted = values;
        std::nth_element(sorted.begin(), sorted.begin() + 5, sorted.end());
        return sorted[5];
    }
    case RetrievalMode::One:
    case RetrievalMode::Unknown:
        break;
    }
    return 0;
}

int runBox(const cli::Args &args, std::ostream &out) {
    if (args.size() < 9) {
        printUsage(out, "proj xmin ymin xmax ymax path output mode");
        return cli::kExitSuccess;
    }
    const std::string &proj = args[1];
    const std::string &xminText = args[2], &yminText = args[3];
    const std::string &xmaxText = args[4], &ymaxText = args[5];
    const std::string &path = args[6], &output = args[7], &modeText = args[8];
    const CoordinateMode coordinates = parseCoordinateMode(proj);
    const RetrievalMode mode = parseRetrievalMode(modeText);
    double xmin = parseNumber(xminText), ymin = parseNumber(yminText);
    double xmax = parseNumber(xmaxText), ymax = parseNumber(ymaxText);

    double corners[4] = {xmin, ymin, xmax, ymax};
    PreparedQuery query;
    if (!prepareQuery(out, output, path, coordinates, corners, 2, query))
        return cli::kExitFailure;
    fileio::GdalDataset &ds = query.raster;
    const GeoTransform &gt = query.geoTransform;
    xmin = corners[0], ymin = corners[1], xmax = corners[2], ymax = corners[3];
    out << "proj=" << proj << ", xminv=" << xminText << ", yminv=" << yminText
        << ", xmax=" << xmaxText << ", ymax=" << ymaxText << ", path=" << path
        << ", retrieveMode=" << modeText << "\n";
    Window w;
    if (!boxWindow(coordinates, xmin, ymin, xmax, ymax, gt, w)) {
        out << "The window of " << path << " cannot be placed: a corner lies too far away.\n";
        return cli::kExitFailure;
    }
    out << "xstart=" << w.xstart << ", ystart" << w.ystart << ", xlength=" << w.xlength
        << ", ylength=" << w.ylength << "\n";
    const int64_t width = ds->GetRasterXSize(), height = ds->GetRasterYSize();
    if (w.xlength <= 0 || w.ylength <= 0) {
        out << "The window of " << path << " has no cells: xlength and ylength must be positive.\n";
        return cli::kExitFailure;
    }
    if (!windowInside(w, width, height)) {
        printOutsideRaster(out, "The window", path, width, height);
        return cli::kExitFailure;
    }
    GDALRasterBand *band = ds->GetRasterBand(1);
    ValueCounts counts(needsCountsPerValue(mode));
    if (!band || !countWindow(*band, w, counts)) {
        out << "GDAL failed to read the window from " << path << ".\n";
        return cli::kExitFailure;
    }
    const uint32_t result = reduceBox(mode, counts);
    out << "ndviValueChar=" << result << "\n";
    if (!writeResult(out, output, result))
        return cli::kExitFailure;
    ds.reset();
    out << "Bye\n";
    return cli::kExitSuccess;
}

int runPoint(const cli::Args &args, std::ostream &out) {
    if (args.size() < 7) {
        printUsage(out, "mode x y path output");
        return cli::kExitSuccess;
    }
    const std::string &proj = args[1];
    const std::string &path = args[4], &output = args[5];
    const CoordinateMode coordinates = parseCoordinateMode(proj);
    const RetrievalMode mode = parseRetrievalMode(args[6]);
    double x = parseNumber(args[2]), y = parseNumber(args[3]);

    double point[2] = {x, y};
    PreparedQuery query;
    if (!prepareQuery(out, output, path, coordinates, point, 1, query))
        return cli::kExitFailure;
    fileio::GdalDataset &ds = query.raster;
    const GeoTransform &gt = query.geoTransform;
    x = point[0], y = point[1];
    int32_t column = 0, row = 0;
    if (!pointCell(coordinates, x, y, gt, column, row)) {
        out << "The point cannot be placed on " << path << ": it lies too far away.\n";
        return cli::kExitFailure;
    }
    out << "mode=" << proj << ", xv=" << column << ", yv=" << row << ", path=" << path << "\n";

    const int64_t width = ds->GetRasterXSize(), height = ds->GetRasterYSize();
    const bool single = mode == RetrievalMode::One;
    // The 3x3 block is centred on the cell; a cell in the first row or column has none.
    const int32_t reach = single ? 0 : 1;
    Window w;
    w.xlength = w.ylength = 2 * reach + 1;
    const bool placeable = column >= reach && row >= reach;
    if (placeable) {
        w.xstart = column - reach;
        w.ystart = row - reach;
    }
    if (!placeable || !windowInside(w, width, height)) {
        printOutsideRaster(out, single ? "The cell" : "The 3x3 window around the cell", path, width,
                           height);
        return cli::kExitFailure;
    }
    std::array<uint8_t, 9> block{};
    GDALRasterBand *band = ds->GetRasterBand(1);
    if (!band || band->RasterIO(GF_Read, w.xstart, w.ystart, w.xlength, w.ylength, block.data(),
                                w.xlength, w.ylength, GDT_Byte, 0, 0, nullptr) != CE_None) {
        out << "GDAL failed to read the cell from " << path << ".\n";
        return cli::kExitFailure;
    }
    const uint32_t result = single ? block[0] : reduceBlock(mode, block);
    if (!writeResult(out, output, result))
        return cli::kExitFailure;
    ds.reset();
    out << "Bye\n";
    return cli::kExitSuccess;
}

} // namespace probe

namespace vegprobe {
int run(const cli::Args &args, std::ostream &out, std::ostream &) {
    return probe::runBox(args, out);
}
} // namespace vegprobe

namespace vegprobe_point {
int run(const cli::Args &args, std::ostream &out, std::ostream &) {
    return probe::runPoint(args, out);
}
} // namespace vegprobe_point

} // namespace veg
