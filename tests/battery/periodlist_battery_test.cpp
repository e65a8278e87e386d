// periodlist and periodlist-basic against output folders that cannot take the list file.
#include "battery.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

namespace {

using testsupport::TempDir;

TEST(PeriodlistBattery, UnusableOutputFolders) {
    for (const char *program : {PERIODLIST_BIN, PERIODLIST_BASIC_BIN}) {
        const TempDir dir;
        testsupport::writeFile(dir.file("plain"), "a file, not a folder");
        const std::string name = "week_03_2020.01.15_2020.01.21.txt";
        for (const std::string &folder :
             {dir.file("plain"), dir.file("missing-folder"), dir.file("plain/below")}) {
            const std::string list = folder + "/" + name;
            battery::expectCleanFailure(battery::run(program, {folder, "2020", "3"}),
                                        {255, list, folder == dir.file("plain") ? "" : list},
                                        std::string(program) + " " + folder);
        }
        // A folder standing where the list file goes.
        std::filesystem::create_directory(dir.file(name));
        const auto result = battery::run(program, {dir.path(), "2020", "3"});
        battery::expectCleanFailure(result, {255, dir.file(name), ""}, "folder at the list's name");
        EXPECT_TRUE(std::filesystem::is_directory(dir.file(name)));
    }
}

// The list is written under a temporary name in its own folder: a list name as long as a folder
// takes (255 bytes) is written, one byte more is refused cleanly.
TEST(PeriodlistBattery, LongestNameAFolderTakes) {
    const std::string tag = "_03_2020.01.15_2020.01.21.txt";
    for (const char *program : {PERIODLIST_BIN, PERIODLIST_BASIC_BIN}) {
        const TempDir dir;
        const std::string fits(255 - tag.size(), 'n');
        const auto written = battery::run(program, {dir.path(), "2020", "3", fits});
        EXPECT_EQ(written.status, 0) << written.err;
        EXPECT_TRUE(testsupport::fileExists(dir.file(fits + tag)));
        const std::string tooLong = fits + "n";
        battery::expectCleanFailure(battery::run(program, {dir.path(), "2020", "3", tooLong}),
                                    {255, dir.file(tooLong + tag), dir.file(tooLong + tag)},
                                    std::string(program) + " 256-byte name");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                                std::filesystem::directory_iterator()),
                  1);
    }
}

} // namespace
