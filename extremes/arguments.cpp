// Numeric arguments of the extremes builders.
#include "arguments.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace extremes {

int readInt(const char *text) {
    if (text == nullptr) {
        return 0;
    }
    const int savedErrno = errno;
    const long long value = std::strtoll(text, nullptr, 10); // saturates on overflow
    errno = savedErrno;
    return value > INT_MAX ? INT_MAX : (value < INT_MIN ? INT_MIN : static_cast<int>(value));
}

} // namespace extremes
