// The period list writer shared by both forms.
#include "periodlist.h"

#include "atomicfile.h"
#include "calendar.h"
#include "cliargs.h"
#include "textinput.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace veg::periods {
namespace {

struct PeriodListOptions {
    std::string dir;
    int year = 0;
    int number = 0;
    std::string periodName = "week";
    int step = 7;
    int length = 7;
};

std::string periodListUsage(PeriodListForm form, const std::string &program) {
    const bool full = form == PeriodListForm::Full;
    std::string text = usageText(
        program, {full ? "Usage: %s  <dir name> <year> <# of period> {period name} {period length} "
                         "{actual periold length}"
                       : "Usage: %s  <dir name> <year> <# of period> {period name} {period length}",
                  "       <dir name> - output directory", "       <year> - year in XXXX, e.g. 2020",
                  "       <# of period> - # of periods. e.g. 7",
                  "       {period name} - name of period, default: week",
                  "       {period length} - length of each period, default: 7"});
    if (full) {
        text += usageText(program, {"       {actual period length} - length of each period, "
                                    "default is the same as 'period length'",
                                    "Example: %s lists 2020 8 weekly 7",
                                    "Example: %s lists 2020 8 biweekly 7 14"});
    } else {
        text += usageText(program, {"Example: %s lists 2020 8 week 7"});
    }
    return text;
}

// Nothing when the arguments lack the folder, the year or the period number. The basic form has
// no actual length: its period is as long as its spacing.
std::optional<PeriodListOptions> parseOptions(PeriodListForm form, const cli::Args &args) {
    if (args.size() < 4)
        return std::nullopt;
    PeriodListOptions options;
    options.dir = args[1];
    options.year = fileio::readClampedInt(args[2].c_str());
    options.number = fileio::readClampedInt(args[3].c_str());
    if (args.size() > 4)
        options.periodName = args[4];
    if (args.size() > 5)
        options.step = fileio::readClampedInt(args[5].c_str());
    options.length = options.step;
    if (form == PeriodListForm::Full && args.size() > 6)
        options.length = fileio::readClampedInt(args[6].c_str());
    return options;
}

enum class WriteOutcome { Placed, OpenFailed, WriteFailed };

// Writes the period's dates, one "%d.%02d.%02d" line each, to `name`. A name that cannot take a
// file (a missing or unwritable folder, a folder of that name, a name too long for its folder)
// counts as a failed open; a failed write or close as a failed write.
WriteOutcome writeDateList(const std::string &name, const calendar::Period &period) {
    fileio::AtomicFile file;
    if (!file.create(name) || file.stream() == nullptr)
        return WriteOutcome::OpenFailed;
    std::FILE *stream = file.stream();
    if (period.lastDay >= period.firstDay) {
        for (int64_t day = period.firstDay;; ++day) {
            const calendar::Date date = calendar::dateOfJulian(day);
            if (std::fprintf(stream, "%d.%02d.%02d\n", date.year, date.month, date.day) < 0 ||
                day == period.lastDay)
                break;
        }
    }
    if (!file.releaseDescriptor())
        return WriteOutcome::WriteFailed;
    return file.commit() ? WriteOutcome::Placed : WriteOutcome::OpenFailed;
}

} // namespace

int runPeriodList(PeriodListForm form, const cli::Args &args, std::ostream &out,
                  std::ostream &err) {
    const std::optional<PeriodListOptions> options = parseOptions(form, args);
    if (!options) {
        out << periodListUsage(form, programPath(args));
        return cli::kExitStop;
    }
    const calendar::Period period =
        calendar::periodOf(options->year, options->number, options->step, options->length);
    std::string name;
    try {
        name = calendar::periodListFileName(options->dir, options->periodName, period);
    } catch (const calendar::FileNameTooLong &e) {
        err << cli::format("Error in output name %s! It is longer than %zu characters.\n",
                           e.name().c_str(), e.limit());
        return cli::kExitStop;
    }
    // The name is on the terminal before any message about the file.
    out << cli::format("output name=%s\n", name.c_str()) << std::flush;

    switch (writeDateList(name, period)) {
    case WriteOutcome::Placed:
        break;
    case WriteOutcome::OpenFailed:
        err << cli::format("Error in open file %s!\n", name.c_str());
        return cli::kExitStop;
    case WriteOutcome::WriteFailed:
        err << cli::format("Error in write file %s!\n", name.c_str());
        return cli::kExitStop;
    }
    out << "O.K.\n";
    return cli::kExitSuccess;
}

} // namespace veg::periods

namespace veg::periodlist {
int run(const cli::Args &args, std::ostream &out, std::ostream &err) {
    return periods::runPeriodList(periods::PeriodListForm::Full, args, out, err);
}
} // namespace veg::periodlist

namespace veg::periodlist_basic {
int run(const cli::Args &args, std::ostream &out, std::ostream &err) {
    return periods::runPeriodList(periods::PeriodListForm::Basic, args, out, err);
}
} // namespace veg::periodlist_basic
