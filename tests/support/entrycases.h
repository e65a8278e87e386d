// In-process calls of programs' entry functions as a table: status and the bytes on each stream.
#pragma once

#include "program.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace testsupport {

struct EntryCase {
    const char *what;
    veg::cli::EntryFunction run;
    veg::cli::Args args;
    int status;
    std::string out; // the whole standard output, or its start with outIsPrefix
    std::string err; // the whole standard error, or its start with errIsPrefix
    bool outIsPrefix = false;
    bool errIsPrefix = false;
};

// Runs every case with string streams and checks its status and both streams.
template <typename Cases> void expectEntryCases(const Cases &cases) {
    const auto expectText = [](const std::string &text, const std::string &expected, bool isPrefix,
                               const char *what) {
        if (isPrefix) {
            EXPECT_EQ(text.rfind(expected, 0), 0u) << what << ": " << text;
        } else {
            EXPECT_EQ(text, expected) << what;
        }
    };
    for (const EntryCase &c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(c.run(c.args, out, err), c.status) << c.what;
        expectText(out.str(), c.out, c.outIsPrefix, c.what);
        expectText(err.str(), c.err, c.errIsPrefix, c.what);
    }
}

} // namespace testsupport
