// Argument reading and usage printing shared by the period utilities.
#include "cliargs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace periods {

int leadingInt(const char *text) {
    if (text == nullptr)
        return 0;
    const int savedErrno = errno;
    const long long value = std::strtoll(text, nullptr, 10);
    errno = savedErrno;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

void printUsage(std::FILE *out, const char *program, std::initializer_list<const char *> lines) {
    for (const char *line : lines) {
        for (const char *p = line; *p != '\0'; ++p) {
            if (p[0] == '%' && p[1] == 's') {
                std::fputs(program, out);
                ++p;
            } else {
                std::fputc(*p, out);
            }
        }
        std::fputc('\n', out);
    }
}

} // namespace periods
