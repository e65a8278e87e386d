// Result files written under a temporary name and renamed into place when complete.
#include "resultfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace veg {
namespace {

// Owns a file descriptor; closes it on every path.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_;
};

std::string systemError() { return std::strerror(errno); }

} // namespace

std::string temporarySibling(const std::string &path) {
    return path + ".part-" + std::to_string(static_cast<long>(::getpid()));
}

bool emptyResultFile(const std::string &path, std::string &error) {
    FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.valid() || !fd.close()) {
        error = systemError();
        return false;
    }
    return true;
}

bool writeResultFile(const std::string &path, const std::string &text, std::string &error) {
    // Keep the permissions of an existing result file (new ones follow the umask).
    mode_t mode = 0666;
    struct stat st;
    bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed)
        mode = st.st_mode & 07777;

    const std::string temp = temporarySibling(path);
    FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        error = systemError();
        return false;
    }
    bool ok = true;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
    if (ok && existed)
        ok = ::fchmod(fd.get(), mode) == 0;
    if (ok && !existed) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd.get(), mode & ~mask) == 0;
    }
    if (!ok)
        error = systemError();
    if (!fd.close() && ok) {
        ok = false;
        error = systemError();
    }
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        error = systemError();
    }
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

} // namespace veg
