// The run of the period extremes builders: the period file of every year named by the period rule,
// folded into the extremes in increasing year order, then the extremes grid written under a
// temporary name and renamed into place when complete.
#include "periodextremes.h"

#include "calendar.h"
#include "extremesrules.h"
#include "productio.h"
#include "products.h"
#include "textinput.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace veg::extremes {
namespace {

using veg::cli::format;
using veg::cli::kExitStop;
using veg::cli::kExitSuccess;
using veg::fileio::readClampedInt;

void printUsage(ExtremesForm form, std::ostream &out, const char *name) {
    if (form == ExtremesForm::Full) {
        out << format("Usage: %s <src dir> <start yyyy> <end yyyy> <targetfile> <# of periods> "
                      "<period length> <actual period length> {grid name} {field name}\n",
                      name);
        out << format("Example: %s ndvi 2001 2020 extremes/ndvi_extremes_01.hdf 1 7 7\n", name);
        out << format("Example: %s ndvi 2001 2020 extremes/ndvi_extremes_01.hdf 1 7 14\n", name);
        out << format("Example: %s ndvi 2001 2020 extremes/ndvi_extremes_01.hdf 1 7 7 %s %s\n",
                      name, veg::grid::kGridName, veg::grid::kNdviField);
    } else {
        out << format("Usage: %s <src dir> <# of period> <length of period> <start yyyy> <end "
                      "yyyy> <targetfile> {grid name} {field name}\n",
                      name);
        out << format("Example: %s ndvi 1 7 2001 2020 extremes/ndvi_extremes_01.hdf\n", name);
    }
}

// The read buffer and the four extremes arrays, all of the cell count of the first file that opens.
struct Extremes {
    std::unique_ptr<int16_t[]> values;
    std::unique_ptr<int16_t[]> max;
    std::unique_ptr<int16_t[]> min1;
    std::unique_ptr<int16_t[]> min2;
    std::unique_ptr<int16_t[]> min3;
    int yearsRead = 0;

    ExtremesArrays arrays() const { return {max.get(), min1.get(), min2.get(), min3.get()}; }
};

// The read buffer and the four extremes arrays take ten bytes per cell.
constexpr size_t kBytesPerCell = 5 * sizeof(int16_t);

// False when memory runs out.
bool allocate(Extremes &e, size_t cells) {
    e.values = veg::grid::allocateCells<int16_t>(cells);
    e.max = veg::grid::allocateCells<int16_t>(cells);
    e.min1 = veg::grid::allocateCells<int16_t>(cells);
    e.min2 = veg::grid::allocateCells<int16_t>(cells);
    e.min3 = veg::grid::allocateCells<int16_t>(cells);
    if (!e.values || !e.max || !e.min1 || !e.min2 || !e.min3) {
        return false;
    }
    for (int16_t *a : {e.max.get(), e.min1.get(), e.min2.get(), e.min3.get()}) {
        std::fill_n(a, cells, veg::grid::kNoData16);
    }
    return true;
}

enum class YearResult { Folded, Skipped, Stop };

YearResult foldYearFile(const std::string &name, veg::grid::InputSeries &series, Extremes &e,
                        std::ostream &out, std::ostream &err) {
    const veg::grid::InputStatus status = series.open(name);
    const veg::grid::GridGeometry &g = series.inputGeometry();
    switch (status) {
    case veg::grid::InputStatus::Unreadable:
        err << format("open file or get info for %s failed.\n", name.c_str());
        return YearResult::Skipped;
    case veg::grid::InputStatus::TooLarge:
    case veg::grid::InputStatus::First:
        if (const auto shortfall = series.memoryShortfall(veg::grid::availableMemory());
            shortfall && status == veg::grid::InputStatus::First) {
            err << veg::grid::memoryShortfallMessage(name, g.columns, g.rows, *shortfall);
            return YearResult::Stop;
        }
        if (status == veg::grid::InputStatus::TooLarge || !allocate(e, series.cells())) {
            err << format("not enough memory for a grid of %d x %d cells from %s.\n", g.columns,
                          g.rows, name.c_str());
            return YearResult::Stop;
        }
        break;
    case veg::grid::InputStatus::DiffersFromFirst: {
        // Another size, or the same cells listed in another order: not the first file's cells.
        const veg::grid::Edge first = series.edge();
        err << format("grid of %s has %d x %d cells, not %d x %d as the first file; skipped.\n",
                      name.c_str(), g.columns, g.rows, first.second, first.first);
        return YearResult::Skipped;
    }
    case veg::grid::InputStatus::Same:
        break;
    }
    if (!series.readFields({veg::grid::bufferOf(e.values.get(), series.cells())})) {
        err << format("read data from %s failed.\n", name.c_str());
        return YearResult::Skipped;
    }
    foldYear(e.values.get(), e.arrays(), series.cells());
    ++e.yearsRead;
    out << "Done with the max-secondmin!";
    return YearResult::Folded;
}

// Writes the extremes grid (geometry and dimension list of the last file folded in); prints the
// failure message and returns false when a step fails, in which case nothing appears under the
// target name.
bool writeExtremes(const ExtremesOptions &options, const veg::grid::InputSeries &series,
                   const Extremes &e, std::ostream &err) {
    const size_t n = series.cells();
    const veg::grid::ProductTarget target{
        options.targetPath,
        options.gridName,
        series.outputGeometry(),
        series.outputDimList(),
        veg::grid::productLayout(veg::grid::ProductKind::Extremes),
        series.edge()};
    const veg::grid::WriteResult written = veg::grid::writeProduct(
        target, {veg::grid::cellsOf(e.min1.get(), n), veg::grid::cellsOf(e.max.get(), n),
                 veg::grid::cellsOf(e.min2.get(), n), veg::grid::cellsOf(e.min3.get(), n)});
    if (written.failedAt == veg::grid::WriteStep::Create) {
        err << format("create output to %s failed.\n", options.targetPath.c_str());
        return false;
    }
    if (!written.ok()) {
        err << format("write NDVI data to %s failed.\n", options.targetPath.c_str())
            << veg::grid::fileLimitAdvice(written, options.targetPath);
        return false;
    }
    return true;
}

} // namespace

bool parseExtremesArguments(ExtremesForm form, const veg::cli::Args &args,
                            ExtremesOptions &options) {
    const size_t argc = args.size();
    const size_t fewest = form == ExtremesForm::Full ? 7 : 6;
    if (argc < fewest + 1) {
        return false;
    }
    options.sourceDir = args[1];
    size_t next = 2;
    if (form == ExtremesForm::Full) {
        options.startYear = readClampedInt(args[2].c_str());
        options.endYear = readClampedInt(args[3].c_str());
        options.targetPath = args[4];
        options.period = readClampedInt(args[5].c_str());
        options.step = readClampedInt(args[6].c_str());
        options.length = readClampedInt(args[7].c_str());
        next = 8;
    } else {
        options.period = readClampedInt(args[2].c_str());
        options.step = readClampedInt(args[3].c_str());
        options.length = options.step;
        options.startYear = readClampedInt(args[4].c_str());
        options.endYear = readClampedInt(args[5].c_str());
        options.targetPath = args[6];
        next = 7;
    }
    if (argc > next)
        options.gridName = args[next];
    if (argc > next + 1)
        options.fieldName = args[next + 1];
    return true;
}

int runPeriodExtremes(ExtremesForm form, const veg::cli::Args &args, std::ostream &out,
                      std::ostream &err) {
    ExtremesOptions options;
    if (!parseExtremesArguments(form, args, options)) {
        printUsage(form, out, args.empty() ? "periodextremes" : args[0].c_str());
        return kExitStop;
    }
    veg::grid::InputSeries series(options.gridName, {options.fieldName}, kBytesPerCell);
    Extremes e;
    // A 64-bit year counter: an end year of INT_MAX must not wrap.
    for (int64_t year = options.startYear; year <= options.endYear; ++year) {
        const int y = static_cast<int>(year);
        const calendar::Period period =
            calendar::periodOf(y, options.period, options.step, options.length);
        std::string name;
        try {
            name = calendar::periodNdviFileName(options.sourceDir, y, period);
        } catch (const calendar::FileNameTooLong &tooLong) {
            err << format("file name %s is longer than %zu characters; year %d skipped.\n",
                          tooLong.name().c_str(), tooLong.limit(), y);
            continue;
        }
        out << format("Name: %s\n", name.c_str());
        out.flush();
        if (foldYearFile(name, series, e, out, err) == YearResult::Stop) {
            return kExitStop;
        }
    }
    if (e.yearsRead == 0) {
        err << format("no period file of the years %d to %d could be read; %s not created.\n",
                      options.startYear, options.endYear, options.targetPath.c_str());
        return kExitStop;
    }
    if (!writeExtremes(options, series, e, err)) {
        return kExitStop;
    }
    out << "O.K.\n";
    return kExitSuccess;
}

} // namespace veg::extremes

namespace veg::periodextremes {
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err) {
    return veg::extremes::runPeriodExtremes(veg::extremes::ExtremesForm::Full, args, out, err);
}
} // namespace veg::periodextremes

namespace veg::basicextremes {
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err) {
    return veg::extremes::runPeriodExtremes(veg::extremes::ExtremesForm::Basic, args, out, err);
}
} // namespace veg::basicextremes
