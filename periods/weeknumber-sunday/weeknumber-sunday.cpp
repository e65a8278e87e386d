// weeknumber-sunday: the week number of a date, weeks starting on Sunday.
#include "weeknumber-sunday/weeknumber-sunday.h"

#include "datehelpers.h"

namespace veg::weeknumber_sunday {
namespace {

// The days before the year's first Sunday are week 0; each Sunday starts a new week.
int64_t weekNumber(const periods::DayOfYear &date) {
    return (date.dayOfYear + date.newYearWeekday) / 7;
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &err) {
    return periods::runWeekNumber(args, out, err, &weekNumber);
}

} // namespace veg::weeknumber_sunday
