// The daily NDVI generator: reads the tile list and the mask grid, places each tile's window in
// full-size grids, computes NDVI, finishes the 8-bit NDVI and the fill, and writes the daily grid.
#include "daymosaic.h"

#include "file_list.h"
#include "gridio.h"
#include "memorycheck.h"
#include "mosaic_rules.h"
#include "mosaic_windows.h"
#include "productio.h"
#include "products.h"
#include "readguard.h"
#include "sd_attributes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
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
    if (const std::optional<size_t> bytes =
            veg::grid::checkedCellCount(mosaic_.columns, mosaic_.rows, kMosaicBytesPerCell)) {
        if (const auto shortfall = veg::grid::checkMemory(*bytes, veg::grid::availableMemory())) {
            out_ << veg::grid::memoryShortfallMessage(maskPath_, mosaic_.columns, mosaic_.rows,
                                                      *shortfall);
            return kExitStop;
        }
    }
    if (!allocateMosaic(mosaic_)) {
        out_ << "Not enough memory for the grids of " << maskPath_ << ".\n";
        return kExitStop;
    }
    if (!mask.readField(veg::grid::kMaskField, mosaic_.edge(), mosaic_.mask.get(), mosaic_.cells)) {
        out_ << "Failed to read the mask value to buffer.\n";
        return kExitStop;
    }
    return 0;
}

// Reads, places and copies one tile. False when the run has failed (the message is printed).
bool Run::processTile(size_t index) {
    const std::string &path = tiles_[index];
    // A damaged tile can make a window read hang inside HDF4: past the time limit the run ends
    // as a failed read of that tile.
    const int seconds = veg::grid::readTimeLimit();
    const veg::grid::ReadWatchdog watchdog("Read data from " + path + " failed.\n" +
                                               veg::grid::readTimeoutLine(path, seconds) +
                                               "Failed.\n",
                                           kExitStop, output_.leftovers(), seconds);
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
        result = carryWindow(tile, kCarriedFields[field].name, infos[field], window, mosaic_, grid);
        return result == WindowResult::Copied;
    });
    if (result == WindowResult::ReadFailed) {
        err_ << "Read data from " << path << " failed.\n";
        return false;
    }
    if (result == WindowResult::UnknownOrder) {
        err_ << "Unsupported dim order = " << mosaic_.order << "\n";
    }
    if (result == WindowResult::CopyFailed || result == WindowResult::UnknownOrder) {
        err_ << "Write NDVI and original data to buffer failed when processing " << path << ".\n";
        return false;
    }
    windowRectangleNdvi(mosaic_, window);
    return true;
}

bool Run::writeOutput() {
    const std::vector<veg::grid::FieldCells> fields = productFields(mosaic_);
    // The carried fields take the first tile's attributes, after the NDVI fields' own.
    std::vector<veg::grid::FieldAttributes> carried;
    for (size_t i = 0; i < kCarriedCount; ++i) {
        carried.push_back(veg::grid::FieldAttributes{kCarriedFields[i].name, attributes_[i]});
    }
    const veg::grid::WriteResult written = output_.write(fields, carried);
    if (!written.ok()) {
        err_ << "Write NDVI and original data to " << outputPath_ << " failed.\n"
             << veg::grid::fileLimitAdvice(written, outputPath_);
    }
    return written.ok();
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
