// periodofdate: the period tag of the latest whole period that ends on or before a date.
#include "periodofdate/periodofdate.h"

#include "cliargs.h"
#include "datehelpers.h"
#include "textinput.h"

#include <optional>

namespace veg::periodofdate {
namespace {

struct Options {
    std::string date;
    std::string lengthText; // empty when not given
    int64_t length = 7;
};

// Nothing when the arguments lack the date.
std::optional<Options> parseOptions(const cli::Args &args) {
    if (args.size() < 2)
        return std::nullopt;
    Options options;
    options.date = args[1];
    if (args.size() > 2) {
        options.lengthText = args[2];
        options.length = fileio::readClampedInt(args[2].c_str());
    }
    return options;
}

// The period of `length` days that the date (day number `day`, in `year`) calls its own.
calendar::Period periodEndingBy(int64_t day, int year, int64_t length) {
    const int64_t yearStart = periods::dayNumber(year, 1, 1);
    // The latest whole period, counted from 1 January in steps of the length, that ends on or
    // before the date; numbered in the year in which it begins.
    const int64_t whole = (day - yearStart + 1) / length;
    const int64_t first = yearStart + length * whole - length;
    const int64_t last = yearStart + length * whole - 1;
    const int64_t firstYearStart = periods::dayNumber(calendar::dateOfJulian(first).year, 1, 1);
    // A period aligned in its year gets its own number (also for daily periods); one that begins
    // in the L days before 1 January keeps the count of the year in which it begins.
    const int64_t sinceNewYear = first - firstYearStart;
    const int64_t number =
        sinceNewYear % length == 0 ? sinceNewYear / length + 1 : (sinceNewYear + 1) / length + 1;
    return calendar::periodBetween(static_cast<int>(number), first, last);
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(args);
    if (!options) {
        out << periods::usageText(
            periods::programPath(args),
            {"Usage: %s <yyyy.mm.dd> {length of period}",
             "       <yyyy.mm.dd> - the date to calculate # of periods in a year",
             "       {length of period} - length of period. Default 7.",
             "Example: %s 2009.01.02 7"});
        return cli::kExitStop;
    }
    const char *date = options->date.c_str();
    if (!calendar::hasDateLength(date)) {
        err << periods::unreadableDateMessage("date", options->date);
        return cli::kExitStop;
    }
    if (options->length <= 0) {
        err << cli::format("Wrong inputs: length of period - %s must be greater than 0!\n",
                           options->lengthText.c_str());
        return cli::kExitStop;
    }
    const calendar::Period period =
        periodEndingBy(calendar::gdate2julian(date), fileio::readClampedInt(date), options->length);
    out << calendar::periodTag(period);
    return cli::kExitSuccess;
}

} // namespace veg::periodofdate
