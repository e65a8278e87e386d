// The golden transcript runner: run each case in a fresh folder, write its transcript, compare.
#include "support/golden.h"

#include "support/process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

void appendStream(std::string &text, const char *prefix, const std::string &bytes) {
    size_t from = 0;
    while (from < bytes.size()) {
        const size_t end = bytes.find('\n', from);
        const std::string line = bytes.substr(from, end == std::string::npos ? end : end - from);
        text += prefix;
        text += line.empty() ? "\n" : " " + line + "\n";
        if (end == std::string::npos) {
            text += "%no line end\n";
            break;
        }
        from = end + 1;
    }
}

std::vector<std::string> folderEntries(const std::string &dir) {
    std::vector<std::string> entries;
    for (const auto &entry : fs::recursive_directory_iterator(dir)) {
        entries.push_back(fs::relative(entry.path(), dir).string() +
                          (entry.is_directory() ? "/" : ""));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string replaceAll(std::string text, const std::string &from, const std::string &to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Arguments of other characters (or none) are shown in quotes.
const char *const kPlainArgument =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-/=:,+%";

// A terminal's width changes usage texts: every run starts without it unless the case sets it.
const char *const kColumns = "COLUMNS";

// Sets the variables (and the working directory) for one in-process run and restores them.
class InProcessScope {
  public:
    InProcessScope(const std::string &dir, const std::map<std::string, std::string> &env) {
        saved_cwd_ = fs::current_path().string();
        for (const char *name : {kColumns}) {
            save(name);
            ::unsetenv(name);
        }
        for (const auto &[name, value] : env) {
            save(name);
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        fs::current_path(dir);
    }
    ~InProcessScope() {
        fs::current_path(saved_cwd_);
        for (const auto &[name, value] : saved_env_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    InProcessScope(const InProcessScope &) = delete;
    InProcessScope &operator=(const InProcessScope &) = delete;

  private:
    void save(const std::string &name) {
        if (saved_env_.count(name) == 0) {
            const char *old = std::getenv(name.c_str());
            saved_env_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
    }
    std::string saved_cwd_;
    std::map<std::string, std::optional<std::string>> saved_env_;
};

std::string runCase(const GoldenCase &c) {
    const TempDir dir;
    if (c.inputs)
        c.inputs(dir);
    int status = -1;
    std::string out, err;
    if (c.run) {
        std::ostringstream outStream, errStream;
        const InProcessScope scope(dir.path(), c.env);
        status = c.run(c.args, outStream, errStream);
        out = outStream.str();
        err = errStream.str();
    } else {
        RunOptions options;
        options.workDir = dir.path();
        options.env = c.env;
        options.unsetEnv = {kColumns};
        const veg::cli::Args args(c.args.begin() + (c.args.empty() ? 0 : 1), c.args.end());
        RunResult result = run(c.binary, args, options);
        status = result.status;
        out = std::move(result.out);
        err = std::move(result.err);
    }
    // Paths of this machine: the folder of the case and the build tree (the configuration beside
    // a program).
    const auto local = [&](const std::string &text) {
        return replaceAll(replaceAll(text, dir.path(), "$DIR"), VEG_BINARY_DIR, "$BUILD");
    };
    std::string text =
        goldenTranscript(c.args, status, local(out), local(err), folderEntries(dir.path()));
    for (const std::string &name : c.show) {
        text += "file " + name + "\n";
        appendStream(text, "   |", fileExists(dir.file(name)) ? readFile(dir.file(name)) : "");
    }
    return text;
}

// The first line where two transcripts differ, with the command line of its case.
std::string firstDifference(const std::string &expected, const std::string &actual) {
    std::istringstream a(expected), b(actual);
    std::string lineA, lineB, command;
    for (int number = 1;; ++number) {
        const bool moreA = static_cast<bool>(std::getline(a, lineA));
        const bool moreB = static_cast<bool>(std::getline(b, lineB));
        if (!moreA && !moreB)
            return "";
        if (moreA && lineA.rfind("$ ", 0) == 0)
            command = lineA;
        if (!moreA || !moreB || lineA != lineB)
            return "line " + std::to_string(number) + " (case " + command +
                   ")\n  expected: " + (moreA ? lineA : "(end)") +
                   "\n  actual:   " + (moreB ? lineB : "(end)");
    }
}

} // namespace

std::string goldenTranscript(const veg::cli::Args &args, int status, const std::string &out,
                             const std::string &err, const std::vector<std::string> &files) {
    std::string text = "$";
    for (const std::string &arg : args) {
        const bool plain =
            !arg.empty() && arg.find_first_not_of(kPlainArgument) == std::string::npos;
        text += plain ? " " + arg : " '" + arg + "'";
    }
    text += "\nstatus " + std::to_string(status) + "\n";
    appendStream(text, "out|", out);
    appendStream(text, "err|", err);
    text += "files";
    for (const std::string &file : files)
        text += " " + file;
    return text + "\n";
}

void expectGolden(const std::vector<GoldenCase> &cases) {
    const bool update = std::getenv("VEG_GOLDEN_UPDATE") != nullptr;
    std::vector<std::string> order;
    std::map<std::string, std::string> transcripts;
    for (const GoldenCase &c : cases) {
        if (transcripts.count(c.transcript) == 0)
            order.push_back(c.transcript);
        std::string &text = transcripts[c.transcript];
        text += (text.empty() ? "" : "\n") + runCase(c);
    }
    for (const std::string &name : order) {
        const std::string path = std::string(VEG_GOLDEN_DIR) + "/" + name + ".txt";
        const std::string &actual = transcripts[name];
        if (update) {
            fs::create_directories(fs::path(path).parent_path());
            writeFile(path, actual);
            continue;
        }
        EXPECT_TRUE(fileExists(path)) << path << " is missing; VEG_GOLDEN_UPDATE=1 writes it";
        const std::string expected = readFile(path);
        EXPECT_TRUE(expected == actual)
            << name << ".txt differs at " << firstDifference(expected, actual)
            << "\n(VEG_GOLDEN_UPDATE=1 rewrites the transcripts; review their diff)";
    }
}

void addGoldenCases(std::vector<GoldenCase> &cases, const std::string &transcript,
                    veg::cli::EntryFunction run, const std::string &program,
                    const std::vector<veg::cli::Args> &argLists,
                    void (*inputs)(const TempDir &dir)) {
    for (const veg::cli::Args &list : argLists) {
        GoldenCase c{transcript, run, {program}, inputs};
        c.args.insert(c.args.end(), list.begin(), list.end());
        cases.push_back(std::move(c));
    }
}

} // namespace testsupport
