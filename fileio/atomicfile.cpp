// Temporary-name writing of every output file of the toolkit.
#include "atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace veg::fileio {

namespace {

std::string folderOf(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return path.substr(0, slash + 1); // keeps the separator ("/" for a file in the root)
}

std::string nameOf(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

AtomicFile::~AtomicFile() { discard(); }

AtomicFile::AtomicFile(AtomicFile &&other) noexcept
    : target_(std::move(other.target_)), temporaryPath_(std::move(other.temporaryPath_)),
      privateFolder_(std::move(other.privateFolder_)), fd_(other.fd_), stream_(other.stream_),
      writeFailed_(other.writeFailed_) {
    other.temporaryPath_.clear();
    other.privateFolder_.clear();
    other.fd_ = -1;
    other.stream_ = nullptr;
}

AtomicFile &AtomicFile::operator=(AtomicFile &&other) noexcept {
    if (this != &other) {
        discard();
        target_ = std::move(other.target_);
        temporaryPath_ = std::move(other.temporaryPath_);
        privateFolder_ = std::move(other.privateFolder_);
        fd_ = other.fd_;
        stream_ = other.stream_;
        writeFailed_ = other.writeFailed_;
        other.temporaryPath_.clear();
        other.privateFolder_.clear();
        other.fd_ = -1;
        other.stream_ = nullptr;
    }
    return *this;
}

bool AtomicFile::create(const std::string &target) { return createTemporary(target, false); }

bool AtomicFile::createInPrivateFolder(const std::string &target) {
    return createTemporary(target, true);
}

bool AtomicFile::createTemporary(const std::string &target, bool privateFolder) {
    discard();
    target_ = target;
    writeFailed_ = false;
    if (target.empty() || target.back() == '/') {
        errno = EISDIR;
        return false;
    }
    const std::string folder = folderOf(target);
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, ".tmp%08x", static_cast<unsigned>(device()));
        std::string candidate = folder + name;
        if (privateFolder) {
            if (::mkdir(candidate.c_str(), 0700) != 0) {
                if (errno == EEXIST) {
                    continue;
                }
                return false;
            }
            privateFolder_ = candidate;
            candidate += "/" + nameOf(target);
        }
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temporaryPath_ = candidate;
            return true;
        }
        if (privateFolder || errno != EEXIST) {
            discard();
            return false;
        }
    }
    return false;
}

bool AtomicFile::write(const void *data, size_t size) {
    if (stream_ != nullptr) {
        if (size != 0 && std::fwrite(data, 1, size, stream_) != size) {
            writeFailed_ = true;
        }
        return !writeFailed_;
    }
    if (fd_ < 0) {
        writeFailed_ = true;
        return false;
    }
    const char *bytes = static_cast<const char *>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, bytes + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            writeFailed_ = true;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::FILE *AtomicFile::stream() {
    if (stream_ == nullptr && fd_ >= 0) {
        stream_ = ::fdopen(fd_, "w");
        if (stream_ != nullptr) {
            fd_ = -1; // the stream owns the descriptor now
        }
    }
    return stream_;
}

bool AtomicFile::closeHandles() {
    bool ok = !writeFailed_;
    if (stream_ != nullptr) {
        ok = std::ferror(stream_) == 0 && ok;
        ok = std::fclose(stream_) == 0 && ok;
        stream_ = nullptr;
    }
    if (fd_ >= 0) {
        ok = ::close(fd_) == 0 && ok;
        fd_ = -1;
    }
    return ok;
}

bool AtomicFile::releaseDescriptor() { return closeHandles(); }

bool AtomicFile::commit() {
    if (temporaryPath_.empty()) {
        return false;
    }
    if (!closeHandles() || std::rename(temporaryPath_.c_str(), target_.c_str()) != 0) {
        const int saved = errno;
        discard();
        errno = saved;
        return false;
    }
    temporaryPath_.clear();
    if (!privateFolder_.empty()) {
        ::rmdir(privateFolder_.c_str()); // empty now; the product is in place either way
        privateFolder_.clear();
    }
    return true;
}

void AtomicFile::discard() {
    const int saved = errno;
    closeHandles();
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
    }
    if (!privateFolder_.empty()) {
        ::rmdir(privateFolder_.c_str());
        privateFolder_.clear();
    }
    errno = saved;
}

bool replaceFileContents(const std::string &path, std::string_view bytes) {
    AtomicFile file;
    return file.create(path) && file.write(bytes) && file.commit();
}

} // namespace veg::fileio
