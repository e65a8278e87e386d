// periodrange: the period tag of period n of a year.
#include "periodrange/periodrange.h"

#include "cliargs.h"
#include "datehelpers.h"

#include <optional>

namespace veg::periodrange {
namespace {

struct Options {
    calendar::Period period;
};

// Nothing when the arguments lack the year or the period number.
std::optional<Options> parseOptions(const cli::Args &args) {
    if (args.size() < 3)
        return std::nullopt;
    return Options{periods::periodFromArguments(args)};
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &) {
    const std::optional<Options> options = parseOptions(args);
    if (!options) {
        const std::string &program = periods::programPath(args);
        out << periods::usageText(program, {"Usage: %s <year> <# of the period> {length of each "
                                            "period} {actual length of each period}"})
            << periods::periodArgumentUsage(program)
            << periods::usageText(program, {"Example: %s 2010 2", "Example: %s 2010 2 7",
                                            "Example: %s 2010 2 7 14"});
        return cli::kExitStop;
    }
    out << calendar::periodTag(options->period);
    return cli::kExitSuccess;
}

} // namespace veg::periodrange
