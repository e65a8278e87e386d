// Child process runner for command-line tests: fork, exec, and drain both output pipes with poll.
#include "support/process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        if (pipe2(fd, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
    }
    ~Pipe() { closeAll(); }
    void closeEnd(int i) {
        if (fd[i] >= 0)
            close(fd[i]);
        fd[i] = -1;
    }
    void closeAll() {
        closeEnd(0);
        closeEnd(1);
    }
};

} // namespace

RunResult run(const std::string &program, const std::vector<std::string> &args,
              const RunOptions &options) {
    Pipe outPipe, errPipe, inPipe;
    std::vector<std::string> argvStore;
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (auto &a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        setpgid(0, 0); // its own group, so that a hung child is killed with what it started
        dup2(inPipe.fd[0], 0);
        dup2(outPipe.fd[1], 1);
        dup2(errPipe.fd[1], 2);
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0)
            _exit(127);
        for (const auto &name : options.unsetEnv)
            unsetenv(name.c_str());
        for (const auto &kv : options.env)
            setenv(kv.first.c_str(), kv.second.c_str(), 1);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    outPipe.closeEnd(1);
    errPipe.closeEnd(1);
    inPipe.closeEnd(0);
    if (!options.input.empty()) {
        size_t done = 0;
        while (done < options.input.size()) {
            ssize_t n =
                write(inPipe.fd[1], options.input.data() + done, options.input.size() - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
    }
    inPipe.closeEnd(1);

    RunResult result;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
    pollfd fds[2] = {{outPipe.fd[0], POLLIN, 0}, {errPipe.fd[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buf[65536];
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            break;
        }
        const int ready = poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 60000)));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready == 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(wstatus))
        result.status = WEXITSTATUS(wstatus);
    else if (WIFSIGNALED(wstatus))
        result.status = -WTERMSIG(wstatus);
    if (result.timedOut) {
        result.err += "test runner: " + program + " killed after " +
                      std::to_string(options.timeoutSeconds) + " s\n";
        ADD_FAILURE() << program << " ran past its limit of " << options.timeoutSeconds
                      << " s and was killed";
    }
    return result;
}

} // namespace testsupport
