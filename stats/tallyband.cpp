// The tallyband run: options, configuration, calculation, reports.
#include "tallyband.h"

#include "AppIni.h"
#include "GdalHistogramCalculator.h"
#include "TallybandOptions.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace tallyband {

namespace {

const int kStatusUsage = 1;
const int kStatusNotCalculated = 2;
const int kStatusBadFileName = 255;

struct Settings {
    std::string type = "NDVI";
    std::string maskFile;
    int maskNumber = -1;
    std::string jsonFile;
    std::string csvFile;
    bool hasWorkid = false;
    std::string workid;
    bool eliminate = false;
};

// Checks a file-name argument of -m, -j or -c; prints the error and returns false when it is
// empty or starts with '-'.
bool takeFileName(const std::string &argument, const char *option, std::string &target) {
    const std::string name = trimBlanks(argument);
    if (name.empty()) {
        std::cout << "ERROR: --" << option << " file name cannot be empty. \n";
        return false;
    }
    if (name[0] == '-') {
        std::cout << "ERROR: --" << option
                  << " option require file that does not start with '-' to avoid confused with "
                     "other options.\n";
        return false;
    }
    target = name;
    return true;
}

// Applies the options in command-line order; returns 0 to go on, else the exit status.
int applyOptions(const CommandLine &line, Settings &settings) {
    for (const auto &option : line.options) {
        switch (option.letter) {
        case 't':
            settings.type = option.argument;
            std::cout << "type is set to : '" << settings.type << "'\n";
            break;
        case 'm':
            if (!takeFileName(option.argument, "mask", settings.maskFile)) {
                return kStatusBadFileName;
            }
            std::cout << "Input mask file is set to: " << settings.maskFile << "\n";
            break;
        case 'n':
            parseInteger(option.argument, settings.maskNumber);
            if (settings.maskNumber == -1) {
                std::cout << "WARNING: masknumber is set to -1 which is the default: all "
                             "categories in maskfile will be used.\n";
            } else {
                std::cout << "masknumber is set to : '" << settings.maskNumber << "'\n";
            }
            break;
        case 'j':
            if (!takeFileName(option.argument, "json", settings.jsonFile)) {
                return kStatusBadFileName;
            }
            std::cout << "JSON output is directed to: " << settings.jsonFile << "\n";
            break;
        case 'c':
            if (!takeFileName(option.argument, "csvfile", settings.csvFile)) {
                return kStatusBadFileName;
            }
            std::cout << "CSV output is directed to: " << settings.csvFile << "\n";
            break;
        case 'w':
            settings.hasWorkid = true;
            settings.workid = option.argument;
            break;
        case 'e':
            settings.eliminate = true;
            break;
        default:
            break;
        }
    }
    return 0;
}

int run(const std::vector<std::string> &args) {
    const CommandLine line = parseCommandLine(args);
    if (!line.error.empty()) {
        std::cerr << line.error;
        return kStatusUsage;
    }
    if (line.help || args.empty()) {
        std::cout << usageText(columnsFromEnvironment(std::getenv("COLUMNS")));
        return 0;
    }
    Settings settings;
    if (int status = applyOptions(line, settings)) {
        return status;
    }
    for (size_t i = 0; i < line.nonOptions.size(); ++i) {
        std::printf("Non-option argument #%d is %s\n", static_cast<int>(i),
                    line.nonOptions[i].c_str());
    }
    std::fflush(stdout);
    if (line.nonOptions.empty()) {
        std::cout << "Error: Required the name of the datafile to be used to create the "
                     "histogram.\n";
        return kStatusUsage;
    }
    if (line.nonOptions.size() > 1) {
        std::cout << "Warning: more than 1 argument is given. The first one '" << line.nonOptions[0]
                  << "' is used as datafile name.\n";
    }
    const std::string dataFile = line.nonOptions[0];
    std::cout << "Processing....." << dataFile << "\n";

    using edu::tovan::merel::app::HistogramConfig;
    using edu::tovan::merel::app::UnsupportedBreakType;
    using edu::tovan::merel::gdal::GdalHistogramCalculator;
    HistogramConfig config;
    GdalHistogramCalculator calculator;
    try {
        config.load(settings.type);
        calculator.config = config;
        if (settings.hasWorkid) {
            calculator.workid = settings.workid;
        }
        calculator.eliminateZeroRows = settings.eliminate;
        if (settings.maskFile.empty()) {
            calculator.calc(dataFile);
        } else if (settings.maskNumber == -1) {
            calculator.calc(dataFile, settings.maskFile);
        } else {
            calculator.calc(dataFile, settings.maskFile, settings.maskNumber);
        }
    } catch (const UnsupportedBreakType &error) {
        std::cout << error.what() << "\n";
        return kStatusUsage;
    } catch (const std::exception &error) {
        std::cout.flush();
        std::cerr << error.what() << "\n";
        return kStatusUsage;
    }

    int status = 0;
    if (!calculator.success) {
        std::cerr << "Error: the histogram was not calculated: " << calculator.failure << ".\n";
        status = kStatusNotCalculated;
    }
    if (!settings.csvFile.empty() && !calculator.saveAsCSV(settings.csvFile)) {
        std::cerr << "Error: cannot write the CSV report " << settings.csvFile << ".\n";
        status = kStatusNotCalculated;
    }
    if (!settings.jsonFile.empty() && !calculator.saveAsJSON(settings.jsonFile)) {
        std::cerr << "Error: cannot write the JSON report " << settings.jsonFile << ".\n";
        status = kStatusNotCalculated;
    }
    std::cout << "Done!!\n";
    return status;
}

} // namespace

int runTallyband(int argc, char **argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.emplace_back(argv[i]);
    }
    const int status = run(args);
    std::cout.flush();
    return status;
}

} // namespace tallyband
