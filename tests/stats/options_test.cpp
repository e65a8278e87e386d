// The option grammar of tallyband and its usage text.
#include "TallybandOptions.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using veg::tallyband::CommandLine;
using veg::tallyband::parseCommandLine;

namespace {

// The parsed options as "letter=argument" joined by blanks, then " |" and the non-options.
std::string summary(const CommandLine &line) {
    std::string text;
    for (const auto &option : line.options) {
        text += std::string(1, option.letter) + "=" + option.argument + " ";
    }
    text += "|";
    for (const auto &arg : line.nonOptions) {
        text += " " + arg;
    }
    return text;
}

} // namespace

TEST(TallybandOptions, Grammar) {
    struct Case {
        std::vector<std::string> args;
        const char *parsed; // summary() when the line parses
        const char *error;  // message when it doesn't
    };
    const Case cases[] = {
        {{"-tNDVI", "d.tif"}, "t=NDVI | d.tif", ""},
        {{"-t", "VCI", "d.tif"}, "t=VCI | d.tif", ""},
        {{"--type=VCI", "--type", "MVCI", "d.tif"}, "t=VCI t=MVCI | d.tif", ""},
        {{"-he"}, "h= e= |", ""},
        {{"-ec", "out.csv", "d"}, "e= c=out.csv | d", ""},
        {{"-etVCI", "d"}, "e= t=VCI | d", ""},
        {{"--help=yes", "--eliminate=1"}, "h= e= |", ""},
        {{"-m", "-j", "d"}, "m=-j | d", ""},
        {{"d.tif", "-t", "VCI"}, "| d.tif -t VCI", ""},
        {{"-", "-t", "VCI"}, "| - -t VCI", ""},
        {{"--", "-t", "VCI"}, "| -t VCI", ""},
        {{"-e", "--", "--"}, "e= | --", ""},
        {{"--type", "d.tif"}, "t=d.tif |", ""},
        {{"-c", ""}, "c= |", ""},
        {{"--csv="}, "c= |", ""},
        {{"-w", "", "d"}, "w= | d", ""},
        {{"-n", " -12", "d"}, "n= -12 | d", ""},
        {{"-n+3", "d"}, "n=+3 | d", ""},
        {{"", "-t"}, "|  -t", ""},
        {{"-h", "-x"}, "", "Unknown option 'x'\n"},
        {{"-type"}, "t=ype |", ""},
        {{"--typ=NDVI"}, "", "Unknown option '--typ'\n"},
        {{"--Help"}, "", "Unknown option '--Help'\n"},
        {{"-hq"}, "", "Unknown option 'q'\n"},
        {{"-t"}, "", "Option 't' requires a non-empty argument\n"},
        {{"-t", ""}, "", "Option 't' requires a non-empty argument\n"},
        {{"--mask="}, "", "Option '--mask' requires a non-empty argument\n"},
        {{"--json"}, "", "Option '--json' requires a non-empty argument\n"},
        {{"-c"}, "", "Option 'c' requires an argument\n"},
        {{"--workid"}, "", "Option '--workid' requires an argument\n"},
        {{"-n", "x", "d"}, "", "Option 'n' requires a numeric argument\n"},
        {{"--number=3x"}, "", "Option '--number' requires a numeric argument\n"},
        {{"--number=", "d"}, "", "Option '--number' requires a numeric argument\n"},
        {{"-n", "99999999999"}, "", "Option 'n' requires a numeric argument\n"},
        {{"-n"}, "", "Option 'n' requires a numeric argument\n"},
    };
    for (const auto &c : cases) {
        std::ostringstream name;
        for (const auto &arg : c.args) {
            name << "[" << arg << "]";
        }
        const CommandLine line = parseCommandLine(c.args);
        EXPECT_EQ(line.error, c.error) << name.str();
        if (line.error.empty()) {
            EXPECT_EQ(summary(line), c.parsed) << name.str();
        }
    }
}

TEST(TallybandOptions, HelpAnywhereAmongTheOptions) {
    EXPECT_TRUE(parseCommandLine({"-t", "VCI", "--help", "d"}).help);
    EXPECT_TRUE(parseCommandLine({"-eh"}).help);
    EXPECT_FALSE(parseCommandLine({"d", "-h"}).help);
}

TEST(TallybandOptions, ColumnsAndTrimming) {
    struct Case {
        const char *value;
        int columns;
    };
    const Case cases[] = {{nullptr, 80}, {"120", 120}, {" 60", 60}, {"0", 80},
                          {"-5", 80},    {"wide", 80}, {"90x", 80}, {"99999999", 10000}};
    for (const auto &c : cases) {
        EXPECT_EQ(veg::tallyband::columnsFromEnvironment(c.value), c.columns)
            << (c.value ? c.value : "unset");
    }
    EXPECT_EQ(veg::tallyband::trimBlanks(" \t\r\n\v\fa b\f\v\n\r\t "), "a b");
    EXPECT_EQ(veg::tallyband::trimBlanks(" \t "), "");
}

TEST(TallybandOptions, UsageFitsTheWidth) {
    for (int columns : {20, 40, 80, 100, 120, 200}) {
        const std::string text = veg::tallyband::usageText(columns);
        std::istringstream lines(text);
        std::string line;
        bool inTable = false;
        std::string words;
        while (std::getline(lines, line)) {
            if (line == "Options:") {
                inTable = true;
                continue;
            }
            if (line.empty()) {
                inTable = false;
            }
            // The option columns are never cut; only the description wraps within the width.
            if (inTable && line.size() > static_cast<size_t>(columns)) {
                EXPECT_LE(line.find_last_not_of(' '), 42u) << columns << ": " << line;
            }
            if (inTable) {
                words += line + " ";
            }
        }
        // No word of a description is lost by wrapping.
        for (const char *word : {"pixelcount.", "OTHER20.", "purpose.", "stdout).", "used."}) {
            EXPECT_NE(words.find(word), std::string::npos) << columns << " " << word;
        }
        EXPECT_EQ(text.substr(0, 50), "USAGE: tallyband.x [options] <datafile>\n\nOptions:\n");
        EXPECT_NE(text.find("\n  tallyband.x -t NDVI -m ../cdl_2022.tif ../NDVI2002.01.01.tif \n"),
                  std::string::npos);
    }
}
