// Temporary-name writing of report files.
#include "ReportFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

namespace {

// Owner of a file descriptor.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool writeAll(int fd, const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

} // namespace

bool replaceFileContents(const std::string &path, const std::string &bytes) {
    if (path.empty()) {
        return false;
    }
    const std::string base = path + ".tmp" + std::to_string(getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temporary = attempt == 0 ? base : base + "." + std::to_string(attempt);
        Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd.get() < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        if (!writeAll(fd.get(), bytes) || !fd.close() ||
            std::rename(temporary.c_str(), path.c_str()) != 0) {
            ::unlink(temporary.c_str());
            return false;
        }
        return true;
    }
    return false;
}

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
