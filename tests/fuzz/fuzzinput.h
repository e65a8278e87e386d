// Small helpers shared by the fuzz targets: turning the fuzzer's bytes into argument vectors and
// into files that the readers under test open by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace fuzzinput {

// Splits the bytes at every NUL into texts (an empty input gives one empty text); at most
// `maxParts` texts are kept so that a run stays short.
inline std::vector<std::string> splitAtNul(const uint8_t *data, size_t size, size_t maxParts) {
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            if (parts.size() == maxParts) {
                break;
            }
            parts.emplace_back();
        } else {
            parts.back().push_back(static_cast<char>(data[i]));
        }
    }
    return parts;
}

// An argument vector over texts, with a program name first and a terminating null, as main
// receives it.
class ArgVector {
  public:
    ArgVector(const char *program, const std::vector<std::string> &args) : texts_(args) {
        pointers_.push_back(program);
        for (const std::string &text : texts_) {
            pointers_.push_back(text.c_str());
        }
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(pointers_.size() - 1); }
    const char *const *argv() const { return pointers_.data(); }

  private:
    std::vector<std::string> texts_;
    std::vector<const char *> pointers_;
};

// A file in the temporary folder, unique to this process, holding the given bytes; removed when
// the owner goes away.
class TempFile {
  public:
    TempFile(const char *stem, const uint8_t *data, size_t size) {
        path_ = (std::filesystem::temp_directory_path() /
                 (std::string(stem) + "-" + std::to_string(::getpid())))
                    .string();
        std::FILE *file = std::fopen(path_.c_str(), "wb");
        if (file != nullptr) {
            if (size > 0) {
                std::fwrite(data, 1, size, file);
            }
            std::fclose(file);
        }
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

// A stream that swallows everything written to it, for the entry functions' FILE* outputs.
class NullStream {
  public:
    NullStream() : file_(std::fopen("/dev/null", "w")) {}
    ~NullStream() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }
    NullStream(const NullStream &) = delete;
    NullStream &operator=(const NullStream &) = delete;
    std::FILE *get() const { return file_; }

  private:
    std::FILE *file_;
};

} // namespace fuzzinput
