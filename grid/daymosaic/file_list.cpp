// The list file of a day's tile paths.
#include "file_list.h"

#include <fstream>

namespace daymosaic {

int readFileList(FileList& list, const std::string& listPath, std::ostream& out,
                 std::ostream& err) {
    list.paths.clear();
    list.extra = 0;
    std::ifstream in(listPath);
    if (!in) {
        out << "Failed to open the input parameters file " << listPath << " \n";
        return -1;
    }
    std::string token;
    while (in >> token) {
        if (static_cast<int>(list.paths.size()) < kMaxTiles) {
            list.paths.push_back(token);
        } else {
            ++list.extra;
            err << "Error: more than maximum number of files=" << kMaxTiles << ".\n";
        }
    }
    return static_cast<int>(list.paths.size());
}

}  // namespace daymosaic
