// Fuzz target: any argument vector through tallyband's option grammar, and any COLUMNS value
// through the usage text.
#include "TallybandOptions.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<std::string> args = fuzzinput::splitAtNul(data, size, 32);
    const tallyband::CommandLine line = tallyband::parseCommandLine(args);
    for (const tallyband::ParsedOption &option : line.options) {
        int value = 0;
        (void)tallyband::parseInteger(option.argument, value);
        (void)tallyband::trimBlanks(option.argument);
    }
    if (line.options.size() + line.nonOptions.size() > args.size() * 2 + 1) {
        __builtin_trap(); // every option or operand comes from an argument
    }
    const int columns = tallyband::columnsFromEnvironment(args[0].c_str());
    if (columns <= 0) {
        __builtin_trap();
    }
    (void)tallyband::usageText(columns);
    return 0;
}
