// Runs a built program as a child process and captures what it prints, for command-line tests.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct RunResult {
    int status = -1;       // exit status 0..255, or -N when the child was killed by signal N
    bool timedOut = false; // the child ran past its limit and was killed (status -SIGKILL)
    std::string out;       // everything written to standard output
    std::string err;       // everything written to standard error
};

struct RunOptions {
    std::string workDir;                    // empty: the test's own working directory
    std::map<std::string, std::string> env; // variables set (or replaced) for the child
    std::vector<std::string> unsetEnv;      // variables removed for the child
    std::string input;                      // bytes fed to standard input
    int timeoutSeconds = 300;               // the child (and its own children) are killed after it
};

// Runs `program` with `args` (argv[0] is the program path) and waits for it, at most
// options.timeoutSeconds: a child still running then is killed with its process group, the test
// fails, and result.err ends with a line saying so.
RunResult run(const std::string &program, const std::vector<std::string> &args,
              const RunOptions &options = {});

} // namespace testsupport
