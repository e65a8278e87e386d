// Command-line grammar and usage text of tallyband.
#pragma once

#include <string>
#include <vector>

namespace veg::tallyband {

// One option as given, in command-line order.
struct ParsedOption {
    char letter = 0;      // short letter of the option ('h', 't', 'm', 'n', 'j', 'c', 'w', 'e')
    std::string argument; // empty for options without argument
};

struct CommandLine {
    std::vector<ParsedOption> options;
    std::vector<std::string> nonOptions;
    bool help = false; // -h or --help stands among the options
    std::string error; // the first failed argument check, as printed on standard error
};

// Parses the arguments that follow the program name.
CommandLine parseCommandLine(const std::vector<std::string> &args);

// Width for the usage text from the value of COLUMNS (null when unset): a base-10 integer, 80 when
// unset, not a number or not positive.
int columnsFromEnvironment(const char *value);

// The usage text, fitted to `columns` characters.
std::string usageText(int columns);

// Removes blank, tab, line feed, vertical tab, form feed and carriage return from both ends.
std::string trimBlanks(const std::string &text);

// Reads a base-10 int; leading white space and a sign allowed, nothing after the digits.
bool parseInteger(const std::string &text, int &value);

} // namespace veg::tallyband
