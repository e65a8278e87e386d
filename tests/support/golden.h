// Golden transcripts: every program's exact output per mode, as a table of cases with one runner.
//
// A case names a program (its entry function, or a built binary where a real process is needed),
// its arguments, the inputs it is given and the file that holds its transcript:
// tests/golden/<transcript>.txt, shared by the cases of a table that name it, in table order. The
// runner makes a fresh folder, writes the inputs, runs the program with that folder as its working
// directory (and without COLUMNS unless the case sets it) and compares the whole transcript
// (command line, status, every line of both streams, the files the folder holds afterwards and the
// text of the files the case shows) with the file. VEG_GOLDEN_UPDATE=1 in the test's environment
// rewrites the files instead (review the diff).
#pragma once

#include "program.h"
#include "support/tempdir.h"

#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct GoldenCase {
    std::string transcript;      // tests/golden/<transcript>.txt
    veg::cli::EntryFunction run; // in-process; null: run `binary` as a child process
    veg::cli::Args args;         // args[0] is the program's name (or, for a child, ignored)
    void (*inputs)(const TempDir &dir) = nullptr; // writes the case's inputs into the folder
    const char *binary = nullptr;                 // path of the built program for a child run
    std::map<std::string, std::string> env = {};  // variables set for the run
    std::vector<std::string> show = {}; // text files written by the run, shown in the transcript
};

// The transcript text of one run: "$ " and the arguments, "status N", then "out|" and "err|"
// lines ("%no line end" after a last line without one), "files" and the folder's entries.
std::string goldenTranscript(const veg::cli::Args &args, int status, const std::string &out,
                             const std::string &err, const std::vector<std::string> &files);

// Runs every case and compares the transcripts with their files (or rewrites the files).
void expectGolden(const std::vector<GoldenCase> &cases);

// Cases of one program that share a transcript and inputs, one per argument list (without the
// program's name), appended to `cases`.
void addGoldenCases(std::vector<GoldenCase> &cases, const std::string &transcript,
                    veg::cli::EntryFunction run, const std::string &program,
                    const std::vector<veg::cli::Args> &argLists,
                    void (*inputs)(const TempDir &dir) = nullptr);

} // namespace testsupport
