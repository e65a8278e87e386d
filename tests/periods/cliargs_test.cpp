// Unit tests of what the period utilities read from their arguments and the usage texts they print.
#include "cliargs.h"
#include "textinput.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

// Numbers in the period programs' arguments read like atoi: date texts give their year, and values
// beyond the int range are clamped.
TEST(ArgumentNumbers, DateTextsAndIntBoundaries) {
    struct Case {
        const char *text;
        int value;
    };
    const Case cases[] = {
        {" \t-3x", -3},
        {"2020.05.01", 2020},
        {"07.01", 7},
        {"0x10", 0},
        {"- 5", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"99999999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(veg::fileio::readClampedInt(c.text), c.value) << c.text;
    }
}

TEST(UsageText, ReplacesEveryProgramPlaceholderAndEndsEachLine) {
    EXPECT_EQ(
        veg::periods::usageText("./prog %d", {"Usage: %s <a>", "plain 100%", "%s and %s", ""}),
        "Usage: ./prog %d <a>\nplain 100%\n./prog %d and ./prog %d\n\n");
}
