// Small timing helpers shared by the retrieval and crop-share benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace benchtiming {

// Seconds since `since`.
inline double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// The middle of the times (the upper middle of an even count).
inline double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// "<work folder> [runs]": the folder is created; false after printing the usage.
inline bool parseArguments(int argc, char **argv, int defaultRuns, std::string &folder, int &runs) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <work folder> [runs]\n", argv[0]);
        return false;
    }
    folder = argv[1];
    runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : defaultRuns;
    std::filesystem::create_directories(folder);
    return true;
}

} // namespace benchtiming
