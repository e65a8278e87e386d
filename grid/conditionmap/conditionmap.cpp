// conditionmap: reads the four extremes fields and the NDVI field whole, computes the condition
// index of every cell and writes the VCI grid with the NDVI grid's geometry.
#include "conditionmap.h"

#include "gridio.h"
#include "memorycheck.h"
#include "productio.h"
#include "products.h"
#include "vci.h"

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace veg::conditionmap {

namespace {

using veg::cli::kExitFailure;
using veg::cli::kExitStop;
using veg::cli::kExitSuccess;

struct Options {
    std::string extremesPath;
    std::string ndviPath;
    std::string outputPath;
    std::optional<uint64_t> availableMemory; // bytes; unknown: no check
};

// The whole-grid arrays of one run, 13 bytes per cell.
struct Arrays {
    std::vector<int16_t> ndvi, max, min1, min2, min3, vci16;
    std::vector<uint8_t> vci8;

    explicit Arrays(size_t cells)
        : ndvi(cells, veg::grid::kNoData16), max(cells, veg::grid::kNoData16),
          min1(cells, veg::grid::kNoData16), min2(cells, veg::grid::kNoData16),
          min3(cells, veg::grid::kNoData16), vci16(cells, veg::grid::kNoData16),
          vci8(cells, veg::grid::kNoData8) {}
};

// Geometry and dimension list for the output: whatever the last file opened and the last field
// queried gave.
struct Held {
    veg::grid::GridGeometry geometry;
    std::string dimList;
    bool sameDimLists = true; // every field queried in the file has the first one's list
};

// Opens a grid and queries the named fields in order; false at the first failure.
bool openAndQuery(veg::grid::GridReader &reader, const std::string &path,
                  const std::vector<const char *> &fields, Held &held) {
    if (!reader.open(path, veg::grid::kGridName)) {
        return false;
    }
    held.geometry = reader.geometry();
    held.sameDimLists = true;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::optional<veg::grid::FieldInfo> info = reader.fieldInfo(fields[i]);
        if (!info) {
            return false;
        }
        held.sameDimLists = held.sameDimLists && (i == 0 || info->dimList == held.dimList);
        held.dimList = info->dimList;
    }
    return true;
}

std::string openFailed(const std::string &path) {
    return "open file or get info for " + path + " failed.\n";
}

std::string readFailed(const std::string &path) { return "read data from " + path + " failed.\n"; }

int runWith(const Options &options, std::ostream &out, std::ostream &err) {
    Held held;
    veg::grid::GridReader extremes;
    if (!openAndQuery(extremes, options.extremesPath,
                      {veg::grid::kMinField, veg::grid::kMaxField, veg::grid::kMin2Field,
                       veg::grid::kMin3Field},
                      held)) {
        err << openFailed(options.extremesPath);
        return kExitStop;
    }
    const veg::grid::GridGeometry extremesGeometry = extremes.geometry();
    // Cells pair up only when every field is stored in one order: on a square grid a field stored
    // columns first would read without complaint and pair the wrong cells.
    const std::string extremesDimList = held.dimList;
    const bool extremesOneOrder = held.sameDimLists;
    const veg::grid::Edge edge = veg::grid::rowsColumns(extremesGeometry);
    // Seven arrays of 13 bytes per cell in all; the product is checked before anything is sized.
    const std::optional<size_t> cells =
        veg::grid::checkedCellCount(extremesGeometry.columns, extremesGeometry.rows, 13);
    if (!cells) {
        err << "grid of " << options.extremesPath << " is too large to hold in memory.\n";
        return kExitStop;
    }
    if (const std::optional<veg::grid::MemoryShortfall> shortfall =
            veg::grid::checkMemory(*cells, options.availableMemory)) {
        err << veg::grid::memoryShortfallMessage(options.extremesPath, extremesGeometry.columns,
                                                 extremesGeometry.rows, *shortfall);
        return kExitStop;
    }
    const size_t n = *cells / 13;
    Arrays a(n);

    bool ok = extremesOneOrder &&
              extremes.readField(veg::grid::kMinField, edge, a.min1.data(), n) &&
              extremes.readField(veg::grid::kMaxField, edge, a.max.data(), n) &&
              extremes.readField(veg::grid::kMin2Field, edge, a.min2.data(), n) &&
              extremes.readField(veg::grid::kMin3Field, edge, a.min3.data(), n);
    if (!ok) {
        err << readFailed(options.extremesPath);
    }
    extremes.close();

    if (ok) {
        veg::grid::GridReader ndvi;
        if (!openAndQuery(ndvi, options.ndviPath, {veg::grid::kNdviField}, held)) {
            err << openFailed(options.ndviPath);
            return kExitStop;
        }
        const veg::grid::GridGeometry &g = ndvi.geometry();
        if (g.columns != extremesGeometry.columns || g.rows != extremesGeometry.rows ||
            held.dimList != extremesDimList) {
            err << "grid of " << options.ndviPath << " (" << g.columns << " x " << g.rows
                << ") differs in size from " << options.extremesPath << " ("
                << extremesGeometry.columns << " x " << extremesGeometry.rows << ").\n";
            return kExitStop;
        }
        if (!ndvi.readField(veg::grid::kNdviField, edge, a.ndvi.data(), n)) {
            err << readFailed(options.ndviPath);
            // A read that failed part way leaves nothing of it behind.
            a.ndvi.assign(n, veg::grid::kNoData16);
            ok = false;
        }
    }

    computeVci(a.ndvi.data(), a.max.data(), a.min1.data(), a.min2.data(), a.min3.data(),
               a.vci16.data(), a.vci8.data(), n);

    const veg::grid::ProductTarget target{options.outputPath,
                                          veg::grid::kGridName,
                                          held.geometry,
                                          held.dimList,
                                          veg::grid::productLayout(veg::grid::ProductKind::Vci),
                                          edge};
    const veg::grid::WriteResult written = veg::grid::writeProduct(
        target, {veg::grid::cellsOf(a.vci16.data(), n), veg::grid::cellsOf(a.vci8.data(), n)});
    if (written.failedAt == veg::grid::WriteStep::Create) {
        err << "create output vci to " << options.outputPath << " failed.\n";
        return kExitStop;
    }
    if (!written.ok()) {
        err << "write VCI data to " << options.outputPath << " failed.\n"
            << veg::grid::fileLimitAdvice(written, options.outputPath);
        return kExitStop;
    }
    out << (ok ? "O.K.\n" : "Failed.\n");
    return ok ? kExitSuccess : kExitFailure;
}

} // namespace

int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err) {
    if (args.size() < 4) {
        const std::string self = args.empty() ? "conditionmap" : args[0];
        out << "Usage: " << self << " <max-min file> <ndvi file> <output vci file>\n"
            << "  e.g. " << self
            << " maxmin_31.hdf ndvi_31_2024.07.30_2024.08.05.hdf "
               "vci_31_2024.07.30_2024.08.05.hdf\n";
        return kExitStop;
    }
    const Options options{args[1], args[2], args[3], veg::grid::availableMemory()};
    try {
        const int status = runWith(options, out, err);
        out.flush();
        return status;
    } catch (const std::bad_alloc &) {
        err << "not enough memory for the grid of " << options.extremesPath << ".\n";
        return kExitStop;
    }
}

} // namespace veg::conditionmap
