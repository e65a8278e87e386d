// The atomic output file, the shared readers and the formatter.
#include "atomicfile.h"
#include "program.h"
#include "support/tempdir.h"
#include "textinput.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <climits>
#include <filesystem>

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using veg::fileio::AtomicFile;

// Names in the folder other than `keep`: a temporary file left behind shows up here.
std::vector<std::string> othersIn(const std::string &folder, const std::string &keep) {
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(folder)) {
        if (e.path().filename() != keep) {
            names.push_back(e.path().filename().string());
        }
    }
    return names;
}

TEST(AtomicFile, AppearsOnlyOnCommitWithUmaskPermissions) {
    TempDir dir;
    const std::string target = dir.file("out.txt");
    writeFile(target, "old");
    const mode_t mask = ::umask(027);
    {
        AtomicFile file;
        ASSERT_TRUE(file.create(target));
        EXPECT_EQ(file.temporaryPath().rfind(dir.path() + "/.tmp", 0), 0u);
        EXPECT_LE(file.temporaryPath().size(), target.size() + 12);
        ASSERT_TRUE(file.write("new "));
        ASSERT_NE(file.stream(), nullptr);
        std::fprintf(file.stream(), "%d", 42);
        EXPECT_EQ(readFile(target), "old");
        ASSERT_TRUE(file.commit());
    }
    ::umask(mask);
    EXPECT_EQ(readFile(target), "new 42");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(othersIn(dir.path(), "out.txt").empty());
}

TEST(AtomicFile, EveryFailurePathLeavesTargetAndNoTemporaryFile) {
    TempDir dir;
    const std::string target = dir.file("out.txt");
    writeFile(target, "old");
    {
        AtomicFile dropped; // destroyed before commit
        ASSERT_TRUE(dropped.create(target));
        dropped.write("x");
    }
    {
        AtomicFile discarded;
        ASSERT_TRUE(discarded.create(target));
        discarded.discard();
        EXPECT_FALSE(discarded.commit());
    }
    {
        // A library writes the file by its path; the rename fails onto a folder.
        std::filesystem::create_directory(dir.file("folder"));
        writeFile(dir.file("folder/inside"), "");
        AtomicFile onFolder;
        ASSERT_TRUE(onFolder.create(dir.file("folder")));
        ASSERT_TRUE(onFolder.releaseDescriptor());
        writeFile(onFolder.temporaryPath(), "by path");
        EXPECT_FALSE(onFolder.commit());
    }
    AtomicFile noFolder;
    EXPECT_FALSE(noFolder.create(dir.file("missing/out.txt")));
    EXPECT_FALSE(noFolder.create(dir.path() + "/"));
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(othersIn(dir.path(), "out.txt"), std::vector<std::string>{"folder"});
    EXPECT_TRUE(veg::fileio::replaceFileContents(target, "replaced"));
    EXPECT_EQ(readFile(target), "replaced");
}

// A file size limit of the test process for the length of a scope, with SIGXFSZ ignored as the
// programs ignore it, so that writes past the limit fail instead of killing the process.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit = {bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previous_);
    }

  private:
    struct rlimit saved_ {};
    sighandler_t previous_ = SIG_DFL;
};

// A commit after a write that failed, or whose close fails (the stream's last bytes cannot be
// written), returns false with the target as it was and the temporary file (and private folder)
// already gone while the object still lives; one that succeeds leaves the target alone in the
// folder.
TEST(AtomicFile, CommitKeepsItsPromisesAtOnce) {
    const std::string bytes(3000, 'x');
    const struct {
        const char *what;
        bool privateFolder;
        bool throughStream;
        rlim_t limit;
        bool committed;
    } cases[] = {
        {"written", false, false, RLIM_INFINITY, true},
        {"written in a private folder", true, true, RLIM_INFINITY, true},
        {"failed write", false, false, 1000, false},
        {"failed write in a private folder", true, false, 1000, false},
        {"failed close", false, true, 1000, false},
        {"failed close in a private folder", true, true, 1000, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string target = dir.file("out.txt");
        writeFile(target, "old");
        AtomicFile file;
        const FileSizeLimit limit(c.limit);
        ASSERT_TRUE(c.privateFolder ? file.createInPrivateFolder(target) : file.create(target));
        if (c.privateFolder) {
            EXPECT_EQ(file.temporaryPath(), file.privateFolder() + "/out.txt");
            EXPECT_EQ(file.privateFolder().rfind(dir.path() + "/.tmp", 0), 0u);
        }
        if (c.throughStream) {
            ASSERT_NE(file.stream(), nullptr);
            std::fputs(bytes.c_str(), file.stream()); // held in the stream's buffer
        } else {
            EXPECT_EQ(file.write(bytes), c.committed);
        }
        EXPECT_EQ(file.commit(), c.committed);
        EXPECT_EQ(readFile(target), c.committed ? bytes : "old");
        EXPECT_TRUE(othersIn(dir.path(), "out.txt").empty());
    }
}

TEST(TextInput, ClampedIntegersReadLikeAtoi) {
    const struct {
        const char *text;
        int value;
    } cases[] = {{"42", 42},
                 {"  -7x", -7},
                 {"+3", 3},
                 {"x1", 0},
                 {"", 0},
                 {nullptr, 0},
                 {"99999999999", INT_MAX},
                 {"-99999999999", INT_MIN},
                 {"007", 7}};
    for (const auto &c : cases) {
        EXPECT_EQ(veg::fileio::readClampedInt(c.text), c.value) << (c.text ? c.text : "null");
    }
}

TEST(TextInput, PathListsSplitOnWhiteSpaceAndStopPastTheLimit) {
    TempDir dir;
    std::vector<std::string> entries;
    writeFile(dir.file("list"), "a.hdf\n  b.hdf\tc.hdf\r\nd.hdf");
    ASSERT_TRUE(veg::fileio::readPathList(dir.file("list"), 10, entries));
    EXPECT_EQ(entries, (std::vector<std::string>{"a.hdf", "b.hdf", "c.hdf", "d.hdf"}));
    ASSERT_TRUE(veg::fileio::readPathList(dir.file("list"), 2, entries));
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_FALSE(veg::fileio::readPathList(dir.file("missing"), 2, entries));
    EXPECT_FALSE(veg::fileio::readPathList(dir.path(), 2, entries));
    EXPECT_TRUE(veg::fileio::fileExists(dir.path()));
    EXPECT_FALSE(veg::fileio::fileExists(dir.file("missing")));
}

TEST(Program, FormatsTextsOfAnyLength) {
    EXPECT_EQ(veg::cli::format("%02i_%s", 3, "x"), "03_x");
    const std::string longText(2000, 'a');
    EXPECT_EQ(veg::cli::format("<%s>", longText.c_str()), "<" + longText + ">");
}

} // namespace
