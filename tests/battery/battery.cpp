// Damaged input files and the checks every failed run must pass.
#include "battery.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <system_error>

#include <unistd.h>

namespace battery {

namespace fs = std::filesystem;

testsupport::RunResult run(const std::string &program, const std::vector<std::string> &args,
                           const std::map<std::string, std::string> &env) {
    testsupport::RunOptions options;
    options.env = env;
    options.env["LSAN_OPTIONS"] = std::string("print_suppressions=0:suppressions=") +
                                  VEG_SOURCE_DIR + "/tests/battery/hdf4-failed-open.supp";
    // An impossible allocation (a grid of 10^18 cells) fails as it does outside the sanitizer
    // build, where the program must answer it with a message.
    options.env["ASAN_OPTIONS"] = "allocator_may_return_null=1:detect_leaks=1";
    return testsupport::run(program, args, options);
}

std::string noise(size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char &byte : bytes) {
        byte = static_cast<char>(generator() & 0xff);
    }
    return bytes;
}

int64_t fileSize(const std::string &path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? -1 : static_cast<int64_t>(size);
}

void spoil(const std::string &good, const std::string &path, Damage damage, int64_t cut) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
    switch (damage) {
    case Damage::Missing:
        return;
    case Damage::Empty:
        testsupport::writeFile(path, "");
        return;
    case Damage::Directory:
        fs::create_directory(path);
        return;
    case Damage::RandomBytes:
        testsupport::writeFile(path, noise(4096, 20190101u));
        return;
    case Damage::Truncated: {
        const std::string bytes = testsupport::readFile(good);
        const int64_t size = static_cast<int64_t>(bytes.size());
        int64_t keep = cut < 0 ? size + cut : cut;
        keep = keep < 0 ? 0 : (keep > size ? size : keep);
        testsupport::writeFile(path, bytes.substr(0, static_cast<size_t>(keep)));
        return;
    }
    }
}

const char *damageName(Damage damage) {
    switch (damage) {
    case Damage::Missing:
        return "missing";
    case Damage::Empty:
        return "empty";
    case Damage::Directory:
        return "directory";
    case Damage::RandomBytes:
        return "random bytes";
    case Damage::Truncated:
        return "truncated";
    }
    return "?";
}

namespace {

bool mentionsSanitizer(const std::string &text) {
    return text.find("ERROR: AddressSanitizer") != std::string::npos ||
           text.find("ERROR: LeakSanitizer") != std::string::npos ||
           text.find("runtime error:") != std::string::npos;
}

} // namespace

void expectCleanFailure(const testsupport::RunResult &result, const Expected &expected,
                        const std::string &what) {
    SCOPED_TRACE(what);
    EXPECT_GE(result.status, 0) << "killed by signal " << -result.status << "\n" << result.err;
    EXPECT_FALSE(mentionsSanitizer(result.err)) << result.err;
    EXPECT_EQ(result.status, expected.status) << "stdout:\n"
                                              << result.out << "stderr:\n"
                                              << result.err;
    if (!expected.named.empty()) {
        EXPECT_NE((result.out + result.err).find(expected.named), std::string::npos)
            << "no message names " << expected.named << "\nstdout:\n"
            << result.out << "stderr:\n"
            << result.err;
    }
    if (!expected.outputPath.empty()) {
        const fs::path output(expected.outputPath);
        EXPECT_FALSE(testsupport::fileExists(expected.outputPath))
            << "a file was left at " << expected.outputPath;
        std::error_code error;
        const std::string stem = output.filename().string();
        for (const auto &entry : fs::directory_iterator(output.parent_path(), error)) {
            const std::string name = entry.path().filename().string();
            const bool startsWithStem =
                name.size() > stem.size() && name.compare(0, stem.size(), stem) == 0;
            EXPECT_FALSE(startsWithStem || name.rfind(".tmp", 0) == 0)
                << "a temporary file was left beside the output: " << name;
        }
    }
}

bool permissionsIgnored() { return ::geteuid() == 0; }

} // namespace battery
