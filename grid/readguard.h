// A damaged grid file must not kill the program that reads it. The HDF4 and HDF-EOS libraries
// trust the bytes of a file: a few changed bytes in the structural metadata, a vdata or the
// data-set headers can send their parsers past their buffers or into giant allocations. Before a
// program opens an input, the small program gridprobe (installed beside the programs) opens it in
// a process of its own and queries everything the programs use (grid, geometry, every field's
// information, the first cell of every field, every data set's attributes); a probe that dies,
// or runs past its time, marks the file as damaged.
#pragma once

#include "program.h"

#include <ostream>
#include <string>
#include <vector>

namespace veg::grid {

// Exit statuses of gridprobe.
inline constexpr int kProbeSound = 0;
inline constexpr int kProbeUnopenable = 3;

enum class ProbeVerdict {
    Sound,      // the grid opened, and every query returned (some may have failed normally)
    Unopenable, // the file, the grid or its geometry could not be read: the caller must not try
                // (a failed open of a damaged file can leave the libraries' tables unsound)
    Damaged,    // the probe died on the file or ran past its time
    NotRun,     // the probe program was not found or could not be started: no check was made
};

// Probes `path` for the grid `gridName` with the probe program (VEG_GRIDPROBE when set, else
// gridprobe in the running program's folder), started with posix_spawn (no copy of the caller's
// memory), its standard streams on /dev/null, and killed after timeoutSeconds.
ProbeVerdict probeGridFile(const std::string &path, const std::string &gridName,
                           int timeoutSeconds = 60);

// The probe of a series of inputs that one program reads one after another in one process. HDF4
// keeps state from one file to the next, and two damaged files that each open cleanly on their own
// can crash the process that opens them in turn. One probe process here opens and queries the
// same files in the same order as the program, so a file that would fail only after the others is
// found before the program opens it. A probe process that dies or runs past its time on a file
// marks that file damaged; the next file goes to a new probe process that first opens again every
// file the program went on with (those found sound). So does the file after one that cannot be
// opened, which the program leaves alone.
class SequenceProbe {
  public:
    explicit SequenceProbe(std::string gridName, int timeoutSeconds = 60)
        : gridName_(std::move(gridName)), timeoutSeconds_(timeoutSeconds) {}
    ~SequenceProbe();
    SequenceProbe(SequenceProbe &&other) noexcept;
    SequenceProbe &operator=(SequenceProbe &&other) = delete;
    SequenceProbe(const SequenceProbe &) = delete;
    SequenceProbe &operator=(const SequenceProbe &) = delete;

    // The verdict on `path` after every file found sound before it, as probeGridFile gives it.
    ProbeVerdict check(const std::string &path);

  private:
    bool start();
    void stop();
    // Sends a path and waits for the probe's answer.
    ProbeVerdict ask(const std::string &path);

    std::string gridName_;
    int timeoutSeconds_;
    int socket_ = -1;
    int pid_ = -1;
    std::vector<std::string> sound_; // files found sound, in order: the program opened them
};

// The probe's own work, run by gridprobe: every query the programs make of an input. False when
// the file, the grid or its geometry cannot be read; other queries that fail simply return.
bool queryGridFile(const std::string &path, const std::string &gridName);

// Caps the calling process's address space at its current size plus 2 GiB (not under the
// sanitizers, which reserve far more up front), so a size read from damaged bytes fails its
// allocation instead of exhausting the machine.
void limitAddressSpace();

// Seconds that the reading of one input may take before a ReadWatchdog stops the program:
// VEG_READ_SECONDS when it holds a positive number, else 600.
int readTimeLimit();

// The line a program adds after its read failure message when the watchdog stopped the read.
std::string readTimeoutLine(const std::string &path, int seconds);

// A bound on reads that a damaged file could make hang inside the libraries (HDF4 keeps inflating
// a damaged deflate stream when a window of the field is read). While a watchdog lives, a read
// that runs past its time ends the process the way the program's own failure would: `message` is
// written to standard error, the `leftovers` (an output's temporary file, then its private
// folder) are removed, and the process exits with `status`. The process cannot go on with the
// libraries stopped inside a call, so it ends. One watchdog at a time; the alarm signal is the
// process's own for that time.
class ReadWatchdog {
  public:
    ReadWatchdog(std::string message, int status, std::vector<std::string> leftovers = {},
                 int seconds = readTimeLimit());
    ~ReadWatchdog();
    ReadWatchdog(const ReadWatchdog &) = delete;
    ReadWatchdog &operator=(const ReadWatchdog &) = delete;

  private:
    std::string message_;
    int status_;
    std::vector<std::string> leftovers_;
    friend void stopRead(int);
};

} // namespace veg::grid

namespace veg::gridprobe {

// gridprobe <grid file> <grid name>: caps its address space, asks the file everything the programs
// ask and prints nothing. gridprobe --sequence <grid name>: the same for each path read from
// standard input, one a line, in one process, answering each with one byte on standard output
// (the status as a digit). Status kProbeSound when the grid opened and every query returned,
// kProbeUnopenable when the file, the grid or its geometry could not be read, kExitUsage for other
// arguments.
int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::gridprobe
