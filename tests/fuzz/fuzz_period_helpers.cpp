// Fuzz target: any argument vector given to the date and period helper programs. The first byte
// chooses the program; the rest, split at NUL bytes, are its arguments.
#include "datespan/datespan.h"
#include "fuzzinput.h"
#include "periodcatalog/periodcatalog.h"
#include "periodindex/periodindex.h"
#include "periodofdate/periodofdate.h"
#include "periodrange/periodrange.h"
#include "seasondates/seasondates.h"
#include "weeknumber-sunday/weeknumber-sunday.h"
#include "weeknumber/weeknumber.h"
#include "yearoffset/yearoffset.h"

#include <ostream>
#include <string>

namespace {

const veg::cli::EntryFunction kEntries[] = {
    veg::datespan::run,    veg::periodofdate::run,      veg::seasondates::run,
    veg::periodindex::run, veg::periodcatalog::run,     veg::periodrange::run,
    veg::weeknumber::run,  veg::weeknumber_sunday::run, veg::yearoffset::run,
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
    // A stream without a buffer drops everything written to it.
    static std::ostream sink(nullptr);
    const size_t which = data[0] % kEntryCount;
    std::vector<std::string> args = fuzzinput::splitAtNul(data + 1, size - 1, 6);
    // datespan and seasondates print one line per day: keep their spans short.
    if ((which == 0 || which == 2) && spanTooLong(args)) {
        return 0;
    }
    args.insert(args.begin(), "helper");
    (void)kEntries[which](args, sink, sink);
    return 0;
}
