// The child-process runner kills a child that runs past its limit, with what it started.
#include "support/process.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>

TEST(ProcessRunner, KillsAHungChildAndFailsTheTest) {
    testsupport::RunOptions options;
    options.timeoutSeconds = 1;
    testsupport::RunResult result;
    const auto start = std::chrono::steady_clock::now();
    // The shell's own child (sleep) keeps the output pipe open: it must die too.
    EXPECT_NONFATAL_FAILURE(result =
                                testsupport::run("/bin/sh", {"-c", "sleep 60; echo late"}, options),
                            "ran past its limit of 1 s");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.status, -SIGKILL);
    EXPECT_EQ(result.out, "");
}
