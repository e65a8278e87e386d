// seasondates: every date from a month and day of the previous year to a month and day of the
// given year.
#include "seasondates/seasondates.h"

#include "cliargs.h"
#include "datehelpers.h"
#include "textinput.h"

#include <optional>

namespace veg::seasondates {
namespace {

struct Options {
    int64_t year = 0;
    std::string start;
    std::string end;
};

// Nothing when the arguments lack the year or a month-day text.
std::optional<Options> parseOptions(const cli::Args &args) {
    if (args.size() < 4)
        return std::nullopt;
    return Options{fileio::readClampedInt(args[1].c_str()), args[2], args[3]};
}

std::string malformedMessage(const char *what, const std::string &text) {
    return cli::format(
        "Wrong inputs: %s date - %s is NOT in right format! Expect in mm.dd. e.g. 07.01\n", what,
        text.c_str());
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &) {
    const std::optional<Options> options = parseOptions(args);
    if (!options) {
        out << periods::usageText(
            periods::programPath(args),
            {"Usage: %s <yyyy> <start mm.dd> <end mm.dd>", "Example: %s 2011 07.01 10.01"});
        return cli::kExitStop;
    }
    const periods::SplitDate start = periods::splitMonthDay(options->start);
    if (!start.wellFormed) {
        out << malformedMessage("start", options->start);
        return cli::kExitStop;
    }
    const periods::SplitDate end = periods::splitMonthDay(options->end);
    if (!end.wellFormed) {
        out << malformedMessage("end", options->end);
        return cli::kExitStop;
    }
    // The season starts in the year before the given year.
    periods::writeDates(out,
                        periods::dayNumber(options->year - 1, start.date.month, start.date.day),
                        periods::dayNumber(options->year, end.date.month, end.date.day));
    return cli::kExitSuccess;
}

} // namespace veg::seasondates
