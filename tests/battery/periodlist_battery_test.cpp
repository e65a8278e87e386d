// periodlist and periodlist-basic against output folders that cannot take the list file.
#include "battery.h"

#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>

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

} // namespace
