// dailyvci: the daily vegetation condition index of a window of days against the same window of N
// earlier years, built from an 8-bit daily NDVI product. Every window is composited by the
// per-pixel maximum, the composites give the highest and lowest per pixel, and the current window's
// place between them, scaled to 0..250, is written as the daily condition grid.
#pragma once

#include "program.h"

#include <ostream>
#include <string>

namespace veg::dailyvci {

struct DailyVciOptions {
    std::string sourceDir; // one folder per day
    std::string firstDate; // "yyyy.mm.dd"
    std::string lastDate;
    int years = 0; // N, counted back from the year before the window
    std::string targetPath;
};

// Options from the five positional arguments (args[0] is the program name); false when fewer are
// given.
bool parseDailyVciArguments(const veg::cli::Args &args, DailyVciOptions &options);

// The whole program; every line, failures included, goes to `out` (`err` stays unused). Returns the
// exit status: 0 when the condition grid was written, 255 otherwise (usage, bad arguments, no daily
// file opened, output not created or written).
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::dailyvci
