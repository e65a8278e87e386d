// The period list writer shared by both forms.
#include "periodlist.h"

#include "calendar.h"
#include "cliargs.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace periods {
namespace {

struct PeriodListOptions {
    std::string dir;
    int year = 0;
    int number = 0;
    std::string periodName = "week";
    int step = 7;
    int length = 7;
};

void printPeriodListUsage(PeriodListForm form, const char *program, std::FILE *out) {
    const bool full = form == PeriodListForm::Full;
    printUsage(out, program,
               {full ? "Usage: %s  <dir name> <year> <# of period> {period name} {period length} "
                       "{actual periold length}"
                     : "Usage: %s  <dir name> <year> <# of period> {period name} {period length}",
                "       <dir name> - output directory", "       <year> - year in XXXX, e.g. 2020",
                "       <# of period> - # of periods. e.g. 7",
                "       {period name} - name of period, default: week",
                "       {period length} - length of each period, default: 7"});
    if (full) {
        printUsage(out, program,
                   {"       {actual period length} - length of each period, default is the same "
                    "as 'period length'",
                    "Example: %s lists 2020 8 weekly 7", "Example: %s lists 2020 8 biweekly 7 14"});
    } else {
        printUsage(out, program, {"Example: %s lists 2020 8 week 7"});
    }
}

PeriodListOptions readOptions(PeriodListForm form, int argc, const char *const argv[]) {
    PeriodListOptions options;
    options.dir = argv[1];
    options.year = leadingInt(argv[2]);
    options.number = leadingInt(argv[3]);
    if (argc > 4)
        options.periodName = argv[4];
    if (argc > 5)
        options.step = leadingInt(argv[5]);
    options.length = options.step;
    if (form == PeriodListForm::Full && argc > 6)
        options.length = leadingInt(argv[6]);
    return options;
}

// A temporary file beside the output, removed unless it was renamed into place.
class PendingFile {
  public:
    // The temporary name is short, so that it fits wherever the target name fits.
    PendingFile(const std::string &dir, const std::string &target) : target_(target) {
        for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
            const std::string candidate = dir + "/.periodlist." + std::to_string(::getpid()) + "." +
                                          std::to_string(attempt) + ".tmp";
            const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno == EEXIST)
                    continue;
                return;
            }
            file_ = ::fdopen(fd, "w");
            if (file_ == nullptr) {
                ::close(fd);
                ::unlink(candidate.c_str());
                return;
            }
            path_ = candidate;
        }
    }
    ~PendingFile() {
        if (file_ != nullptr)
            std::fclose(file_);
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    std::FILE *get() const { return file_; }

    enum class Outcome { Placed, WriteFailed, PlaceFailed };

    // Closes the file and renames it into place.
    Outcome commit() {
        const bool written = std::ferror(file_) == 0;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!written || !closed)
            return Outcome::WriteFailed;
        if (std::rename(path_.c_str(), target_.c_str()) != 0)
            return Outcome::PlaceFailed;
        path_.clear();
        return Outcome::Placed;
    }

  private:
    std::string target_;
    std::string path_;
    std::FILE *file_ = nullptr;
};

} // namespace

int runPeriodList(PeriodListForm form, int argc, const char *const argv[], std::FILE *out,
                  std::FILE *err) {
    if (argc < 4) {
        printPeriodListUsage(form, argv[0], out);
        return kFailureStatus;
    }
    const PeriodListOptions options = readOptions(form, argc, argv);
    const calendar::Period period =
        calendar::periodOf(options.year, options.number, options.step, options.length);
    std::string name;
    try {
        name = calendar::periodListFileName(options.dir, options.periodName, period);
    } catch (const calendar::FileNameTooLong &e) {
        std::fprintf(err, "Error in output name %s! It is longer than %zu characters.\n",
                     e.name().c_str(), e.limit());
        return kFailureStatus;
    }
    std::fprintf(out, "output name=%s\n", name.c_str());
    std::fflush(out);

    PendingFile file(options.dir, name);
    if (file.get() == nullptr) {
        std::fprintf(err, "Error in open file %s!\n", name.c_str());
        return kFailureStatus;
    }
    if (period.lastDay >= period.firstDay) {
        for (int64_t day = period.firstDay;; ++day) {
            const calendar::Date date = calendar::dateOfJulian(day);
            const int written =
                std::fprintf(file.get(), "%d.%02d.%02d\n", date.year, date.month, date.day);
            if (written < 0 || day == period.lastDay)
                break;
        }
    }
    switch (file.commit()) {
    case PendingFile::Outcome::Placed:
        break;
    case PendingFile::Outcome::WriteFailed:
        std::fprintf(err, "Error in write file %s!\n", name.c_str());
        return kFailureStatus;
    case PendingFile::Outcome::PlaceFailed:
        // The target cannot take a file: a name too long for the folder, a folder of that name.
        std::fprintf(err, "Error in open file %s!\n", name.c_str());
        return kFailureStatus;
    }
    std::fprintf(out, "O.K.\n");
    return 0;
}

} // namespace periods
