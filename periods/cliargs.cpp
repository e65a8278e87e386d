// Usage texts of the period utilities.
#include "cliargs.h"

namespace veg::periods {

const std::string &programPath(const cli::Args &args) {
    static const std::string none;
    return args.empty() ? none : args[0];
}

std::string usageText(const std::string &program, std::initializer_list<const char *> lines) {
    std::string text;
    for (const char *line : lines) {
        for (const char *p = line; *p != '\0'; ++p) {
            if (p[0] == '%' && p[1] == 's') {
                text += program;
                ++p;
            } else {
                text += *p;
            }
        }
        text += '\n';
    }
    return text;
}

} // namespace veg::periods
