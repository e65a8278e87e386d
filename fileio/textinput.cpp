// Small readers shared by the programs.
#include "textinput.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace veg::fileio {

int readClampedInt(const char *text) {
    if (text == nullptr) {
        return 0;
    }
    const int savedErrno = errno;
    const long long value = std::strtoll(text, nullptr, 10); // saturates on overflow
    errno = savedErrno;
    return value > INT_MAX ? INT_MAX : (value < INT_MIN ? INT_MIN : static_cast<int>(value));
}

bool readPathList(const std::string &path, size_t maxEntries, std::vector<std::string> &entries) {
    entries.clear();
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "r"),
                                                                &std::fclose);
    if (!file) {
        return false;
    }
    std::string token;
    int ch;
    while ((ch = std::getc(file.get())) != EOF) {
        if (std::isspace(ch)) {
            if (!token.empty()) {
                entries.push_back(token);
                token.clear();
                if (entries.size() > maxEntries) {
                    return true;
                }
            }
        } else {
            token.push_back(static_cast<char>(ch));
        }
    }
    if (std::ferror(file.get())) {
        return false;
    }
    if (!token.empty()) {
        entries.push_back(token);
    }
    return true;
}

bool fileExists(const std::string &path) { return ::access(path.c_str(), F_OK) == 0; }

} // namespace veg::fileio
