// Steps shared by the date and period helper programs.
#include "datehelpers.h"

#include "cliargs.h"
#include "textinput.h"

#include <cstring>

namespace veg::periods {

using fileio::readClampedInt;

SplitDate splitYearMonthDay(const std::string &text) {
    SplitDate split;
    const std::size_t firstDot = text.find('.');
    if (firstDot == std::string::npos)
        return split;
    const std::size_t secondDot = text.find('.', firstDot + 1);
    split.monthLength =
        secondDot != std::string::npos ? secondDot - firstDot - 1 : text.size() - firstDot - 1;
    if (secondDot == std::string::npos || split.monthLength > 2)
        return split;
    split.wellFormed = true;
    split.date = {readClampedInt(text.c_str()), readClampedInt(text.c_str() + firstDot + 1),
                  readClampedInt(text.c_str() + secondDot + 1)};
    return split;
}

SplitDate splitMonthDay(const std::string &text) {
    SplitDate split;
    const std::size_t dot = text.find('.');
    split.monthLength = dot != std::string::npos ? dot : text.size();
    if (dot == std::string::npos || split.monthLength > 2)
        return split;
    split.wellFormed = true;
    split.date = {0, readClampedInt(text.c_str()), readClampedInt(text.c_str() + dot + 1)};
    return split;
}

int64_t dayNumber(int64_t year, int month, int day) {
    return calendar::Gregorian2Julian(static_cast<int>(year), month, day);
}

void writeDates(std::ostream &out, int64_t first, int64_t last) {
    if (last < first)
        return;
    for (int64_t day = first;; ++day) {
        const calendar::Date date = calendar::dateOfJulian(day);
        out << cli::format("%i.%02i.%02i\n", date.year, date.month, date.day);
        if (day == last)
            break;
    }
}

std::string unreadableDateMessage(const char *what, const std::string &text) {
    return cli::format("Wrong inputs: %s - %s is NOT in right format! Expect in yyyy.mm.dd. e.g. "
                       "2009.01.02\n",
                       what, text.c_str());
}

int runWeekNumber(const cli::Args &args, std::ostream &out, std::ostream &err,
                  int64_t (*weekNumber)(const DayOfYear &date)) {
    if (args.size() < 2) {
        out << usageText(programPath(args), {"Usage: %s <yyyy.mm.dd>"});
        return cli::kExitStop;
    }
    const std::optional<DayOfYear> date = readDayOfYear(args[1]);
    if (!date) {
        err << unreadableDateMessage("date", args[1]);
        return cli::kExitStop;
    }
    out << cli::format("%lld", static_cast<long long>(weekNumber(*date)));
    return cli::kExitSuccess;
}

std::optional<DayOfYear> readDayOfYear(const std::string &text) {
    const char *c = text.c_str();
    if (!calendar::hasDateLength(c))
        return std::nullopt;
    int month = 0;
    calendar::parseDate(c, nullptr, &month, nullptr);
    if (month < 1 || month > 12)
        return std::nullopt;
    DayOfYear read;
    int fixedYear = 0;
    calendar::date2julian(c, &fixedYear, &read.dayOfYear);
    read.year = readClampedInt(c);
    read.newYearWeekday = dayNumber(read.year, 1, 1) % 7;
    return read;
}

std::string periodArgumentUsage(const std::string &program) {
    return usageText(
        program,
        {"       <year> - the year to calculate the period. Required.",
         "       <# of the period> - the number of the period to be calculated. Required.",
         "       {length of each period} - the number of days for calculating the number of "
         "periods. Default value is 7.",
         "       {actual length of each period} - the actual number of days for each period "
         "(default is the same as 'length of each period')"});
}

calendar::Period periodFromArguments(const cli::Args &args) {
    const int step = args.size() > 3 ? readClampedInt(args[3].c_str()) : 7;
    const int length = args.size() > 4 ? readClampedInt(args[4].c_str()) : step;
    return calendar::periodOf(readClampedInt(args[1].c_str()), readClampedInt(args[2].c_str()),
                              step, length);
}

} // namespace veg::periods
