// Option parsing and usage formatting of tallyband.
#include "TallybandOptions.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace veg::tallyband {

namespace {

enum class Check { None, NonEmpty, Required, Numeric };

struct OptionRule {
    char letter;
    const char *longName;
    Check check;
};

const OptionRule kOptions[] = {
    {'h', "help", Check::None},       {'t', "type", Check::NonEmpty},
    {'m', "mask", Check::NonEmpty},   {'n', "number", Check::Numeric},
    {'j', "json", Check::NonEmpty},   {'c', "csv", Check::Required},
    {'w', "workid", Check::Required}, {'e', "eliminate", Check::None},
};

const char *const kUsageRows[] = {
    "USAGE: tallyband.x [options] <datafile>\n\nOptions:",
    "  -h , \t--help  \tPrint usage and exit.",
    "  -t <string>, \t--type=<string>  \tRequires a non-spaced string as argument - NDVI, VCI, "
    "MVCI, OTHER10, OTHER20.",
    "  -m <filename>, \t--mask=<filename>  \tRequires filename as argument: crop mask.",
    "  -n <integer>, \t--number=<integer>  \tRequires an integer value as argument to be used "
    "with crop mask. If not, all categories in the mask file will be used. -1 is not used.",
    "  -j <filename>, \t--json=<filename>  \tRequires filename as argument: output json file.",
    "  -c <filename>, \t--csv=<filename>  \tRequires filename as argument: output csv file "
    "(default output to stdout).",
    "  -w <identifier>, \t--workid=<identifier>  \tRequires identifier as argument. It is for "
    "sync purpose.",
    "  -e , \t--eliminate  \tEliminate rows with zero pixelcount.",
    "\nExamples:\n  tallyband.x -h \n  tallyband.x ../NDVI2002.01.01.tif \n  tallyband.x "
    "-tNDVI ../NDVI2002.01.01.tif \n  tallyband.x --type=NDVI ../NDVI2002.01.01.tif \n  "
    "tallyband.x --type NDVI ../NDVI2002.01.01.tif \n  tallyband.x -t NDVI -m "
    "../cdl_2022.tif ../NDVI2002.01.01.tif \n",
};

const int kDefaultColumns = 80;
const int kMaxColumns = 10000;
// Indent and least width of a description printed below the option columns.
const size_t kBelowIndent = 4;
const size_t kMinTextWidth = 10;

const OptionRule *findShort(char letter) {
    for (const auto &rule : kOptions) {
        if (rule.letter == letter) {
            return &rule;
        }
    }
    return nullptr;
}

const OptionRule *findLong(const std::string &name) {
    for (const auto &rule : kOptions) {
        if (name == rule.longName) {
            return &rule;
        }
    }
    return nullptr;
}

// The message of a failed check, or "" when the argument passes.
std::string checkArgument(Check check, const std::string &name, bool present,
                          const std::string &argument) {
    int number = 0;
    switch (check) {
    case Check::NonEmpty:
        if (!present || argument.empty()) {
            return "Option '" + name + "' requires a non-empty argument\n";
        }
        break;
    case Check::Required:
        if (!present) {
            return "Option '" + name + "' requires an argument\n";
        }
        break;
    case Check::Numeric:
        if (!present || !parseInteger(argument, number)) {
            return "Option '" + name + "' requires a numeric argument\n";
        }
        break;
    case Check::None:
        break;
    }
    return "";
}

// Greedy word wrap of text into lines of at most width characters (longer words are cut).
std::vector<std::string> wrapWords(const std::string &text, size_t width) {
    std::vector<std::string> lines;
    std::string line;
    size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && text[pos] == ' ') {
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        size_t end = text.find(' ', pos);
        std::string word =
            text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end;
        while (word.size() > width) {
            if (!line.empty()) {
                lines.push_back(line);
                line.clear();
            }
            lines.push_back(word.substr(0, width));
            word.erase(0, width);
        }
        if (word.empty()) {
            continue;
        }
        if (line.empty()) {
            line = word;
        } else if (line.size() + 1 + word.size() <= width) {
            line += " " + word;
        } else {
            lines.push_back(line);
            line = word;
        }
    }
    if (!line.empty() || lines.empty()) {
        lines.push_back(line);
    }
    return lines;
}

std::string rightTrimmed(std::string line) {
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

std::vector<std::string> splitTabs(const std::string &row) {
    std::vector<std::string> cells;
    size_t start = 0;
    while (true) {
        size_t tab = row.find('\t', start);
        cells.push_back(
            row.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) {
            return cells;
        }
        start = tab + 1;
    }
}

// The rows of one table: every column but the last padded to its widest cell, the last column
// wrapped beside them, or below them when less than half the width would remain for it.
std::string formatTable(const std::vector<std::vector<std::string>> &rows, size_t columns) {
    std::vector<size_t> widths;
    for (const auto &cells : rows) {
        for (size_t i = 0; i + 1 < cells.size(); ++i) {
            if (widths.size() <= i) {
                widths.resize(i + 1, 0);
            }
            widths[i] = std::max(widths[i], cells[i].size());
        }
    }
    std::string text;
    for (const auto &cells : rows) {
        std::string lead;
        for (size_t i = 0; i + 1 < cells.size(); ++i) {
            lead += cells[i] + std::string(widths[i] - cells[i].size(), ' ');
        }
        size_t offset = 0;
        for (size_t i = 0; i + 1 < cells.size(); ++i) {
            offset += widths[i];
        }
        const std::string &description = cells.back();
        if (offset < columns && (columns - offset) * 2 >= columns) {
            std::vector<std::string> lines = wrapWords(description, columns - offset);
            text += rightTrimmed(lead + lines[0]) + "\n";
            for (size_t i = 1; i < lines.size(); ++i) {
                text += rightTrimmed(std::string(offset, ' ') + lines[i]) + "\n";
            }
        } else {
            text += rightTrimmed(lead) + "\n";
            const size_t usable = columns * 3 / 4;
            const size_t width =
                std::max(kMinTextWidth, usable > kBelowIndent ? usable - kBelowIndent : 0);
            for (const auto &line : wrapWords(description, width)) {
                text += rightTrimmed(std::string(kBelowIndent, ' ') + line) + "\n";
            }
        }
    }
    return text;
}

} // namespace

std::string trimBlanks(const std::string &text) {
    const char *blanks = " \t\n\v\f\r";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return "";
    }
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool parseInteger(const std::string &text, int &value) {
    const char *begin = text.c_str();
    char *end = nullptr;
    errno = 0;
    long parsed = std::strtol(begin, &end, 10);
    if (end == begin || *end != '\0' || text.find('\0') != std::string::npos || errno == ERANGE ||
        parsed < INT_MIN || parsed > INT_MAX) {
        return false;
    }
    // strtol takes "-" or "+" alone as no number, and skips leading white space itself.
    value = static_cast<int>(parsed);
    return true;
}

CommandLine parseCommandLine(const std::vector<std::string> &args) {
    CommandLine result;
    size_t i = 0;
    // Checks the argument and records the option; false (with the error set) when it fails.
    auto accept = [&result](const OptionRule &rule, const std::string &written, bool present,
                            const std::string &argument) {
        result.error = checkArgument(rule.check, written, present, argument);
        if (!result.error.empty()) {
            return false;
        }
        result.options.push_back({rule.letter, argument});
        if (rule.letter == 'h') {
            result.help = true;
        }
        return true;
    };
    for (; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            break;
        }
        if (arg[1] == '-') {
            const size_t equals = arg.find('=');
            const std::string name =
                arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const std::string written = "--" + name;
            const OptionRule *rule = findLong(name);
            if (rule == nullptr) {
                result.error = "Unknown option '" + written + "'\n";
                return result;
            }
            std::string argument;
            bool present = false;
            if (rule->check != Check::None) {
                if (equals != std::string::npos) {
                    argument = arg.substr(equals + 1);
                    present = true;
                } else if (i + 1 < args.size()) {
                    argument = args[++i];
                    present = true;
                }
            }
            if (!accept(*rule, written, present, argument)) {
                return result;
            }
            continue;
        }
        for (size_t pos = 1; pos < arg.size(); ++pos) {
            const std::string written(1, arg[pos]);
            const OptionRule *rule = findShort(arg[pos]);
            if (rule == nullptr) {
                result.error = "Unknown option '" + written + "'\n";
                return result;
            }
            if (rule->check == Check::None) {
                accept(*rule, written, false, "");
                continue;
            }
            std::string argument;
            bool present = false;
            if (pos + 1 < arg.size()) {
                argument = arg.substr(pos + 1);
                present = true;
            } else if (i + 1 < args.size()) {
                argument = args[++i];
                present = true;
            }
            if (!accept(*rule, written, present, argument)) {
                return result;
            }
            break;
        }
    }
    result.nonOptions.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    return result;
}

int columnsFromEnvironment(const char *value) {
    int columns = 0;
    if (value == nullptr || !parseInteger(value, columns) || columns <= 0) {
        return kDefaultColumns;
    }
    return std::min(columns, kMaxColumns);
}

std::string usageText(int columns) {
    const size_t width = static_cast<size_t>(std::max(1, columns));
    std::string text;
    std::vector<std::vector<std::string>> table;
    auto flush = [&]() {
        if (!table.empty()) {
            text += formatTable(table, width);
            table.clear();
        }
    };
    for (const char *row : kUsageRows) {
        std::string line(row);
        if (line.find('\t') == std::string::npos) {
            flush();
            text += line + "\n";
        } else {
            table.push_back(splitTabs(line));
        }
    }
    flush();
    return text;
}

} // namespace veg::tallyband
