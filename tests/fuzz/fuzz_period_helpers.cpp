// Fuzz target: any argument vector given to the date and period helper programs. The first byte
// chooses the program; the rest, split at NUL bytes, are its arguments.
#include "datehelpers.h"
#include "fuzzinput.h"

#include <string>

namespace {

using Entry = int (*)(int, const char *const[], std::FILE *, std::FILE *);

const Entry kEntries[] = {
    periods::runDatespan,    periods::runPeriodOfDate,     periods::runSeasonDates,
    periods::runPeriodIndex, periods::runPeriodCatalog,    periods::runPeriodRange,
    periods::runWeekNumber,  periods::runWeekNumberSunday, periods::runYearOffset,
};
constexpr size_t kEntryCount = sizeof kEntries / sizeof kEntries[0];

// datespan and seasondates print one line per day of the span they are given, which can be
// billions of lines for a legitimate request. Their inputs are kept to short spans: digit runs of
// at most four digits (two after the first dot, so months and days carry over only a few years),
// and start and stop years at most twenty years apart.
bool shortDigitRuns(const std::string &text) {
    size_t run = 0;
    bool afterDot = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            if (++run > (afterDot ? 2u : 4u)) {
                return false;
            }
        } else {
            run = 0;
            afterDot = afterDot || c == '.';
        }
    }
    return true;
}

bool spanTooLong(const std::vector<std::string> &args) {
    for (const std::string &arg : args) {
        if (!shortDigitRuns(arg)) {
            return true;
        }
    }
    if (args.size() < 2) {
        return false;
    }
    const int span = std::atoi(args[1].c_str()) - std::atoi(args[0].c_str());
    return span > 20 || span < -20;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static fuzzinput::NullStream sink;
    const size_t which = data[0] % kEntryCount;
    std::vector<std::string> args = fuzzinput::splitAtNul(data + 1, size - 1, 6);
    // datespan and seasondates print one line per day: keep their spans short.
    if ((which == 0 || which == 2) && spanTooLong(args)) {
        return 0;
    }
    const fuzzinput::ArgVector argv("helper", args);
    (void)kEntries[which](argv.argc(), argv.argv(), sink.get(), sink.get());
    return 0;
}
