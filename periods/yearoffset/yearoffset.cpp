// yearoffset: the year of a date minus a base year.
#include "yearoffset/yearoffset.h"

#include "cliargs.h"
#include "datehelpers.h"
#include "textinput.h"

#include <optional>

namespace veg::yearoffset {
namespace {

struct Options {
    std::string date;
    int baseYear = 0;
};

// Nothing when the arguments lack the date or the base year.
std::optional<Options> parseOptions(const cli::Args &args) {
    if (args.size() < 3)
        return std::nullopt;
    return Options{args[1], fileio::readClampedInt(args[2].c_str())};
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(args);
    if (!options) {
        out << periods::usageText(periods::programPath(args),
                                  {"Usage: %s <yyyy.mm.dd> <base year>"});
        return cli::kExitStop;
    }
    if (!calendar::hasDateLength(options->date.c_str())) {
        err << periods::unreadableDateMessage("date", options->date);
        return cli::kExitStop;
    }
    int year = 0;
    calendar::parseDate(options->date.c_str(), &year, nullptr, nullptr);
    out << cli::format("%lld",
                       static_cast<long long>(static_cast<int64_t>(year) - options->baseYear));
    return cli::kExitSuccess;
}

} // namespace veg::yearoffset
