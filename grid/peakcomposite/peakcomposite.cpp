// The run of peakcomposite: the list file, the inputs folded one by one in list order, and the
// composite grid written under a temporary name and renamed into place when complete.
#include "peakcomposite.h"

#include "compositerules.h"
#include "productio.h"
#include "products.h"
#include "textinput.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace veg::peakcomposite {
namespace {

using veg::cli::format;
using veg::cli::kExitFailure;
using veg::cli::kExitStop;
using veg::cli::kExitSuccess;

void printUsage(std::ostream &out, const char *name) {
    out << format("Usage: %s <input NDVI list filename> <output filename> {grid name} {ndvi field "
                  "name - 16bit} {ndvi field name - 8bit} {qc field name}\n",
                  name);
    out << format("     {grid name} - used for input and output. Default - '%s'\n",
                  veg::grid::kGridName);
    out << format("     {ndvi field name - 16bit} - used for input and output. Default - '%s'\n",
                  veg::grid::kNdviField);
    out << format("     {ndvi field name - 8bit} - used for input and output. Default - '%s'\n",
                  veg::grid::kNdvi8Field);
    out << format("     {qc field name} - used for output qc layer. Default - '%s'\n",
                  veg::grid::kQcField);
}

// The composite under construction and the per-input buffers, all of the cell count of the first
// readable input.
struct Composite {
    std::unique_ptr<int16_t[]> ndvi16;
    std::unique_ptr<uint8_t[]> ndvi8;
    std::unique_ptr<uint8_t[]> quality;
    std::unique_ptr<int16_t[]> input16;
    std::unique_ptr<uint8_t[]> input8;
};

// False when memory runs out.
bool allocate(Composite &c, size_t cells) {
    c.ndvi16 = veg::grid::allocateCells<int16_t>(cells);
    c.ndvi8 = veg::grid::allocateCells<uint8_t>(cells);
    c.quality = veg::grid::allocateCells<uint8_t>(cells);
    c.input16 = veg::grid::allocateCells<int16_t>(cells);
    c.input8 = veg::grid::allocateCells<uint8_t>(cells);
    if (!c.ndvi16 || !c.ndvi8 || !c.quality || !c.input16 || !c.input8) {
        return false;
    }
    std::fill_n(c.ndvi16.get(), cells, veg::grid::kNoData16);
    std::fill_n(c.ndvi8.get(), cells, veg::grid::kNoData8);
    std::fill_n(c.quality.get(), cells, veg::grid::kNoData8);
    return true;
}

enum class InputResult { Folded, Skipped, Stop };

// Opens one list entry, checks it against the composite and folds it in. Prints the warning for an
// entry that is skipped and the failure message for one that ends the run.
InputResult foldInput(const Options &options, const std::string &path, uint8_t position,
                      veg::grid::InputSeries &series, Composite &composite, std::ostream &err) {
    const auto warn = [&] {
        err << format("Warning: failed at opening file or get info for %s from %s.\n", path.c_str(),
                      options.listPath.c_str());
        return InputResult::Skipped;
    };
    if (path.size() > kMaxPathLength) {
        err << format("Warning: path %s from %s is longer than %zu characters.\n", path.c_str(),
                      options.listPath.c_str(), kMaxPathLength);
        return InputResult::Skipped;
    }
    switch (series.open(path)) {
    case veg::grid::InputStatus::Unreadable:
    case veg::grid::InputStatus::TooLarge:
    case veg::grid::InputStatus::DiffersFromFirst: // cannot be folded cell by cell
        return warn();
    case veg::grid::InputStatus::First:
        if (const auto shortfall = series.memoryShortfall(veg::grid::availableMemory())) {
            const veg::grid::GridGeometry &g = series.inputGeometry();
            err << veg::grid::memoryShortfallMessage(path, g.columns, g.rows, *shortfall);
            return InputResult::Stop;
        }
        if (!allocate(composite, series.cells())) {
            const veg::grid::GridGeometry &g = series.inputGeometry();
            err << format("Error: not enough memory for a grid of %d x %d cells from %s.\n",
                          g.columns, g.rows, path.c_str());
            return InputResult::Stop;
        }
        break;
    case veg::grid::InputStatus::Same:
        break;
    }
    const size_t n = series.cells();
    if (!series.readFields({veg::grid::bufferOf(composite.input16.get(), n),
                            veg::grid::bufferOf(composite.input8.get(), n)})) {
        err << format("read data from %s failed.\n", path.c_str());
        return InputResult::Stop;
    }
    foldNdvi16(composite.input16.get(), composite.ndvi16.get(), composite.quality.get(), n,
               position);
    foldNdvi8(composite.input8.get(), composite.ndvi8.get(), n);
    return InputResult::Folded;
}

// Writes the composite grid (geometry of the last input folded in, dimension list of its 8-bit
// field); prints the failure message and returns false when any step fails, in which case nothing
// appears under the output name.
bool writeComposite(const Options &options, const veg::grid::InputSeries &series,
                    const Composite &composite, const std::string &lastEntry, std::ostream &err) {
    const size_t n = series.cells();
    const veg::grid::ProductTarget target{
        options.outputPath,
        options.gridName,
        series.outputGeometry(),
        series.outputDimList(),
        veg::grid::compositeLayout(options.ndvi16Field, options.ndvi8Field, options.qcField),
        series.edge()};
    const veg::grid::WriteResult written =
        veg::grid::writeProduct(target, {veg::grid::cellsOf(composite.ndvi16.get(), n),
                                         veg::grid::cellsOf(composite.ndvi8.get(), n),
                                         veg::grid::cellsOf(composite.quality.get(), n)});
    const char *output = options.outputPath.c_str();
    switch (written.failedAt) {
    case veg::grid::WriteStep::None:
        return true;
    case veg::grid::WriteStep::Create:
        err << format("create output file/grid/field %s for %s failed.\n", output,
                      lastEntry.c_str());
        break;
    case veg::grid::WriteStep::Field: {
        const char *const what[] = {"16bit NDVI", "8bit NDVI", "NDVI Quality"};
        err << format("write %s data to %s failed.\n", what[written.field < 3 ? written.field : 2],
                      output);
        break;
    }
    case veg::grid::WriteStep::Attributes:
        err << format("write attributes to %s failed.\n", output);
        break;
    case veg::grid::WriteStep::Commit:
        err << format("close output file %s failed.\n", output);
        break;
    }
    err << veg::grid::fileLimitAdvice(written, options.outputPath);
    return false;
}

} // namespace

bool parseArguments(const veg::cli::Args &args, Options &options) {
    if (args.size() < 3) {
        return false;
    }
    options.listPath = args[1];
    options.outputPath = args[2];
    if (args.size() > 3)
        options.gridName = args[3];
    if (args.size() > 4)
        options.ndvi16Field = args[4];
    if (args.size() > 5)
        options.ndvi8Field = args[5];
    if (args.size() > 6)
        options.qcField = args[6];
    return true;
}

int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err) {
    out << "Inn\n";
    Options options;
    if (!parseArguments(args, options)) {
        printUsage(out, args.empty() ? "peakcomposite" : args[0].c_str());
        return kExitStop;
    }
    std::vector<std::string> entries;
    if (!veg::fileio::readPathList(options.listPath, kMaxListEntries, entries)) {
        out << format("Error: file %s cannot be openned for reading.\n", options.listPath.c_str());
        return kExitStop;
    }
    if (entries.size() > kMaxListEntries) {
        err << format("Error: list %s has more than %zu entries; the quality layer cannot record "
                      "their positions.\n",
                      options.listPath.c_str(), kMaxListEntries);
        return kExitStop;
    }

    // The size check counts the 16-bit composite; the other arrays are smaller or equal.
    veg::grid::InputSeries series(options.gridName, {options.ndvi16Field, options.ndvi8Field},
                                  sizeof(int16_t));
    Composite composite;
    uint8_t position = 0;
    for (const std::string &path : entries) {
        position = nextListPosition(position);
        out << format("%d processing %s\n", position, path.c_str());
        out.flush();
        if (foldInput(options, path, position, series, composite, err) == InputResult::Stop) {
            return kExitStop;
        }
    }
    if (!series.started()) {
        err << format("Error: no input of %s could be opened and read; no output written.\n",
                      options.listPath.c_str());
        return kExitStop;
    }
    if (!writeComposite(options, series, composite, entries.back(), err)) {
        err << "Failed.\n";
        return kExitFailure;
    }
    out << "O.K.\n";
    return kExitSuccess;
}

} // namespace veg::peakcomposite
