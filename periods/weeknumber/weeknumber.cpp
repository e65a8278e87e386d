// weeknumber: the week number of a date, weeks starting on Monday.
#include "weeknumber/weeknumber.h"

#include "cliargs.h"
#include "datehelpers.h"

#include <optional>

namespace veg::weeknumber {
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

// A year that begins on a Monday or a Tuesday starts week 1 on 1 January; otherwise the days before
// the first Monday are week 0.
int64_t weekNumber(const periods::DayOfYear &date) {
    const int64_t offset = date.newYearWeekday > 1 ? 7 - date.newYearWeekday : 0;
    return (date.dayOfYear - 1 - offset + 7) / 7;
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

} // namespace veg::weeknumber
