// weeknumber-sunday: the week number of a date, weeks starting on Sunday.
#include "weeknumber-sunday/weeknumber-sunday.h"

#include "cliargs.h"
#include "datehelpers.h"

#include <optional>

namespace veg::weeknumber_sunday {
namespace {

struct Options {
    std::string date;
};

// Nothing when the arguments lack the date.
std::optional<Options> parseOptions(const cli::Args &args) {
    if (args.size() < 2)
        return std::nullopt;
    return Options{args[1]};
}

// The days before the year's first Sunday are week 0; each Sunday starts a new week.
int64_t weekNumber(const periods::DayOfYear &date) {
    return (date.dayOfYear + date.newYearWeekday) / 7;
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(args);
    if (!options) {
        out << periods::usageText(periods::programPath(args), {"Usage: %s <yyyy.mm.dd>"});
        return cli::kExitStop;
    }
    const std::optional<periods::DayOfYear> date = periods::readDayOfYear(options->date);
    if (!date) {
        err << periods::unreadableDateMessage("date", options->date);
        return cli::kExitStop;
    }
    out << cli::format("%lld", static_cast<long long>(weekNumber(*date)));
    return cli::kExitSuccess;
}

} // namespace veg::weeknumber_sunday
