// periodindex: the number of the period, aligned on a start-end pair and as long as it, that holds
// a date.
#include "periodindex/periodindex.h"

#include "cliargs.h"
#include "datehelpers.h"

#include <optional>

namespace veg::periodindex {
namespace {

struct Options {
    std::string date;
    std::string start;
    std::string end;
};

// Nothing when the arguments lack a date.
std::optional<Options> parseOptions(const cli::Args &args) {
    if (args.size() < 4)
        return std::nullopt;
    return Options{args[1], args[2], args[3]};
}

// The number of the period of day `dayOfYear` of the year starting on day number `yearStart`, for
// periods from day number `start` to `end` repeated before and after; `end` is not before `start`.
int64_t periodNumber(int dayOfYear, int64_t yearStart, int64_t start, int64_t end) {
    const int64_t length = end - start + 1;
    // Zero-based day of the year on which the first period aligned on the start date begins.
    const int64_t offset = ((length - yearStart % length) % length + start % length) % length;
    return (dayOfYear - offset + length - 1) / length;
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(args);
    if (!options) {
        out << periods::usageText(
            periods::programPath(args),
            {"Usage: %s <yyyy.mm.dd> <start yyyy.mm.dd> <end yyyy.mm.dd>",
             "       <yyyy.mm.dd> - the date to calculate # of periods in a year",
             "       <start yyyy.mm.dd> - stat date of period",
             "       <end yyyy.mm.dd> - end date of period",
             "Example: %s 2009.01.02 2009.01.01 2009.01.07"});
        return cli::kExitStop;
    }
    const std::optional<periods::DayOfYear> date = periods::readDayOfYear(options->date);
    if (!date) {
        err << periods::unreadableDateMessage("date", options->date);
        return cli::kExitStop;
    }
    if (!calendar::hasDateLength(options->start.c_str())) {
        err << periods::unreadableDateMessage("start date", options->start);
        return cli::kExitStop;
    }
    if (!calendar::hasDateLength(options->end.c_str())) {
        err << periods::unreadableDateMessage("end date", options->end);
        return cli::kExitStop;
    }
    const int64_t start = calendar::gdate2julian(options->start.c_str());
    const int64_t end = calendar::gdate2julian(options->end.c_str());
    if (end < start) {
        out << "start date is later than end date!!!\n";
        return cli::kExitStop;
    }
    out << cli::format("%lld",
                       static_cast<long long>(periodNumber(
                           date->dayOfYear, periods::dayNumber(date->year, 1, 1), start, end)));
    return cli::kExitSuccess;
}

} // namespace veg::periodindex
