// The daily NDVI generator: reads the tile list and the mask grid, places each tile's window in
// full-size grids, computes NDVI, finishes the 8-bit NDVI and the fill, and writes the daily grid.
#include "daymosaic.h"

#include "file_list.h"
#include "gridio.h"
#include "mosaic_rules.h"
#include "productio.h"
#include "products.h"
#include "sd_attributes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>

namespace veg::daymosaic {
namespace {

using veg::cli::kExitStop;
using veg::cli::kExitSuccessLegacy;

constexpr size_t kCarriedCount = veg::grid::kCarriedFieldCount;
using veg::grid::kCarriedFields;

// The order in which a tile's fields are queried (near infrared before red).
const size_t kQueryOrder[kCarriedCount] = {0, 2, 1, 3, 4, 5, 6, 7};

template <typename T> using Cells = std::unique_ptr<T[]>;

// The full-size grids of one run, one element per mask-grid cell, in the mask's layout.
struct Mosaic {
    int64_t columns = 0;
    int64_t rows = 0;
    int order = 1; // 1: row-major ("YDim,XDim"), 2: column-major ("XDim,YDim")
    size_t cells = 0;
    Cells<uint8_t> mask;
    Cells<int8_t> numObservations;
    Cells<int16_t> red;
    Cells<int16_t> nir;
    Cells<uint16_t> qc;
    Cells<int8_t> obscov;
    Cells<uint8_t> iobsRes;
    Cells<int8_t> orbitPointer;
    Cells<uint8_t> granulePointer;
    Cells<int16_t> ndvi;
    Cells<uint8_t> ndvi8;

    veg::grid::Edge edge() const {
        return order == 1
                   ? veg::grid::Edge{static_cast<int32_t>(rows), static_cast<int32_t>(columns)}
                   : veg::grid::Edge{static_cast<int32_t>(columns), static_cast<int32_t>(rows)};
    }
};

// Calls f(name, grid) for each carried field in product order, stopping at the first false.
// Calls f(index, grid) for each carried field in product order (its name and number type are
// kCarriedFields[index]), stopping at the first false.
template <typename F> bool forEachCarried(Mosaic &m, F &&f) {
    return f(0, m.numObservations.get()) && f(1, m.red.get()) && f(2, m.nir.get()) &&
           f(3, m.qc.get()) && f(4, m.obscov.get()) && f(5, m.iobsRes.get()) &&
           f(6, m.orbitPointer.get()) && f(7, m.granulePointer.get());
}

// One array of `count` values; throws std::bad_alloc when it cannot be had, which ends the run
// with the program's memory message.
template <typename T> Cells<T> allocateCells(size_t count) {
    Cells<T> cells = veg::grid::allocateCells<T>(count);
    if (!cells) {
        throw std::bad_alloc();
    }
    return cells;
}

// Where the mask grid lies, in projection units, and its cell size.
struct MaskFrame {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0; // upper-left and lower-right corners
    double cellWidth = 0;
    double cellHeight = 0;
};

bool frameOf(const veg::grid::GridGeometry &g, MaskFrame *frame) {
    if (g.columns <= 0 || g.rows <= 0) {
        return false;
    }
    frame->x0 = g.upperLeft[0];
    frame->y0 = g.upperLeft[1];
    frame->x1 = g.lowerRight[0];
    frame->y1 = g.lowerRight[1];
    frame->cellWidth = (frame->x1 - frame->x0) / g.columns;
    frame->cellHeight = (frame->y0 - frame->y1) / g.rows;
    return std::isfinite(frame->cellWidth) && frame->cellWidth > 0 &&
           std::isfinite(frame->cellHeight) && frame->cellHeight > 0;
}

int dimensionOrder(const std::string &dimList) {
    if (dimList == "YDim,XDim") {
        return 1;
    }
    if (dimList == "XDim,YDim") {
        return 2;
    }
    return 0;
}

// A tile's window in the mask grid.
struct TileWindow {
    AxisWindow columns;
    AxisWindow rows;
};

enum class Placement { Outside, Inside, CellSizeDiffers };

Placement placeTile(const MaskFrame &mask, const Mosaic &mosaic,
                    const veg::grid::GridGeometry &tile, TileWindow *window) {
    const double x0 = tile.upperLeft[0], y0 = tile.upperLeft[1];
    const double x1 = tile.lowerRight[0], y1 = tile.lowerRight[1];
    if (!(x0 < mask.x1 && mask.x0 < x1 && mask.y1 < y0 && y1 < mask.y0)) {
        return Placement::Outside;
    }
    if (!sameCellSize(x1 - x0, tile.columns, mask.cellWidth) ||
        !sameCellSize(y0 - y1, tile.rows, mask.cellHeight)) {
        return Placement::CellSizeDiffers;
    }
    int64_t columnOffset = 0, rowOffset = 0;
    if (!cellOffset(mask.x0, x0, mask.cellWidth, &columnOffset) ||
        !cellOffset(y0, mask.y0, mask.cellHeight, &rowOffset)) {
        return Placement::Outside;
    }
    window->columns = overlapAxis(columnOffset, tile.columns, mosaic.columns);
    window->rows = overlapAxis(rowOffset, tile.rows, mosaic.rows);
    // Less than half a cell of overlap on an axis covers no cell of the mask grid.
    return window->columns.count > 0 && window->rows.count > 0 ? Placement::Inside
                                                               : Placement::Outside;
}

bool copyWindow(const Mosaic &m, int8_t *full, const int64_t start[2], const int64_t edge[2],
                const int8_t *window) {
    return writeFieldBufInt8(full, m.columns, m.rows, start, edge, window, m.order);
}
bool copyWindow(const Mosaic &m, uint8_t *full, const int64_t start[2], const int64_t edge[2],
                const uint8_t *window) {
    return writeFieldBufUInt8(full, m.columns, m.rows, start, edge, window, m.order);
}
bool copyWindow(const Mosaic &m, int16_t *full, const int64_t start[2], const int64_t edge[2],
                const int16_t *window) {
    return writeFieldBufInt16(full, m.columns, m.rows, start, edge, window, m.order);
}
bool copyWindow(const Mosaic &m, uint16_t *full, const int64_t start[2], const int64_t edge[2],
                const uint16_t *window) {
    return writeFieldBufUInt16(full, m.columns, m.rows, start, edge, window, m.order);
}

enum class WindowResult { Copied, ReadFailed, CopyFailed };

// Reads one field's window from a tile and copies it into its full-size grid.
template <typename T>
WindowResult carryWindow(const veg::grid::GridReader &tile, const char *field,
                         const veg::grid::FieldInfo &info, const TileWindow &w, const Mosaic &m,
                         T *full, std::ostream &err) {
    const int tileOrder = dimensionOrder(info.dimList);
    const veg::grid::GridGeometry &g = tile.geometry();
    const bool sizesMatch =
        info.rank == 2 &&
        ((tileOrder == 1 && info.dims[0] == g.rows && info.dims[1] == g.columns) ||
         (tileOrder == 2 && info.dims[0] == g.columns && info.dims[1] == g.rows));
    if (!sizesMatch) {
        return WindowResult::ReadFailed;
    }
    const int64_t m_ = w.rows.count, k = w.columns.count;
    const size_t cells = static_cast<size_t>(m_) * static_cast<size_t>(k);
    Cells<T> window = allocateCells<T>(cells);
    const int32_t rowStart = static_cast<int32_t>(w.rows.tileStart);
    const int32_t columnStart = static_cast<int32_t>(w.columns.tileStart);
    const veg::grid::Edge start = tileOrder == 1 ? veg::grid::Edge{rowStart, columnStart}
                                                 : veg::grid::Edge{columnStart, rowStart};
    const veg::grid::Edge edge =
        tileOrder == 1 ? veg::grid::Edge{static_cast<int32_t>(m_), static_cast<int32_t>(k)}
                       : veg::grid::Edge{static_cast<int32_t>(k), static_cast<int32_t>(m_)};
    if (!veg::grid::readFieldWindow(tile.grid(), field, start, edge, window.get(), cells)) {
        return WindowResult::ReadFailed;
    }
    if (tileOrder != m.order) {
        // The tile's layout differs from the mask's: turn the window over.
        Cells<T> turned = allocateCells<T>(cells);
        const int64_t outer = edge.first, inner = edge.second;
        for (int64_t a = 0; a < outer; ++a) {
            for (int64_t b = 0; b < inner; ++b) {
                turned[b * outer + a] = window[a * inner + b];
            }
        }
        window = std::move(turned);
    }
    const int64_t outStart[2] = {w.rows.outputStart, w.columns.outputStart};
    const int64_t outEdge[2] = {m_, k};
    if (copyWindow(m, full, outStart, outEdge, window.get())) {
        return WindowResult::Copied;
    }
    if (m.order != 1 && m.order != 2) {
        err << "Unsupported dim order = " << m.order << "\n";
    }
    return WindowResult::CopyFailed;
}

// NDVI of the cells a tile window covers, from the reflectances just copied there.
void windowRectangleNdvi(Mosaic &m, const TileWindow &w) {
    const int64_t row0 = w.rows.outputStart, column0 = w.columns.outputStart;
    if (m.order == 1) {
        for (int64_t j = 0; j < w.rows.count; ++j) {
            const size_t at = static_cast<size_t>((row0 + j) * m.columns + column0);
            windowNdvi(m.nir.get() + at, m.red.get() + at, m.ndvi.get() + at,
                       static_cast<size_t>(w.columns.count));
        }
    } else {
        for (int64_t i = 0; i < w.columns.count; ++i) {
            const size_t at = static_cast<size_t>((column0 + i) * m.rows + row0);
            windowNdvi(m.nir.get() + at, m.red.get() + at, m.ndvi.get() + at,
                       static_cast<size_t>(w.rows.count));
        }
    }
}

void printUsage(const std::string &name, std::ostream &out) {
    out << "Usage: " << name << " <inputfilesPath> <inputMaskFilePath> <outputFilePath> \n"
        << "      <inputfilesPath> - a file contains list of files\n"
        << "      <inputMaskFilePath> - a hdfeos file containing a layer '" << veg::grid::kMaskField
        << "' of byte, 0 - outside, 255 as inside\n";
}

// The run after the arguments and the list have been checked.
class Run {
  public:
    Run(const std::vector<std::string> &tiles, std::string maskPath, std::string outputPath,
        std::ostream &out, std::ostream &err)
        : tiles_(tiles), maskPath_(std::move(maskPath)), outputPath_(std::move(outputPath)),
          out_(out), err_(err) {}

    int execute();

  private:
    int readMask();
    bool allocate();
    bool processTile(size_t index);
    bool writeOutput();

    const std::vector<std::string> &tiles_;
    std::string maskPath_;
    std::string outputPath_;
    std::ostream &out_;
    std::ostream &err_;
    veg::grid::GridGeometry maskGeometry_;
    std::string dimList_;
    MaskFrame frame_;
    Mosaic mosaic_;
    std::array<std::vector<SDAttributes>, kCarriedCount> attributes_;
    veg::grid::ProductWriter output_;
};

int Run::readMask() {
    veg::grid::GridReader mask;
    std::optional<veg::grid::FieldInfo> info;
    if (!mask.open(maskPath_, veg::grid::kGridName) ||
        !(info = mask.fieldInfo(veg::grid::kMaskField)) || !frameOf(mask.geometry(), &frame_)) {
        out_ << "Open file or get info for " << maskPath_ << " failed.\n";
        return kExitStop;
    }
    maskGeometry_ = mask.geometry();
    dimList_ = info->dimList;
    mosaic_.columns = maskGeometry_.columns;
    mosaic_.rows = maskGeometry_.rows;
    mosaic_.order = dimensionOrder(dimList_);
    if (mosaic_.order == 0) {
        err_ << "Unknown order = " << dimList_ << "\n";
        err_ << "Failed.\n";
        return kExitStop;
    }
    if (!allocate()) {
        out_ << "Not enough memory for the grids of " << maskPath_ << ".\n";
        return kExitStop;
    }
    if (!mask.readField(veg::grid::kMaskField, mosaic_.edge(), mosaic_.mask.get(), mosaic_.cells)) {
        out_ << "Failed to read the mask value to buffer.\n";
        return kExitStop;
    }
    return 0;
}

bool Run::allocate() {
    const std::optional<size_t> cells = veg::grid::checkedCellCount(mosaic_.columns, mosaic_.rows);
    // 16-bit grids need twice the bytes; keep every byte count representable.
    if (!cells || !veg::grid::checkedCellCount(mosaic_.columns, mosaic_.rows, 16)) {
        return false;
    }
    mosaic_.cells = *cells;
    try {
        const size_t n = mosaic_.cells;
        mosaic_.mask = allocateCells<uint8_t>(n);
        mosaic_.numObservations = allocateCells<int8_t>(n);
        mosaic_.red = allocateCells<int16_t>(n);
        mosaic_.nir = allocateCells<int16_t>(n);
        mosaic_.qc = allocateCells<uint16_t>(n);
        mosaic_.obscov = allocateCells<int8_t>(n);
        mosaic_.iobsRes = allocateCells<uint8_t>(n);
        mosaic_.orbitPointer = allocateCells<int8_t>(n);
        mosaic_.granulePointer = allocateCells<uint8_t>(n);
        mosaic_.ndvi = allocateCells<int16_t>(n);
        mosaic_.ndvi8 = allocateCells<uint8_t>(n);
    } catch (const std::bad_alloc &) {
        return false;
    }
    // Cells no tile covers keep the no-data value.
    std::fill_n(mosaic_.ndvi.get(), mosaic_.cells, veg::grid::kNoData16);
    return true;
}

// Reads, places and copies one tile. False when the run has failed (the message is printed).
bool Run::processTile(size_t index) {
    const std::string &path = tiles_[index];
    veg::grid::GridReader tile;
    if (!tile.open(path, veg::grid::kGridName)) {
        err_ << "Open file or get info for " << path << " failed.\n";
        return false;
    }
    std::array<veg::grid::FieldInfo, kCarriedCount> infos;
    for (size_t q : kQueryOrder) {
        std::optional<veg::grid::FieldInfo> info = tile.fieldInfo(kCarriedFields[q].name);
        if (!info) {
            err_ << "Get fields info for " << path << " failed.\n";
            return false;
        }
        infos[q] = std::move(*info);
    }
    if (index == 0) {
        for (size_t i = 0; i < kCarriedCount; ++i) {
            if (readAttributes(tile.file(), kCarriedFields[i].name, attributes_[i])) {
                err_ << "Warning: Reach maximum number of attributes for field "
                     << kCarriedFields[i].name << " in " << path << "\n";
            }
        }
        // Cells inside the mask that no tile covers get each field's own fill value.
        forEachCarried(mosaic_, [&](size_t field, auto *grid) {
            using T = std::remove_pointer_t<decltype(grid)>;
            const T fill =
                fillValueOf<T>(attributes_[field], veg::grid::NumberTypeOf<T>::value, T{0});
            std::fill_n(grid, mosaic_.cells, fill);
            return true;
        });
    }
    TileWindow window;
    switch (placeTile(frame_, mosaic_, tile.geometry(), &window)) {
    case Placement::Outside:
        return true;
    case Placement::CellSizeDiffers:
        err_ << "Cell size of " << path << " differs from the mask's.\n";
        return false;
    case Placement::Inside:
        break;
    }
    WindowResult result = WindowResult::Copied;
    forEachCarried(mosaic_, [&](size_t field, auto *grid) {
        result = carryWindow(tile, kCarriedFields[field].name, infos[field], window, mosaic_, grid,
                             err_);
        return result == WindowResult::Copied;
    });
    if (result == WindowResult::ReadFailed) {
        err_ << "Read data from " << path << " failed.\n";
        return false;
    }
    if (result == WindowResult::CopyFailed) {
        err_ << "Write NDVI and original data to buffer failed when processing " << path << ".\n";
        return false;
    }
    windowRectangleNdvi(mosaic_, window);
    return true;
}

bool Run::writeOutput() {
    const size_t n = mosaic_.cells;
    std::vector<veg::grid::FieldCells> fields;
    forEachCarried(mosaic_, [&](size_t, auto *grid) {
        fields.push_back(veg::grid::cellsOf(grid, n));
        return true;
    });
    fields.push_back(veg::grid::cellsOf(mosaic_.ndvi.get(), n));
    fields.push_back(veg::grid::cellsOf(mosaic_.ndvi8.get(), n));
    // The carried fields take the first tile's attributes, after the NDVI fields' own.
    std::vector<veg::grid::FieldAttributes> carried;
    for (size_t i = 0; i < kCarriedCount; ++i) {
        carried.push_back(veg::grid::FieldAttributes{kCarriedFields[i].name, attributes_[i]});
    }
    const bool written = output_.write(fields, carried).ok();
    if (!written) {
        err_ << "Write NDVI and original data to " << outputPath_ << " failed.\n";
    }
    return written;
}

int Run::execute() {
    const int maskStatus = readMask();
    if (maskStatus != 0) {
        return maskStatus;
    }
    const veg::grid::ProductTarget target{
        outputPath_,
        veg::grid::kGridName,
        maskGeometry_,
        dimList_,
        veg::grid::productLayout(veg::grid::ProductKind::DailyNdvi),
        mosaic_.edge()};
    if (!output_.create(target).ok()) {
        out_ << "Failed to create output file/grid/field " << outputPath_ << " .\n";
        return kExitStop;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < tiles_.size(); ++i) {
        ok = processTile(i);
    }
    if (ok) {
        finishDailyNdvi(mosaic_.mask.get(), mosaic_.ndvi.get(), mosaic_.ndvi8.get(), mosaic_.cells);
        ok = writeOutput();
    }
    if (!ok) {
        output_.abandon();
        err_ << "Failed.\n";
        return kExitStop;
    }
    out_ << "O.K.\n";
    return kExitSuccessLegacy;
}

} // namespace

int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err) {
    if (args.size() != 4) {
        printUsage(args.empty() ? "daymosaic" : args[0], out);
        return kExitStop;
    }
    FileList list;
    const int count = readFileList(list, args[1]);
    if (count < 0) {
        out << "Failed to open the input parameters file " << args[1] << " \n";
    }
    for (int i = 0; i < list.extra; ++i) {
        err << "Error: more than maximum number of files=" << kMaxTiles << ".\n";
    }
    if (count < 1) {
        err << "No files to be processed.\n";
        return kExitStop;
    }
    if (list.extra > 0) {
        // A partial mosaic of the day would pass for a whole one: nothing is written.
        return kExitStop;
    }
    try {
        Run run(list.paths, args[2], args[3], out, err);
        return run.execute();
    } catch (const std::bad_alloc &) {
        err << "Not enough memory to process " << args[1] << ".\n";
        err << "Failed.\n";
        return kExitStop;
    }
}

} // namespace veg::daymosaic
