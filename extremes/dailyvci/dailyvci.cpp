// The run of dailyvci: the N earlier windows from the most recent year backwards, then the current
// window, each composited from its daily files and folded into the history; then the condition
// index written as the daily condition grid under a temporary name, renamed into place when
// complete. Every line goes to standard output.
#include "dailyvci.h"

#include "calendar.h"
#include "extremesrules.h"
#include "productio.h"
#include "products.h"
#include "textinput.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

namespace veg::dailyvci {
namespace {

using veg::cli::format;
using veg::cli::kExitStop;
using veg::cli::kExitSuccess;
using veg::extremes::conditionIndex;
using veg::extremes::foldDay;
using veg::extremes::foldWindow;
using veg::extremes::kDailyNoValue;
constexpr int kMaxYears = 9999;

// The four arrays of the run, all of the cell count of the first daily file that opens.
struct DailyState {
    explicit DailyState() : series(veg::grid::kGridName, {veg::grid::kNdviField}, 4) {}

    veg::grid::InputSeries series;
    std::unique_ptr<uint8_t[]> read;   // each day's field, finally the condition index
    std::unique_ptr<uint8_t[]> window; // maximum composite of the window being processed
    std::unique_ptr<uint8_t[]> historyMax;
    std::unique_ptr<uint8_t[]> historyMin;
    std::string lastName; // the last daily file name built

    bool exists() const { return series.started(); }
    size_t cells() const { return series.cells(); }
};

// False when memory runs out.
bool allocate(DailyState &s, size_t n) {
    s.read = veg::grid::allocateCells<uint8_t>(n);
    s.window = veg::grid::allocateCells<uint8_t>(n);
    s.historyMax = veg::grid::allocateCells<uint8_t>(n);
    s.historyMin = veg::grid::allocateCells<uint8_t>(n);
    if (!s.read || !s.window || !s.historyMax || !s.historyMin) {
        return false;
    }
    for (uint8_t *a : {s.read.get(), s.window.get(), s.historyMax.get(), s.historyMin.get()}) {
        std::fill_n(a, n, kDailyNoValue);
    }
    return true;
}

// Clears the window composite at the start of a window.
void startWindow(DailyState &s) {
    if (s.exists()) {
        std::fill_n(s.window.get(), s.cells(), kDailyNoValue);
    }
}

void endWindow(DailyState &s) {
    if (s.exists()) {
        foldWindow(s.window.get(), s.historyMax.get(), s.historyMin.get(), s.cells());
    }
}

// The daily file name of a date, or an empty name (after the message) when it would be too long.
std::string dailyName(const std::string &sourceDir, const calendar::Date &date, std::ostream &out) {
    try {
        return calendar::dailyNdviFileName(sourceDir, date);
    } catch (const calendar::FileNameTooLong &tooLong) {
        out << format("file name %s is longer than %zu characters; day skipped.\n",
                      tooLong.name().c_str(), tooLong.limit());
        return std::string();
    }
}

enum class DayResult { Folded, Skipped, Stop };

// Opens one daily file and folds it into the window composite.
DayResult foldDailyFile(const std::string &name, DailyState &s, std::ostream &out) {
    s.lastName = name;
    const veg::grid::InputStatus status = s.series.open(name);
    const veg::grid::GridGeometry &g = s.series.inputGeometry();
    switch (status) {
    case veg::grid::InputStatus::Unreadable:
        out << format("open file or get info for %s failed.\n", name.c_str());
        return DayResult::Skipped;
    case veg::grid::InputStatus::TooLarge:
    case veg::grid::InputStatus::First:
        if (const auto shortfall = s.series.memoryShortfall(veg::grid::availableMemory());
            shortfall && status == veg::grid::InputStatus::First) {
            out << veg::grid::memoryShortfallMessage(name, g.columns, g.rows, *shortfall);
            return DayResult::Stop;
        }
        if (status == veg::grid::InputStatus::TooLarge || !allocate(s, s.series.cells())) {
            out << format("not enough memory for a grid of %d x %d cells from %s.\n", g.columns,
                          g.rows, name.c_str());
            return DayResult::Stop;
        }
        break;
    case veg::grid::InputStatus::DiffersFromFirst: {
        // Another size, or the same cells listed in another order: not the first file's cells.
        const veg::grid::Edge first = s.series.edge();
        out << format("grid of %s has %d x %d cells, not %d x %d as the first file; skipped.\n",
                      name.c_str(), g.columns, g.rows, first.second, first.first);
        return DayResult::Skipped;
    }
    case veg::grid::InputStatus::Same:
        break;
    }
    if (!s.series.readFields({veg::grid::bufferOf(s.read.get(), s.cells())})) {
        out << format("read data from %s failed.\n", name.c_str());
        return DayResult::Skipped;
    }
    foldDay(s.read.get(), s.window.get(), s.cells());
    return DayResult::Folded;
}

// Writes the condition index held in s.read; prints the failure message and returns false when a
// step fails, in which case nothing appears under the target name.
bool writeCondition(const DailyVciOptions &options, const DailyState &s, std::ostream &out) {
    const veg::grid::ProductTarget target{
        options.targetPath,
        veg::grid::kGridName,
        s.series.outputGeometry(),
        s.series.outputDimList(),
        veg::grid::productLayout(veg::grid::ProductKind::DailyCondition),
        s.series.edge()};
    const veg::grid::WriteResult written =
        veg::grid::writeProduct(target, {veg::grid::cellsOf(s.read.get(), s.cells())});
    const char *path = options.targetPath.c_str();
    switch (written.failedAt) {
    case veg::grid::WriteStep::None:
        return true;
    case veg::grid::WriteStep::Create:
        out << format("create output file/grid/field %s for %s failed.\n", path,
                      s.lastName.c_str());
        break;
    case veg::grid::WriteStep::Attributes:
        out << format("write attributes to %s failed.\n", path);
        break;
    case veg::grid::WriteStep::Field:
    case veg::grid::WriteStep::Commit:
        out << format("write NDVI data to %s failed.\n", path);
        break;
    }
    out << veg::grid::fileLimitAdvice(written, options.targetPath);
    return false;
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

// Fills the N earlier windows and prints the calendar's summary line of them.
void findWindows(const DailyVciOptions &options, Windows &w, std::ostream &out) {
    out << veg::calendar::findPeriods(options.firstDate.c_str(), options.lastDate.c_str(),
                                      options.years, w.firstYears.data(), w.firstMonths.data(),
                                      w.firstDays.data(), w.lastYears.data(), w.lastMonths.data(),
                                      w.lastDays.data());
}

int runWith(const DailyVciOptions &options, std::ostream &out) {
    const int n = options.years;
    Windows w(static_cast<size_t>(n));
    findWindows(options, w, out);
    for (int k = 0; k < n; ++k) {
        out << format("%i:%i.%i.%i-%i.%i.%i\n", k, w.firstYears[k], w.firstMonths[k],
                      w.firstDays[k], w.lastYears[k], w.lastMonths[k], w.lastDays[k]);
    }

    DailyState s;
    for (int k = 0; k < n; ++k) {
        out << format("Working on year %i-\n", k);
        const int64_t first = dayNumber(w.firstYears[k], w.firstMonths[k], w.firstDays[k]);
        const int64_t last = dayNumber(w.lastYears[k], w.lastMonths[k], w.lastDays[k]);
        const std::vector<calendar::Date> days = calendar::daysBetween(first, last);
        out << format("ndays=%i\n\n", static_cast<int>(last - first + 1));
        for (size_t d = 0; d < days.size(); ++d) {
            out << format("%i-%i:%i.%i.%i\n", k, static_cast<int>(d), days[d].year, days[d].month,
                          days[d].day);
        }
        startWindow(s);
        for (size_t d = 0; d < days.size(); ++d) {
            const calendar::Date &day = days[d];
            out << format("Working on %i-%i:%i.%i.%i\n", k, static_cast<int>(d), day.year,
                          day.month, day.day);
            const std::string name = dailyName(options.sourceDir, day, out);
            if (name.empty()) {
                continue;
            }
            out << format("File(%i,%i): %s\n", k, static_cast<int>(d), name.c_str());
            if (foldDailyFile(name, s, out) == DayResult::Stop) {
                return kExitStop;
            }
        }
        out << format("Done with all days!\n");
        endWindow(s);
        out << format("Done with the max-min!");
    }

    out << format("Passing - %s:%s\n", options.firstDate.c_str(), options.lastDate.c_str());
    calendar::Date firstDate, lastDate;
    calendar::parseDate(options.firstDate.c_str(), &firstDate.year, &firstDate.month,
                        &firstDate.day);
    calendar::parseDate(options.lastDate.c_str(), &lastDate.year, &lastDate.month, &lastDate.day);
    const int64_t first = dayNumber(firstDate.year, firstDate.month, firstDate.day);
    const int64_t last = dayNumber(lastDate.year, lastDate.month, lastDate.day);
    const std::vector<calendar::Date> days = calendar::daysBetween(first, last);
    for (size_t d = 0; d < days.size(); ++d) {
        out << format("%i:%i.%i.%i\n", static_cast<int>(d), days[d].year, days[d].month,
                      days[d].day);
    }
    out << format("Number of days=%i\n", static_cast<int>(last - first + 1));
    startWindow(s);
    for (size_t d = 0; d < days.size(); ++d) {
        const std::string name = dailyName(options.sourceDir, days[d], out);
        if (name.empty()) {
            continue;
        }
        out << format("File(%i): %s\n", static_cast<int>(d), name.c_str());
        if (foldDailyFile(name, s, out) == DayResult::Stop) {
            return kExitStop;
        }
    }
    endWindow(s);

    if (!s.exists()) {
        out << format("no daily file could be opened; %s not created.\n",
                      options.targetPath.c_str());
        return kExitStop;
    }
    conditionIndex(s.window.get(), s.historyMax.get(), s.historyMin.get(), s.read.get(), s.cells());
    return writeCondition(options, s, out) ? kExitSuccess : kExitStop;
}

} // namespace

bool parseDailyVciArguments(const veg::cli::Args &args, DailyVciOptions &options) {
    if (args.size() < 6) {
        return false;
    }
    options.sourceDir = args[1];
    options.firstDate = args[2];
    options.lastDate = args[3];
    options.years = veg::fileio::readClampedInt(args[4].c_str());
    options.targetPath = args[5];
    return true;
}

int run(const veg::cli::Args &args, std::ostream &out, std::ostream &) {
    DailyVciOptions options;
    if (!parseDailyVciArguments(args, options)) {
        out << format("Usage: %s <src dir> <start yyyy.mm.dd> <end yyyy.mm.dd> <number of years to "
                      "be retrospected from the previous year> <targetfile>\n",
                      args.empty() ? "dailyvci" : args[0].c_str());
        return kExitStop;
    }
    for (const std::string *date : {&options.firstDate, &options.lastDate}) {
        if (!calendar::hasDateLength(date->c_str())) {
            out << format("date %s is not a date of the form yyyy.mm.dd.\n", date->c_str());
            return kExitStop;
        }
    }
    // Windows more than kMaxYears back lie before the calendar's first years; refusing them also
    // keeps the window tables small.
    if (options.years < 0 || options.years > kMaxYears) {
        out << format("number of years %s is not in 0..%d.\n", args[4].c_str(), kMaxYears);
        return kExitStop;
    }
    try {
        return runWith(options, out);
    } catch (const std::bad_alloc &) {
        out << format("not enough memory for %d years of windows.\n", options.years);
        return kExitStop;
    }
}

} // namespace veg::dailyvci
