// The child-process probe of an input grid file.
#include "readguard.h"

#include <mfhdf.h>
// HdfEosDef.h needs the HDF4 declarations above.
#include <HdfEosDef.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <utility>
#include <vector>

extern char **environ;

namespace veg::grid {

namespace {

// The watchdog that the alarm signal's handler serves: a signal handler reaches nothing else.
const ReadWatchdog *armedWatchdog = nullptr;

} // namespace

// Async-signal-safe: write, unlink, rmdir and _exit only.
void stopRead(int) {
    const ReadWatchdog *w = armedWatchdog;
    if (w == nullptr) {
        ::_exit(cli::kExitStop);
    }
    const char *text = w->message_.data();
    size_t left = w->message_.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, text, left);
        if (n <= 0) {
            break;
        }
        text += n;
        left -= static_cast<size_t>(n);
    }
    for (const std::string &path : w->leftovers_) {
        if (::unlink(path.c_str()) != 0) {
            ::rmdir(path.c_str());
        }
    }
    ::_exit(w->status_);
}

int readTimeLimit() {
    const char *chosen = std::getenv("VEG_READ_SECONDS");
    const long seconds = chosen != nullptr ? std::strtol(chosen, nullptr, 10) : 0;
    return seconds > 0 && seconds <= 86400 ? static_cast<int>(seconds) : 600;
}

std::string readTimeoutLine(const std::string &path, int seconds) {
    return cli::format("Reading %s took longer than %d seconds and was stopped; the file may be "
                       "damaged.\n",
                       path.c_str(), seconds);
}

ReadWatchdog::ReadWatchdog(std::string message, int status, std::vector<std::string> leftovers,
                           int seconds)
    : message_(std::move(message)), status_(status), leftovers_(std::move(leftovers)) {
    armedWatchdog = this;
    struct sigaction action {};
    action.sa_handler = stopRead;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    ::alarm(static_cast<unsigned>(seconds));
}

ReadWatchdog::~ReadWatchdog() {
    ::alarm(0);
    armedWatchdog = nullptr;
}

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// Address space the probe may take beyond what it has at its start: a parser that asks for more
// has read a size from damaged bytes.
constexpr rlim_t kChildHeadroomBytes = rlim_t(2) << 30;

} // namespace

void limitAddressSpace() {
    if (kSanitized) {
        return; // the sanitizers reserve terabytes of address space up front
    }
    long pages = 0;
    if (std::FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1) {
            pages = 0;
        }
        std::fclose(statm);
    }
    if (pages <= 0) {
        return;
    }
    const rlim_t limit = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + kChildHeadroomBytes;
    const struct rlimit rl = {limit, limit};
    ::setrlimit(RLIMIT_AS, &rl);
}

bool queryGridFile(const std::string &path, const std::string &gridName) {
    const int32_t file = GDopen(const_cast<char *>(path.c_str()), DFACC_READ);
    if (file == -1) {
        return false;
    }
    bool opened = false;
    const int32_t grid = GDattach(file, const_cast<char *>(gridName.c_str()));
    if (grid != -1) {
        int32_t columns = 0, rows = 0, projection = 0, zone = 0, sphere = 0, origin = 0,
                registration = 0;
        float64 upperLeft[2], lowerRight[2], parameters[16];
        opened = GDgridinfo(grid, &columns, &rows, upperLeft, lowerRight) == 0 &&
                 GDprojinfo(grid, &projection, &zone, &sphere, parameters) == 0 &&
                 GDorigininfo(grid, &origin) == 0;
        GDpixreginfo(grid, &registration);
        int32_t length = 0;
        if (GDnentries(grid, HDFE_NENTDIM, &length) >= 0 && length >= 0 && length < (1 << 20)) {
            std::vector<char> names(static_cast<size_t>(length) + 1);
            std::vector<int32_t> sizes(4096);
            if (GDnentries(grid, HDFE_NENTDIM, &length) <= 4096) {
                GDinqdims(grid, names.data(), sizes.data());
            }
        }
        int32_t fieldCount = GDnentries(grid, HDFE_NENTDFLD, &length);
        if (fieldCount > 0 && fieldCount <= 4096 && length >= 0 && length < (1 << 20)) {
            std::vector<char> names(static_cast<size_t>(length) + 1);
            std::vector<int32_t> ranks(static_cast<size_t>(fieldCount));
            std::vector<int32_t> types(static_cast<size_t>(fieldCount));
            fieldCount = GDinqfields(grid, names.data(), ranks.data(), types.data());
            std::string list(names.data());
            size_t begin = 0;
            while (fieldCount > 0 && begin <= list.size()) {
                const size_t comma = list.find(',', begin);
                const std::string field = list.substr(
                    begin, comma == std::string::npos ? std::string::npos : comma - begin);
                int32_t rank = 0, dims[32], type = 0;
                char dimList[4096];
                if (!field.empty() &&
                    GDfieldinfo(grid, const_cast<char *>(field.c_str()), &rank, dims, &type,
                                dimList) == 0 &&
                    rank > 0 && rank <= 32) {
                    int32_t start[32] = {0}, edge[32];
                    for (int32_t i = 0; i < rank; ++i) {
                        edge[i] = 1;
                    }
                    uint8_t cell[64];
                    GDreadfield(grid, const_cast<char *>(field.c_str()), start, nullptr, edge,
                                cell);
                }
                if (comma == std::string::npos) {
                    break;
                }
                begin = comma + 1;
            }
        }
        GDdetach(grid);
    }
    int32_t hdfId = -1, sdId = -1;
    if (EHidinfo(file, &hdfId, &sdId) == 0) {
        int32_t dataSets = 0, fileAttributes = 0;
        if (SDfileinfo(sdId, &dataSets, &fileAttributes) == 0) {
            for (int32_t i = 0; i < dataSets && i < 65536; ++i) {
                const int32_t sds = SDselect(sdId, i);
                if (sds == -1) {
                    continue;
                }
                char name[H4_MAX_NC_NAME + 1];
                int32_t rank = 0, dims[H4_MAX_VAR_DIMS], type = 0, attributes = 0;
                if (SDgetinfo(sds, name, &rank, dims, &type, &attributes) == 0) {
                    for (int32_t a = 0; a < attributes && a < 4096; ++a) {
                        char attrName[H4_MAX_NC_NAME + 1];
                        int32_t attrType = 0, count = 0;
                        if (SDattrinfo(sds, a, attrName, &attrType, &count) != 0) {
                            continue;
                        }
                        const int32_t size = DFKNTsize(attrType);
                        if (size > 0 && count >= 0 && int64_t(count) * size <= (int64_t(1) << 24)) {
                            std::vector<uint8_t> values(size_t(count) * size_t(size) + 1);
                            SDreadattr(sds, a, values.data());
                        }
                    }
                }
                SDendaccess(sds);
            }
        }
    }
    return GDclose(file) == 0 && opened;
}

namespace {

std::string probeProgramPath() {
    if (const char *chosen = std::getenv("VEG_GRIDPROBE")) {
        return chosen;
    }
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return std::string();
    }
    std::string path(self, static_cast<size_t>(n));
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1) + "gridprobe";
}

// Starts the probe program with two arguments and its standard error on /dev/null. `channel`
// becomes its standard input and output (`asStdio`), or else its descriptor 3 beside /dev/null
// for input and output.
bool spawnProbe(const std::string &program, const std::array<std::string, 2> &args, int channel,
                bool asStdio, pid_t *child) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return false;
    }
    if (asStdio) {
        posix_spawn_file_actions_adddup2(&actions, channel, 0);
        posix_spawn_file_actions_adddup2(&actions, channel, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, channel, 3);
    }
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char *> argv = {const_cast<char *>(program.c_str()),
                                const_cast<char *>(args[0].c_str()),
                                const_cast<char *>(args[1].c_str()), nullptr};
    const int spawned =
        posix_spawn(child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0;
}

} // namespace

ProbeVerdict probeGridFile(const std::string &path, const std::string &gridName,
                           int timeoutSeconds) {
    const std::string program = probeProgramPath();
    if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
        return ProbeVerdict::NotRun;
    }
    // The probe holds the write end of a pipe (as descriptor 3) until it ends: the read end then
    // reports the end at once, without polling the child.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return ProbeVerdict::NotRun;
    }
    pid_t child = -1;
    const bool spawned = spawnProbe(program, {path, gridName}, ends[1], false, &child);
    ::close(ends[1]);
    if (!spawned) {
        ::close(ends[0]);
        return ProbeVerdict::NotRun;
    }
    pollfd end = {ends[0], POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&end, 1, timeoutSeconds * 1000);
    } while (ready < 0 && errno == EINTR);
    ::close(ends[0]);
    int status = 0;
    if (ready == 0) {
        ::kill(child, SIGKILL); // ran past its time
    }
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return ProbeVerdict::NotRun;
        }
    }
    if (ready == 0) {
        return ProbeVerdict::Damaged;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
        return ProbeVerdict::NotRun; // the probe program could not be started
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kProbeSound) {
        return ProbeVerdict::Sound;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kProbeUnopenable) {
        return ProbeVerdict::Unopenable;
    }
    return ProbeVerdict::Damaged;
}

SequenceProbe::~SequenceProbe() { stop(); }

SequenceProbe::SequenceProbe(SequenceProbe &&other) noexcept
    : gridName_(std::move(other.gridName_)), timeoutSeconds_(other.timeoutSeconds_),
      socket_(std::exchange(other.socket_, -1)), pid_(std::exchange(other.pid_, -1)),
      sound_(std::move(other.sound_)) {}

bool SequenceProbe::start() {
    const std::string program = probeProgramPath();
    if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
        return false;
    }
    // A socket rather than a pipe: a write to a probe that has died fails instead of raising
    // SIGPIPE in the program.
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return false;
    }
    pid_t child = -1;
    const bool spawned = spawnProbe(program, {"--sequence", gridName_}, ends[1], true, &child);
    ::close(ends[1]);
    if (!spawned) {
        ::close(ends[0]);
        return false;
    }
    socket_ = ends[0];
    pid_ = child;
    return true;
}

void SequenceProbe::stop() {
    if (socket_ >= 0) {
        ::close(std::exchange(socket_, -1));
    }
    if (pid_ > 0) {
        const pid_t child = std::exchange(pid_, -1);
        ::kill(child, SIGKILL);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

ProbeVerdict SequenceProbe::ask(const std::string &path) {
    const std::string line = path + "\n";
    size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t n = ::send(socket_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            stop();
            return ProbeVerdict::Damaged;
        }
        sent += static_cast<size_t>(n);
    }
    pollfd answer = {socket_, POLLIN, 0};
    int ready;
    do {
        ready = ::poll(&answer, 1, timeoutSeconds_ * 1000);
    } while (ready < 0 && errno == EINTR);
    char status = 0;
    ssize_t got = -1;
    if (ready > 0) {
        do {
            got = ::recv(socket_, &status, 1, 0);
        } while (got < 0 && errno == EINTR);
    }
    if (got != 1) { // died on the file, or ran past its time
        stop();
        return ProbeVerdict::Damaged;
    }
    if (status == '0' + kProbeSound) {
        return ProbeVerdict::Sound;
    }
    return status == '0' + kProbeUnopenable ? ProbeVerdict::Unopenable : ProbeVerdict::Damaged;
}

ProbeVerdict SequenceProbe::check(const std::string &path) {
    if (path.find('\n') != std::string::npos) {
        return probeGridFile(path, gridName_, timeoutSeconds_); // cannot be sent as a line
    }
    if (socket_ < 0) {
        if (!start()) {
            return ProbeVerdict::NotRun;
        }
        // A new probe process: first into the state the program's libraries are in.
        for (const std::string &earlier : sound_) {
            if (ask(earlier) != ProbeVerdict::Sound) {
                stop();
                return ProbeVerdict::Damaged;
            }
        }
    }
    const ProbeVerdict verdict = ask(path);
    if (verdict == ProbeVerdict::Sound) {
        sound_.push_back(path);
    } else if (verdict == ProbeVerdict::Unopenable) {
        // The program will not open it, and a failed open can leave the libraries' tables
        // unsound: the next file goes to a probe process in the program's own state.
        stop();
    }
    return verdict;
}

} // namespace veg::grid

namespace veg::gridprobe {

int run(const cli::Args &args, std::ostream &out, std::ostream &) {
    if (args.size() != 3) {
        return cli::kExitUsage;
    }
    grid::limitAddressSpace();
    if (args[1] == "--sequence") {
        std::string path;
        while (std::getline(std::cin, path)) {
            const int status =
                grid::queryGridFile(path, args[2]) ? grid::kProbeSound : grid::kProbeUnopenable;
            out << static_cast<char>('0' + status) << std::flush;
        }
        return grid::kProbeSound;
    }
    return grid::queryGridFile(args[1], args[2]) ? grid::kProbeSound : grid::kProbeUnopenable;
}

} // namespace veg::gridprobe
