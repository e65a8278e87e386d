// The program contract.
#include "program.h"

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <iostream>

namespace veg::cli {

int runMain(EntryFunction entry, int argc, char **argv) {
    Args args;
    args.reserve(static_cast<size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) {
        args.emplace_back(argv[i] != nullptr ? argv[i] : "");
    }
    if (args.empty()) {
        args.emplace_back("");
    }
    // A write past the file size limit (ulimit -f) fails and is reported like any failed write,
    // instead of the signal killing the program with its temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    const int status = entry(args, std::cout, std::cerr);
    std::cout.flush();
    std::cerr.flush();
    return status;
}

std::string format(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    char small[512];
    const int n = std::vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    std::string text;
    if (n < 0) {
        va_end(copy);
        return text;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        text.assign(small, static_cast<size_t>(n));
    } else {
        text.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), fmt, copy);
        text.resize(static_cast<size_t>(n));
    }
    va_end(copy);
    return text;
}

} // namespace veg::cli
