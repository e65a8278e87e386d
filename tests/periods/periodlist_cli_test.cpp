// Command-line tests of the period list writer in both forms: output lines, statuses and the list
// files written.
#include "support/process.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// `count` consecutive dates from a first date, one "%d.%02d.%02d" line each, counted with the C
// library's own calendar (timegm normalises day overflow) rather than with ours.
std::string dateLines(int year, int month, int day, int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day + i;
        t.tm_hour = 12;
        const std::time_t when = timegm(&t);
        std::tm norm{};
        gmtime_r(&when, &norm);
        char line[32];
        std::snprintf(line, sizeof line, "%d.%02d.%02d\n", norm.tm_year + 1900, norm.tm_mon + 1,
                      norm.tm_mday);
        lines += line;
    }
    return lines;
}

testsupport::RunOptions inFolder(const std::string &dir) {
    testsupport::RunOptions options;
    options.workDir = dir;
    return options;
}

std::vector<std::string> folderEntries(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

struct ListCase {
    const char *program;
    std::vector<std::string> args; // after the output folder "out"
    std::string fileName;          // inside "out"
    std::string content;
};

std::string usageText(bool full, const std::string &program) {
    std::string text = "Usage: " + program +
                       "  <dir name> <year> <# of period> {period name} {period length}" +
                       (full ? " {actual periold length}" : "") +
                       "\n"
                       "       <dir name> - output directory\n"
                       "       <year> - year in XXXX, e.g. 2020\n"
                       "       <# of period> - # of periods. e.g. 7\n"
                       "       {period name} - name of period, default: week\n"
                       "       {period length} - length of each period, default: 7\n";
    if (full) {
        text += "       {actual period length} - length of each period, default is the same as "
                "'period length'\n"
                "Example: " +
                program + " lists 2020 8 weekly 7\nExample: " + program +
                " lists 2020 8 biweekly 7 14\n";
    } else {
        text += "Example: " + program + " lists 2020 8 week 7\n";
    }
    return text;
}

} // namespace

TEST(PeriodlistCli, WritesTheDatesOfThePeriod) {
    const ListCase cases[] = {
        {PERIODLIST_BIN,
         {"2020", "8", "weekly", "7"},
         "weekly_08_2020.02.19_2020.02.25.txt",
         dateLines(2020, 2, 19, 7)},
        {PERIODLIST_BIN,
         {"2020", "8", "biweekly", "7", "14"},
         "biweekly_08_2020.02.19_2020.03.03.txt",
         dateLines(2020, 2, 19, 14)},
        {PERIODLIST_BIN,
         {"2020", "1"},
         "week_01_2020.01.01_2020.01.07.txt",
         dateLines(2020, 1, 1, 7)},
        {PERIODLIST_BIN,
         {"2020", "53"},
         "week_53_2020.12.30_2021.01.05.txt",
         dateLines(2020, 12, 30, 7)},
        {PERIODLIST_BIN,
         {"2020", "0"},
         "week_00_2019.12.25_2019.12.31.txt",
         dateLines(2019, 12, 25, 7)},
        {PERIODLIST_BIN,
         {"2019", "27", "fortnight", "14"},
         "fortnight_27_2019.12.31_2020.01.13.txt",
         dateLines(2019, 12, 31, 14)},
        {PERIODLIST_BIN,
         {"2021", "2", "dekad", "10", "16"},
         "dekad_02_2021.01.11_2021.01.26.txt",
         dateLines(2021, 1, 11, 16)},
        {PERIODLIST_BIN, {"2020", "1", "week", "7", "0"}, "week_01_2020.01.01_2019.12.31.txt", ""},
        {PERIODLIST_BIN, {"2020", "1", "week", "7", "-3"}, "week_01_2020.01.01_2019.12.28.txt", ""},
        {PERIODLIST_BIN, {"abc", "1"}, "week_01_0.01.01_0.01.07.txt", dateLines(0, 1, 1, 7)},
        {PERIODLIST_BIN,
         {"2020", "1", "week", "7", "7", "ignored"},
         "week_01_2020.01.01_2020.01.07.txt",
         dateLines(2020, 1, 1, 7)},
        // The basic form has no actual length: the period is as long as its step.
        {PERIODLIST_BASIC_BIN,
         {"2020", "8", "biweekly", "7", "14"},
         "biweekly_08_2020.02.19_2020.02.25.txt",
         dateLines(2020, 2, 19, 7)},
        {PERIODLIST_BASIC_BIN,
         {"2019", "2", "fortnight", "14"},
         "fortnight_02_2019.01.15_2019.01.28.txt",
         dateLines(2019, 1, 15, 14)},
        {PERIODLIST_BASIC_BIN,
         {"2020", "1"},
         "week_01_2020.01.01_2020.01.07.txt",
         dateLines(2020, 1, 1, 7)},
    };
    for (const ListCase &c : cases) {
        std::string shown = c.program;
        for (const std::string &a : c.args)
            shown += " " + a;
        SCOPED_TRACE(shown);
        testsupport::TempDir dir;
        fs::create_directory(dir.file("out"));
        std::vector<std::string> args{"out"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const testsupport::RunResult r = testsupport::run(c.program, args, inFolder(dir.path()));
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "output name=out/" + c.fileName + "\nO.K.\n");
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(testsupport::fileExists(dir.file("out/" + c.fileName)));
        EXPECT_EQ(testsupport::readFile(dir.file("out/" + c.fileName)), c.content);
        EXPECT_EQ(folderEntries(dir.file("out")), std::vector<std::string>{c.fileName});
    }
}

TEST(PeriodlistCli, OverwritesAnExistingList) {
    testsupport::TempDir dir;
    const std::string name = dir.file("week_02_2020.01.08_2020.01.14.txt");
    testsupport::writeFile(name, std::string(500, 'x'));
    const testsupport::RunResult r = testsupport::run(PERIODLIST_BIN, {dir.path(), "2020", "2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "output name=" + name + "\nO.K.\n");
    EXPECT_EQ(testsupport::readFile(name), dateLines(2020, 1, 8, 7));
    EXPECT_EQ(folderEntries(dir.path()).size(), 1u);
}

TEST(PeriodlistCli, Failures) {
    struct Case {
        const char *program;
        std::vector<std::string> args;
        std::string out;
        std::string err;
    };
    const std::string longName(1000, 'n');
    const std::string longFile =
        "out/" + longName + "_01_2020.01.01_2020.01.07.txt"; // 1034 characters
    const Case cases[] = {
        {PERIODLIST_BIN,
         {"missing", "2020", "1"},
         "output name=missing/week_01_2020.01.01_2020.01.07.txt\n",
         "Error in open file missing/week_01_2020.01.01_2020.01.07.txt!\n"},
        {PERIODLIST_BASIC_BIN,
         {"missing", "2020", "1"},
         "output name=missing/week_01_2020.01.01_2020.01.07.txt\n",
         "Error in open file missing/week_01_2020.01.01_2020.01.07.txt!\n"},
        {PERIODLIST_BIN,
         {"out", "2020", "1", longName},
         "",
         "Error in output name " + longFile + "! It is longer than 1023 characters.\n"},
        {PERIODLIST_BIN, {"out", "2020"}, usageText(true, PERIODLIST_BIN), ""},
        {PERIODLIST_BIN, {}, usageText(true, PERIODLIST_BIN), ""},
        {PERIODLIST_BASIC_BIN, {"out", "2020"}, usageText(false, PERIODLIST_BASIC_BIN), ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + std::to_string(c.args.size()));
        testsupport::TempDir dir;
        fs::create_directory(dir.file("out"));
        const testsupport::RunResult r = testsupport::run(c.program, c.args, inFolder(dir.path()));
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
        EXPECT_TRUE(folderEntries(dir.file("out")).empty());
    }
}

TEST(PeriodlistCli, LongestAcceptedName) {
    testsupport::TempDir dir;
    fs::create_directory(dir.file("out"));
    // "out/" + name + "_01_2020.01.01_2020.01.07.txt" is exactly 1023 characters; the folder
    // itself cannot hold a file name that long, so the open fails rather than the name check.
    const std::string name(1023 - 4 - 29, 'n');
    const std::string file = "out/" + name + "_01_2020.01.01_2020.01.07.txt";
    ASSERT_EQ(file.size(), 1023u);
    const testsupport::RunResult r =
        testsupport::run(PERIODLIST_BIN, {"out", "2020", "1", name}, inFolder(dir.path()));
    EXPECT_EQ(r.out, "output name=" + file + "\n");
    EXPECT_EQ(r.err, "Error in open file " + file + "!\n");
    EXPECT_EQ(r.status, 255);
}

TEST(PeriodlistCli, UnwritableFolderLeavesNothingBehind) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the super-user";
    testsupport::TempDir dir;
    fs::create_directory(dir.file("out"));
    fs::permissions(dir.file("out"), fs::perms::owner_read | fs::perms::owner_exec);
    const testsupport::RunResult r =
        testsupport::run(PERIODLIST_BIN, {"out", "2020", "1"}, inFolder(dir.path()));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "Error in open file out/week_01_2020.01.01_2020.01.07.txt!\n");
    fs::permissions(dir.file("out"), fs::perms::owner_all);
    EXPECT_TRUE(folderEntries(dir.file("out")).empty());
}

TEST(PeriodlistCli, TargetThatIsAFolderIsLeftAlone) {
    testsupport::TempDir dir;
    const std::string target = "out/week_01_2020.01.01_2020.01.07.txt";
    fs::create_directories(dir.file(target));
    const testsupport::RunResult r =
        testsupport::run(PERIODLIST_BIN, {"out", "2020", "1"}, inFolder(dir.path()));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "output name=" + target + "\n");
    EXPECT_EQ(r.err, "Error in open file " + target + "!\n");
    EXPECT_EQ(folderEntries(dir.file("out")),
              std::vector<std::string>{"week_01_2020.01.01_2020.01.07.txt"});
    EXPECT_TRUE(fs::is_directory(dir.file(target)));
}
