// The progress and diagnostic lines of the statistics classes, collected in order for the program
// to print: the classes never print themselves.
#pragma once

#include <sstream>
#include <string>

namespace veg::stats {

// Text appended with << as a standard stream would write it (default number format, six
// significant digits), kept until the program takes it.
class MessageLog {
  public:
    template <typename T> MessageLog &operator<<(const T &value) {
        std::ostringstream text;
        text << value;
        text_ += text.str();
        return *this;
    }
    MessageLog &operator<<(const std::string &text) {
        text_ += text;
        return *this;
    }
    MessageLog &operator<<(const char *text) {
        text_ += text;
        return *this;
    }
    MessageLog &operator<<(char c) {
        text_ += c;
        return *this;
    }

    const std::string &text() const { return text_; }
    bool empty() const { return text_.empty(); }
    // The text collected so far; the log is empty afterwards.
    std::string take() {
        std::string text;
        text.swap(text_);
        return text;
    }
    // Moves the text of `other` to the end of this log.
    void append(MessageLog &other) { text_ += other.take(); }

  private:
    std::string text_;
};

} // namespace veg::stats
