// Fuzz target: any argument vector through tallyband's option grammar, and any COLUMNS value
// through the usage text.
#include "TallybandOptions.h"
#include "fuzzinput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<std::string> args = fuzzinput::splitAtNul(data, size, 32);
    const veg::tallyband::CommandLine line = veg::tallyband::parseCommandLine(args);
    for (const veg::tallyband::ParsedOption &option : line.options) {
        int value = 0;
        (void)veg::tallyband::parseInteger(option.argument, value);
        (void)veg::tallyband::trimBlanks(option.argument);
    }
    // Every option or operand comes from an argument: at most one per character, as in a cluster
    // of short options ("-jc").
    size_t characters = 0;
    for (const std::string &arg : args) {
        characters += arg.size() + 1;
    }
    if (line.options.size() + line.nonOptions.size() > characters) {
        __builtin_trap();
    }
    const int columns = veg::tallyband::columnsFromEnvironment(args[0].c_str());
    if (columns <= 0) {
        __builtin_trap();
    }
    (void)veg::tallyband::usageText(columns);
    return 0;
}
