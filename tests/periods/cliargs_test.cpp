// Unit tests of the argument helpers shared by the period utilities.
#include "cliargs.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

TEST(LeadingInt, ReadsLikeAtoiAndClampsBeyondTheIntRange) {
    struct Case {
        const char *text;
        int value;
    };
    const Case cases[] = {
        {"12", 12},
        {" \t-3x", -3},
        {"+7", 7},
        {"2020.05.01", 2020},
        {"07.01", 7},
        {"abc", 0},
        {"", 0},
        {"0x10", 0},
        {"- 5", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999", INT_MIN},
        {nullptr, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(periods::leadingInt(c.text), c.value) << (c.text ? c.text : "(null)");
    }
}

TEST(PrintUsage, ReplacesEveryProgramPlaceholderAndEndsEachLine) {
    std::FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    periods::printUsage(file, "./prog %d", {"Usage: %s <a>", "plain 100%", "%s and %s", ""});
    std::rewind(file);
    char text[256] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(text, n),
              "Usage: ./prog %d <a>\nplain 100%\n./prog %d and ./prog %d\n\n");
}
