// The run of dailyvci: the N earlier windows from the most recent year backwards, then the current
// window, each composited from its daily files and folded into the history; then the condition
// index written as the daily condition grid under a temporary name, renamed into place when
// complete. Every line goes to standard output.
#include "dailyvci.h"

#include "arguments.h"
#include "calendar.h"
#include "cellarrays.h"
#include "extremesrules.h"
#include "gridio.h"
#include "products.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace extremes {
namespace {

constexpr int kFailure = 255;
constexpr int kMaxYears = 9999;

// The four arrays of the run, all of the cell count of the first daily file that opens.
struct DailyState {
    veg::grid::Edge edge;
    size_t cells = 0;                  // 0 until the first daily file opens
    std::unique_ptr<uint8_t[]> read;   // each day's field, finally the condition index
    std::unique_ptr<uint8_t[]> window; // maximum composite of the window being processed
    std::unique_ptr<uint8_t[]> historyMax;
    std::unique_ptr<uint8_t[]> historyMin;
    veg::grid::GridGeometry geometry; // of the last daily file read
    std::string dimList;              // of that file's field
    std::string lastName;             // the last daily file name built

    bool exists() const { return cells != 0; }
};

bool allocate(DailyState &s, const veg::grid::GridGeometry &g) {
    const std::optional<size_t> cells = veg::grid::checkedCellCount(g.rows, g.columns, 4);
    if (!cells) {
        return false;
    }
    const size_t n = *cells / 4;
    s.read = allocateCells<uint8_t>(n);
    s.window = allocateCells<uint8_t>(n);
    s.historyMax = allocateCells<uint8_t>(n);
    s.historyMin = allocateCells<uint8_t>(n);
    if (!s.read || !s.window || !s.historyMax || !s.historyMin) {
        return false;
    }
    for (uint8_t *a : {s.read.get(), s.window.get(), s.historyMax.get(), s.historyMin.get()}) {
        std::fill_n(a, n, kDailyNoValue);
    }
    s.cells = n;
    s.edge = veg::grid::rowsColumns(g);
    return true;
}

// Clears the window composite at the start of a window.
void startWindow(DailyState &s) {
    if (s.exists()) {
        std::fill_n(s.window.get(), s.cells, kDailyNoValue);
    }
}

void endWindow(DailyState &s) {
    if (s.exists()) {
        foldWindow(s.window.get(), s.historyMax.get(), s.historyMin.get(), s.cells);
    }
}

// The daily file name of a date, or an empty name (after the message) when it would be too long.
std::string dailyName(const std::string &sourceDir, const calendar::Date &date, std::FILE *out) {
    try {
        return calendar::dailyNdviFileName(sourceDir, date);
    } catch (const calendar::FileNameTooLong &tooLong) {
        std::fprintf(out, "file name %s is longer than %zu characters; day skipped.\n",
                     tooLong.name().c_str(), tooLong.limit());
        return std::string();
    }
}

enum class DayResult { Folded, Skipped, Stop };

// Opens one daily file and folds it into the window composite.
DayResult foldDailyFile(const std::string &name, DailyState &s, std::FILE *out) {
    s.lastName = name;
    veg::grid::GridReader reader;
    const std::optional<veg::grid::FieldInfo> info = reader.open(name, veg::grid::kGridName)
                                                         ? reader.fieldInfo(veg::grid::kNdviField)
                                                         : std::nullopt;
    const veg::grid::GridGeometry &g = reader.geometry();
    if (!info || g.rows < 1 || g.columns < 1) {
        std::fprintf(out, "open file or get info for %s failed.\n", name.c_str());
        return DayResult::Skipped;
    }
    if (!s.exists()) {
        if (!allocate(s, g)) {
            std::fprintf(out, "not enough memory for a grid of %d x %d cells from %s.\n", g.columns,
                         g.rows, name.c_str());
            return DayResult::Stop;
        }
        s.geometry = g;
        s.dimList = info->dimList;
    } else if (g.rows != s.edge.first || g.columns != s.edge.second) {
        std::fprintf(out, "grid of %s has %d x %d cells, not %d x %d as the first file; skipped.\n",
                     name.c_str(), g.columns, g.rows, s.edge.second, s.edge.first);
        return DayResult::Skipped;
    }
    if (!reader.readField(veg::grid::kNdviField, s.edge, s.read.get(), s.cells)) {
        std::fprintf(out, "read data from %s failed.\n", name.c_str());
        return DayResult::Skipped;
    }
    foldDay(s.read.get(), s.window.get(), s.cells);
    s.geometry = g;
    s.dimList = info->dimList;
    return DayResult::Folded;
}

// Writes the condition index held in s.read; prints the failure message and returns false when a
// step fails, in which case nothing appears under the target name.
bool writeCondition(const DailyVciOptions &options, const DailyState &s, std::FILE *out) {
    const veg::grid::ProductLayout &layout =
        veg::grid::productLayout(veg::grid::ProductKind::DailyCondition);
    const char *target = options.targetPath.c_str();
    veg::grid::GridWriter writer;
    if (!writer.create(options.targetPath, veg::grid::kGridName, s.geometry) ||
        !writer.defineFields(layout, s.dimList)) {
        std::fprintf(out, "create output file/grid/field %s for %s failed.\n", target,
                     s.lastName.c_str());
        return false;
    }
    if (!writer.writeField(veg::grid::kNdviField, s.edge, s.read.get(), s.cells)) {
        std::fprintf(out, "write NDVI data to %s failed.\n", target);
        return false;
    }
    if (!writer.writeLayoutAttributes(layout)) {
        std::fprintf(out, "write attributes to %s failed.\n", target);
        return false;
    }
    if (!writer.commit()) {
        std::fprintf(out, "write NDVI data to %s failed.\n", target);
        return false;
    }
    return true;
}

int64_t dayNumber(int year, int month, int day) {
    return calendar::Gregorian2Julian(year, month, day);
}

// The N earlier windows as six parallel arrays, filled by the calendar's previous-year form.
struct Windows {
    std::vector<int> firstYears, firstMonths, firstDays, lastYears, lastMonths, lastDays;
    explicit Windows(size_t n)
        : firstYears(n), firstMonths(n), firstDays(n), lastYears(n), lastMonths(n), lastDays(n) {}
};

int run(const DailyVciOptions &options, std::FILE *out) {
    const int n = options.years;
    Windows w(static_cast<size_t>(n));
    calendar::findPeriods(options.firstDate.c_str(), options.lastDate.c_str(), n,
                          w.firstYears.data(), w.firstMonths.data(), w.firstDays.data(),
                          w.lastYears.data(), w.lastMonths.data(), w.lastDays.data(), out);
    for (int k = 0; k < n; ++k) {
        std::fprintf(out, "%i:%i.%i.%i-%i.%i.%i\n", k, w.firstYears[k], w.firstMonths[k],
                     w.firstDays[k], w.lastYears[k], w.lastMonths[k], w.lastDays[k]);
    }

    DailyState s;
    for (int k = 0; k < n; ++k) {
        std::fprintf(out, "Working on year %i-\n", k);
        const int64_t first = dayNumber(w.firstYears[k], w.firstMonths[k], w.firstDays[k]);
        const int64_t last = dayNumber(w.lastYears[k], w.lastMonths[k], w.lastDays[k]);
        const std::vector<calendar::Date> days = calendar::daysBetween(first, last);
        std::fprintf(out, "ndays=%i\n\n", static_cast<int>(last - first + 1));
        for (size_t d = 0; d < days.size(); ++d) {
            std::fprintf(out, "%i-%i:%i.%i.%i\n", k, static_cast<int>(d), days[d].year,
                         days[d].month, days[d].day);
        }
        startWindow(s);
        for (size_t d = 0; d < days.size(); ++d) {
            const calendar::Date &day = days[d];
            std::fprintf(out, "Working on %i-%i:%i.%i.%i\n", k, static_cast<int>(d), day.year,
                         day.month, day.day);
            const std::string name = dailyName(options.sourceDir, day, out);
            if (name.empty()) {
                continue;
            }
            std::fprintf(out, "File(%i,%i): %s\n", k, static_cast<int>(d), name.c_str());
            if (foldDailyFile(name, s, out) == DayResult::Stop) {
                return kFailure;
            }
        }
        std::fprintf(out, "Done with all days!\n");
        endWindow(s);
        std::fprintf(out, "Done with the max-min!");
    }

    std::fprintf(out, "Passing - %s:%s\n", options.firstDate.c_str(), options.lastDate.c_str());
    calendar::Date firstDate, lastDate;
    calendar::parseDate(options.firstDate.c_str(), &firstDate.year, &firstDate.month,
                        &firstDate.day);
    calendar::parseDate(options.lastDate.c_str(), &lastDate.year, &lastDate.month, &lastDate.day);
    const int64_t first = dayNumber(firstDate.year, firstDate.month, firstDate.day);
    const int64_t last = dayNumber(lastDate.year, lastDate.month, lastDate.day);
    const std::vector<calendar::Date> days = calendar::daysBetween(first, last);
    for (size_t d = 0; d < days.size(); ++d) {
        std::fprintf(out, "%i:%i.%i.%i\n", static_cast<int>(d), days[d].year, days[d].month,
                     days[d].day);
    }
    std::fprintf(out, "Number of days=%i\n", static_cast<int>(last - first + 1));
    startWindow(s);
    for (size_t d = 0; d < days.size(); ++d) {
        const std::string name = dailyName(options.sourceDir, days[d], out);
        if (name.empty()) {
            continue;
        }
        std::fprintf(out, "File(%i): %s\n", static_cast<int>(d), name.c_str());
        if (foldDailyFile(name, s, out) == DayResult::Stop) {
            return kFailure;
        }
    }
    endWindow(s);

    if (!s.exists()) {
        std::fprintf(out, "no daily file could be opened; %s not created.\n",
                     options.targetPath.c_str());
        return kFailure;
    }
    conditionIndex(s.window.get(), s.historyMax.get(), s.historyMin.get(), s.read.get(), s.cells);
    return writeCondition(options, s, out) ? 0 : kFailure;
}

} // namespace

bool parseDailyVciArguments(int argc, const char *const *argv, DailyVciOptions &options) {
    if (argc < 6) {
        return false;
    }
    options.sourceDir = argv[1];
    options.firstDate = argv[2];
    options.lastDate = argv[3];
    options.years = readInt(argv[4]);
    options.targetPath = argv[5];
    return true;
}

int runDailyVci(int argc, const char *const *argv, std::FILE *out) {
    DailyVciOptions options;
    if (!parseDailyVciArguments(argc, argv, options)) {
        std::fprintf(out,
                     "Usage: %s <src dir> <start yyyy.mm.dd> <end yyyy.mm.dd> <number of years to "
                     "be retrospected from the previous year> <targetfile>\n",
                     argc > 0 ? argv[0] : "dailyvci");
        return kFailure;
    }
    for (const std::string *date : {&options.firstDate, &options.lastDate}) {
        if (!calendar::hasDateLength(date->c_str())) {
            std::fprintf(out, "date %s is not a date of the form yyyy.mm.dd.\n", date->c_str());
            return kFailure;
        }
    }
    // Windows more than kMaxYears back lie before the calendar's first years; refusing them also
    // keeps the window tables small.
    if (options.years < 0 || options.years > kMaxYears) {
        std::fprintf(out, "number of years %s is not in 0..%d.\n", argv[4], kMaxYears);
        return kFailure;
    }
    try {
        return run(options, out);
    } catch (const std::bad_alloc &) {
        std::fprintf(out, "not enough memory for %d years of windows.\n", options.years);
        return kFailure;
    }
}

} // namespace extremes
