// weeknumber: the week number of a date, weeks starting on Monday.
#include "weeknumber/weeknumber.h"

#include "datehelpers.h"

namespace veg::weeknumber {
namespace {

// A year that begins on a Monday or a Tuesday starts week 1 on 1 January; otherwise the days before
// the first Monday are week 0.
int64_t weekNumber(const periods::DayOfYear &date) {
    const int64_t offset = date.newYearWeekday > 1 ? 7 - date.newYearWeekday : 0;
    return (date.dayOfYear - 1 - offset + 7) / 7;
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &err) {
    return periods::runWeekNumber(args, out, err, &weekNumber);
}

} // namespace veg::weeknumber
