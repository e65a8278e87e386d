// The contract every program of the toolkit keeps: one entry function of one shape, the exit
// statuses by name, and printf-style texts written to the program's streams.
//
// How errors travel: library functions return bool, std::optional or a result record (the grid
// and file layers) and never print; the statistics configuration reader throws, as its file format
// requires, and its entry function catches. Only a program's entry function prints, in the order
// the program's texts appear, on the streams it was handed.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace veg::cli {

// Exit statuses of the programs (the shell sees an early stop of exit(-1) as 255).
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;       // a completed run that reports a failure
inline constexpr int kExitSuccessLegacy = 1; // daymosaic and datespan end with 1 on success
inline constexpr int kExitReportFailure = 2; // tallyband: the calculation failed, reports written
inline constexpr int kExitUsage = 2;         // modis-tilegen: arguments it cannot use
inline constexpr int kExitUnreadable = 254;  // zonegrid: the input raster could not be read
inline constexpr int kExitStop = 255;        // an early stop

using Args = std::vector<std::string>;

// The shape of every entry function: the arguments including the program name (args[0]), the
// program's standard output and standard error. Returns the exit status.
using EntryFunction = int (*)(const Args &args, std::ostream &out, std::ostream &err);

// Runs an entry function on the process's arguments and streams; the whole body of every main().
int runMain(EntryFunction entry, int argc, char **argv);

// printf-style formatting into a string (any length).
std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

} // namespace veg::cli
