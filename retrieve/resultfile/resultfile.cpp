// Result files written under a temporary name and renamed into place when complete.
#include "resultfile.h"

#include "atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace veg::resultfile {

namespace {

std::string systemError() { return std::strerror(errno); }

} // namespace

bool emptyResultFile(const std::string &path, std::string &error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || ::close(fd) != 0) {
        error = systemError();
        return false;
    }
    return true;
}

bool writeResultFile(const std::string &path, const std::string &text, std::string &error) {
    // The caller emptied the result file at the start; its permissions carry over.
    struct stat st;
    const bool existed = ::stat(path.c_str(), &st) == 0;
    fileio::AtomicFile file;
    bool ok = file.create(path) && file.write(text);
    if (ok && existed) {
        ok = ::chmod(file.temporaryPath().c_str(), st.st_mode & 07777) == 0;
    }
    ok = ok && file.commit();
    if (!ok) {
        error = systemError();
        file.discard();
    }
    return ok;
}

} // namespace veg::resultfile
