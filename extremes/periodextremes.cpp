// The run of the period extremes builders: the period file of every year named by the period rule,
// folded into the extremes in increasing year order, then the extremes grid written under a
// temporary name and renamed into place when complete.
#include "periodextremes.h"

#include "arguments.h"
#include "calendar.h"
#include "cellarrays.h"
#include "extremesrules.h"
#include "gridio.h"
#include "products.h"

#include <algorithm>
#include <cstdint>

namespace extremes {
namespace {

constexpr int kFailure = 255;

void printUsage(ExtremesForm form, std::FILE *out, const char *name) {
    if (form == ExtremesForm::Full) {
        std::fprintf(out,
                     "Usage: %s <src dir> <start yyyy> <end yyyy> <targetfile> <# of periods> "
                     "<period length> <actual period length> {grid name} {field name}\n",
                     name);
        std::fprintf(out, "Example: %s ndvi 2001 2020 extremes/ndvi_extremes_01.hdf 1 7 7\n", name);
        std::fprintf(out, "Example: %s ndvi 2001 2020 extremes/ndvi_extremes_01.hdf 1 7 14\n",
                     name);
        std::fprintf(out, "Example: %s ndvi 2001 2020 extremes/ndvi_extremes_01.hdf 1 7 7 %s %s\n",
                     name, veg::grid::kGridName, veg::grid::kNdviField);
    } else {
        std::fprintf(out,
                     "Usage: %s <src dir> <# of period> <length of period> <start yyyy> <end "
                     "yyyy> <targetfile> {grid name} {field name}\n",
                     name);
        std::fprintf(out, "Example: %s ndvi 1 7 2001 2020 extremes/ndvi_extremes_01.hdf\n", name);
    }
}

// The read buffer and the four extremes arrays, all of the cell count of the first file that opens.
struct Extremes {
    veg::grid::Edge edge;
    size_t cells = 0; // 0 until the first file opens
    std::unique_ptr<int16_t[]> values;
    std::unique_ptr<int16_t[]> max;
    std::unique_ptr<int16_t[]> min1;
    std::unique_ptr<int16_t[]> min2;
    std::unique_ptr<int16_t[]> min3;
    veg::grid::GridGeometry geometry; // of the last file folded in
    std::string dimList;              // of that file's field
    int yearsRead = 0;

    bool exists() const { return cells != 0; }
    ExtremesArrays arrays() const { return {max.get(), min1.get(), min2.get(), min3.get()}; }
};

// False when the cell count overflows or memory runs out.
bool allocate(Extremes &e, const veg::grid::GridGeometry &g) {
    const std::optional<size_t> bytes =
        veg::grid::checkedCellCount(g.rows, g.columns, 5 * sizeof(int16_t));
    if (!bytes) {
        return false;
    }
    const size_t cells = *bytes / (5 * sizeof(int16_t));
    e.values = allocateCells<int16_t>(cells);
    e.max = allocateCells<int16_t>(cells);
    e.min1 = allocateCells<int16_t>(cells);
    e.min2 = allocateCells<int16_t>(cells);
    e.min3 = allocateCells<int16_t>(cells);
    if (!e.values || !e.max || !e.min1 || !e.min2 || !e.min3) {
        return false;
    }
    for (int16_t *a : {e.max.get(), e.min1.get(), e.min2.get(), e.min3.get()}) {
        std::fill_n(a, cells, veg::grid::kNoData16);
    }
    e.cells = cells;
    e.edge = veg::grid::rowsColumns(g);
    return true;
}

enum class YearResult { Folded, Skipped, Stop };

YearResult foldYearFile(const ExtremesOptions &options, const std::string &name, Extremes &e,
                        std::FILE *out, std::FILE *err) {
    veg::grid::GridReader reader;
    const std::optional<veg::grid::FieldInfo> info =
        reader.open(name, options.gridName) ? reader.fieldInfo(options.fieldName) : std::nullopt;
    const veg::grid::GridGeometry &g = reader.geometry();
    if (!info || g.rows < 1 || g.columns < 1) {
        std::fprintf(err, "open file or get info for %s failed.\n", name.c_str());
        return YearResult::Skipped;
    }
    if (!e.exists()) {
        if (!allocate(e, g)) {
            std::fprintf(err, "not enough memory for a grid of %d x %d cells from %s.\n", g.columns,
                         g.rows, name.c_str());
            return YearResult::Stop;
        }
    } else if (g.rows != e.edge.first || g.columns != e.edge.second) {
        std::fprintf(err, "grid of %s has %d x %d cells, not %d x %d as the first file; skipped.\n",
                     name.c_str(), g.columns, g.rows, e.edge.second, e.edge.first);
        return YearResult::Skipped;
    }
    if (!reader.readField(options.fieldName, e.edge, e.values.get(), e.cells)) {
        std::fprintf(err, "read data from %s failed.\n", name.c_str());
        return YearResult::Skipped;
    }
    foldYear(e.values.get(), e.arrays(), e.cells);
    e.geometry = g;
    e.dimList = info->dimList;
    ++e.yearsRead;
    std::fprintf(out, "Done with the max-secondmin!");
    return YearResult::Folded;
}

// Writes the extremes grid; prints the failure message and returns false when a step fails, in
// which case nothing appears under the target name.
bool writeExtremes(const ExtremesOptions &options, const Extremes &e, std::FILE *err) {
    const char *target = options.targetPath.c_str();
    veg::grid::GridWriter writer;
    if (!writer.create(options.targetPath, options.gridName, e.geometry) ||
        !writer.defineFields(veg::grid::productLayout(veg::grid::ProductKind::Extremes),
                             e.dimList)) {
        std::fprintf(err, "create output to %s failed.\n", target);
        return false;
    }
    const std::pair<const char *, const int16_t *> fields[] = {
        {veg::grid::kMinField, e.min1.get()},
        {veg::grid::kMaxField, e.max.get()},
        {veg::grid::kMin2Field, e.min2.get()},
        {veg::grid::kMin3Field, e.min3.get()}};
    for (const auto &field : fields) {
        if (!writer.writeField(field.first, e.edge, field.second, e.cells)) {
            std::fprintf(err, "write NDVI data to %s failed.\n", target);
            return false;
        }
    }
    if (!writer.commit()) {
        std::fprintf(err, "write NDVI data to %s failed.\n", target);
        return false;
    }
    return true;
}

} // namespace

bool parseExtremesArguments(ExtremesForm form, int argc, const char *const *argv,
                            ExtremesOptions &options) {
    const int fewest = form == ExtremesForm::Full ? 7 : 6;
    if (argc < fewest + 1) {
        return false;
    }
    options.sourceDir = argv[1];
    int next = 2;
    if (form == ExtremesForm::Full) {
        options.startYear = readInt(argv[2]);
        options.endYear = readInt(argv[3]);
        options.targetPath = argv[4];
        options.period = readInt(argv[5]);
        options.step = readInt(argv[6]);
        options.length = readInt(argv[7]);
        next = 8;
    } else {
        options.period = readInt(argv[2]);
        options.step = readInt(argv[3]);
        options.length = options.step;
        options.startYear = readInt(argv[4]);
        options.endYear = readInt(argv[5]);
        options.targetPath = argv[6];
        next = 7;
    }
    if (argc > next)
        options.gridName = argv[next];
    if (argc > next + 1)
        options.fieldName = argv[next + 1];
    return true;
}

int runPeriodExtremes(ExtremesForm form, int argc, const char *const *argv, std::FILE *out,
                      std::FILE *err) {
    ExtremesOptions options;
    if (!parseExtremesArguments(form, argc, argv, options)) {
        printUsage(form, out, argc > 0 ? argv[0] : "periodextremes");
        return kFailure;
    }
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
            std::fprintf(err, "file name %s is longer than %zu characters; year %d skipped.\n",
                         tooLong.name().c_str(), tooLong.limit(), y);
            continue;
        }
        std::fprintf(out, "Name: %s\n", name.c_str());
        std::fflush(out);
        if (foldYearFile(options, name, e, out, err) == YearResult::Stop) {
            return kFailure;
        }
    }
    if (e.yearsRead == 0) {
        std::fprintf(err, "no period file of the years %d to %d could be read; %s not created.\n",
                     options.startYear, options.endYear, options.targetPath.c_str());
        return kFailure;
    }
    if (!writeExtremes(options, e, err)) {
        return kFailure;
    }
    std::fprintf(out, "O.K.\n");
    return 0;
}

} // namespace extremes
