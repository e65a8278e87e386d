// periodcatalog: the catalogue line of period n of a year.
#include "periodcatalog/periodcatalog.h"

#include "cliargs.h"
#include "datehelpers.h"

#include <optional>

namespace veg::periodcatalog {
namespace {

struct Options {
    calendar::Period period;
    std::string type = "NDVI";
    std::string periodName = "Weekly";
};

// Nothing when the arguments lack the year or the period number.
std::optional<Options> parseOptions(const cli::Args &args) {
    if (args.size() < 3)
        return std::nullopt;
    Options options;
    options.period = periods::periodFromArguments(args);
    if (args.size() > 5)
        options.type = args[5];
    if (args.size() > 6)
        options.periodName = args[6];
    return options;
}

} // namespace

int run(const cli::Args &args, std::ostream &out, std::ostream &) {
    const std::optional<Options> options = parseOptions(args);
    if (!options) {
        const std::string &program = periods::programPath(args);
        out << periods::usageText(program, {"Usage: %s <year> <# of the period> {length of each "
                                            "period} {actual length of each period} {type} "
                                            "{periodName}"})
            << periods::periodArgumentUsage(program)
            << periods::usageText(program, {"       {type} - Type of data.",
                                            "       {periodName} - Name of period type.",
                                            "Example: %s 2010 2", "Example: %s 2010 2 7",
                                            "Example: %s 2010 2 7 14 VCI Biweekly"});
        return cli::kExitStop;
    }
    const calendar::Period &p = options->period;
    const char *name = options->periodName.c_str();
    const char *type = options->type.c_str();
    // The period name comes first although it is the last argument.
    out << cli::format("%s_%s_%s %s %s %d %02i(%02d.%02d_%02d.%02d)_%d", name, type,
                       calendar::periodTag(p).c_str(), name, type, p.first.year, p.number,
                       p.first.month, p.first.day, p.last.month, p.last.day, p.last.year);
    return cli::kExitSuccess;
}

} // namespace veg::periodcatalog
