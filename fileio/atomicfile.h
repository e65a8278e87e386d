// An output file that appears under its name whole or not at all: it is written under a temporary
// name in the target's folder and renamed onto the target only after a checked close.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace veg::fileio {

// A temporary file beside a target, created exclusively (O_EXCL) with the permissions the umask
// gives (0666 less the umask), removed on every failure path and on destruction unless commit()
// renamed it onto the target. An existing file of the target's name stays untouched until the
// rename.
//
// The temporary name is ".tmp" and eight hexadecimal digits in the target's folder, so its path is
// never longer than the target's when the target's own name has twelve characters or more.
//
// A library that records in the file the name it was given (HDF4 does) writes under the target's
// own name inside a private folder instead (createInPrivateFolder): the folder, ".tmp" and eight
// hexadecimal digits in the target's folder, is made exclusively with mode 0700, so no other
// writer can meet the file, and the commit renames the file out of it and removes the folder.
//
// Three ways of writing: write() on the descriptor, stream() (a stdio stream on the descriptor),
// or a library that writes the file by its path (call releaseDescriptor() first, hand it
// temporaryPath(), and let it close the file before commit()).
class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(AtomicFile &&other) noexcept;
    AtomicFile &operator=(AtomicFile &&other) noexcept;
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Creates the temporary file for `target`. False (errno kept from the failing call) when no
    // temporary file can be created in the target's folder.
    bool create(const std::string &target);
    // The same with the temporary file at <private folder>/<target's name>. False (errno kept)
    // when the folder or the file cannot be made; nothing is left behind then.
    bool createInPrivateFolder(const std::string &target);

    bool isOpen() const { return !temporaryPath_.empty(); }
    const std::string &target() const { return target_; }
    const std::string &temporaryPath() const { return temporaryPath_; }
    // The private folder of createInPrivateFolder; empty otherwise.
    const std::string &privateFolder() const { return privateFolder_; }

    // Writes all bytes to the descriptor; false on a failed write (or when no descriptor is held).
    bool write(const void *data, size_t size);
    bool write(std::string_view text) { return write(text.data(), text.size()); }

    // A stdio stream over the descriptor, opened on first use; null when that fails.
    std::FILE *stream();

    // Closes the descriptor (checked) so that a library can write the file by its path.
    bool releaseDescriptor();

    // Closes what is still open (checking stream errors and the close) and renames the temporary
    // file onto the target, then removes the private folder. False when a write, the close or the
    // rename failed; the temporary file (and its folder) are then already removed, and the target
    // untouched.
    bool commit();

    // Removes the temporary file; the target stays untouched. Idempotent.
    void discard();

  private:
    bool closeHandles();
    bool createTemporary(const std::string &target, bool privateFolder);

    std::string target_;
    std::string temporaryPath_;
    std::string privateFolder_;
    int fd_ = -1;
    std::FILE *stream_ = nullptr;
    bool writeFailed_ = false;
};

// Replaces the file at `path` with `bytes` through an AtomicFile; false when any step fails, with
// nothing left behind and the old file untouched.
bool replaceFileContents(const std::string &path, std::string_view bytes);

} // namespace veg::fileio
