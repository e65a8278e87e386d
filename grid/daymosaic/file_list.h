// The list file of a day's tile paths.
#pragma once

#include <string>
#include <vector>

namespace veg::daymosaic {

constexpr int kMaxTiles = 32; // paths held from one list

struct FileList {
    std::vector<std::string> paths; // the first kMaxTiles paths, in list order
    int extra = 0;                  // paths met beyond kMaxTiles (not held)
};

// Reads the white-space separated paths of `listPath` into `list`. Returns the number of paths
// held, or -1 when the list cannot be opened. Paths beyond the 32nd are counted in list.extra and
// not held; the caller reports each of them.
int readFileList(FileList &list, const std::string &listPath);

} // namespace veg::daymosaic
