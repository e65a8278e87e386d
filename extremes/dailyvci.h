// dailyvci: the daily vegetation condition index of a window of days against the same window of N
// earlier years, built from an 8-bit daily NDVI product. Every window is composited by the
// per-pixel maximum, the composites give the highest and lowest per pixel, and the current window's
// place between them, scaled to 0..250, is written as the daily condition grid.
#pragma once

#include <cstdio>
#include <string>

namespace extremes {

struct DailyVciOptions {
    std::string sourceDir; // one folder per day
    std::string firstDate; // "yyyy.mm.dd"
    std::string lastDate;
    int years = 0; // N, counted back from the year before the window
    std::string targetPath;
};

// Options from the five positional arguments; false when fewer are given.
bool parseDailyVciArguments(int argc, const char *const *argv, DailyVciOptions &options);

// The whole program; every line, failures included, goes to `out`. Returns the exit status: 0 when
// the condition grid was written, 255 otherwise (usage, bad arguments, no daily file opened, output
// not created or written).
int runDailyVci(int argc, const char *const *argv, std::FILE *out);

} // namespace extremes
