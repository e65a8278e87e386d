// The list file of a day's tile paths.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace daymosaic {

constexpr int kMaxTiles = 32;  // paths held from one list

struct FileList {
    std::vector<std::string> paths;  // the first kMaxTiles paths, in list order
    int extra = 0;                   // paths met beyond kMaxTiles (not held)
};

// Reads the white-space separated paths of `listPath` into `list`. Returns the number of paths
// held, or -1 when the list cannot be opened (after printing "Failed to open the input parameters
// file <path> " on `out`). Prints "Error: more than maximum number of files=32." on `err` once for
// each path beyond the 32nd.
int readFileList(FileList& list, const std::string& listPath, std::ostream& out,
                 std::ostream& err);

}  // namespace daymosaic
