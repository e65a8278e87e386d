// The list file of a day's tile paths.
#include "file_list.h"

#include "textinput.h"

#include <cstdio>
#include <limits>

namespace veg::daymosaic {

int readFileList(FileList &list, const std::string &listPath) {
    list.paths.clear();
    list.extra = 0;
    std::vector<std::string> entries;
    if (!fileio::readPathList(listPath, std::numeric_limits<size_t>::max() - 1, entries)) {
        // A list that opens but cannot be read (a folder) holds no paths; one that cannot be
        // opened at all is the caller's open failure.
        std::FILE *file = std::fopen(listPath.c_str(), "r");
        if (file == nullptr) {
            return -1;
        }
        std::fclose(file);
        entries.clear();
    }
    for (std::string &entry : entries) {
        if (static_cast<int>(list.paths.size()) < kMaxTiles) {
            list.paths.push_back(std::move(entry));
        } else {
            ++list.extra;
        }
    }
    return static_cast<int>(list.paths.size());
}

} // namespace veg::daymosaic
