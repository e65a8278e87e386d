// The list file of a day's tile paths.
#include "file_list.h"

#include <fstream>

namespace veg::daymosaic {

int readFileList(FileList &list, const std::string &listPath) {
    list.paths.clear();
    list.extra = 0;
    std::ifstream in(listPath);
    if (!in) {
        return -1;
    }
    std::string token;
    while (in >> token) {
        if (static_cast<int>(list.paths.size()) < kMaxTiles) {
            list.paths.push_back(token);
        } else {
            ++list.extra;
        }
    }
    return static_cast<int>(list.paths.size());
}

} // namespace veg::daymosaic
