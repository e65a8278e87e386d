// datespan: every date from a start date up to, not including, a stop date.
#include "datespan/datespan.h"

#include "cliargs.h"
#include "datehelpers.h"

#include <optional>

namespace veg::datespan {
namespace {

struct Options {
    std::string start;
    std::string stop;
};

// Nothing when the arguments lack a date.
std::optional<Options> parseOptions(const cli::Args &args) {
    if (args.size() < 3)
        return std::nullopt;
    return Options{args[1], args[2]};
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &) {
    const std::optional<Options> options = parseOptions(args);
    if (!options) {
        out << periods::usageText(periods::programPath(args),
                                  {"Usage: %s <start yyyy.mm.dd> <stop yyyy.mm.dd>",
                                   "Example: %s 2011.07.01 2011.10.01"});
        return cli::kExitStop;
    }
    // The start date is checked before the stop date is looked at.
    const periods::SplitDate start = periods::splitYearMonthDay(options->start);
    if (!start.wellFormed) {
        out << cli::format("Wrong inputs: start date - %s is NOT in right format! Expect in mm.dd. "
                           "e.g. 2000.07.01. length=%d\n",
                           options->start.c_str(), static_cast<int>(start.monthLength));
        return cli::kExitStop;
    }
    const periods::SplitDate stop = periods::splitYearMonthDay(options->stop);
    if (!stop.wellFormed) {
        out << cli::format("Wrong inputs: end date - %s is NOT in right format! Expect in mm.dd. "
                           "e.g. 2000.07.01\n",
                           options->stop.c_str());
        return cli::kExitStop;
    }
    const int64_t first = periods::dayNumber(start.date.year, start.date.month, start.date.day);
    const int64_t end = periods::dayNumber(stop.date.year, stop.date.month, stop.date.day);
    periods::writeDates(out, first, end - 1);
    return cli::kExitSuccessLegacy;
}

} // namespace veg::datespan
