// The tallyband run: options, configuration, calculation, reports.
#include "tallyband.h"

#include "AppIni.h"
#include "GdalHistogramCalculator.h"
#include "TallybandOptions.h"

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace veg::tallyband {

namespace {

using edu::tovan::merel::app::HistogramConfig;
using edu::tovan::merel::gdal::GdalHistogramCalculator;

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
bool takeFileName(std::ostream &out, const std::string &argument, const char *option,
                  std::string &target) {
    const std::string name = trimBlanks(argument);
    if (name.empty()) {
        out << "ERROR: --" << option << " file name cannot be empty. \n";
        return false;
    }
    if (name[0] == '-') {
        out << "ERROR: --" << option
            << " option require file that does not start with '-' to avoid confused with "
               "other options.\n";
        return false;
    }
    target = name;
    return true;
}

// Applies the options in command-line order; returns 0 to go on, else the exit status.
int applyOptions(std::ostream &out, const CommandLine &line, Settings &settings) {
    for (const auto &option : line.options) {
        switch (option.letter) {
        case 't':
            settings.type = option.argument;
            out << "type is set to : '" << settings.type << "'\n";
            break;
        case 'm':
            if (!takeFileName(out, option.argument, "mask", settings.maskFile)) {
                return cli::kExitStop;
            }
            out << "Input mask file is set to: " << settings.maskFile << "\n";
            break;
        case 'n':
            parseInteger(option.argument, settings.maskNumber);
            if (settings.maskNumber == -1) {
                out << "WARNING: masknumber is set to -1 which is the default: all "
                       "categories in maskfile will be used.\n";
            } else {
                out << "masknumber is set to : '" << settings.maskNumber << "'\n";
            }
            break;
        case 'j':
            if (!takeFileName(out, option.argument, "json", settings.jsonFile)) {
                return cli::kExitStop;
            }
            out << "JSON output is directed to: " << settings.jsonFile << "\n";
            break;
        case 'c':
            if (!takeFileName(out, option.argument, "csvfile", settings.csvFile)) {
                return cli::kExitStop;
            }
            out << "CSV output is directed to: " << settings.csvFile << "\n";
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

// Prints the lines the configuration and the calculator have collected and not yet handed over.
void printPending(std::ostream &out, HistogramConfig &config, GdalHistogramCalculator &calculator) {
    out << config.messages.take() << calculator.messages.take()
        << calculator.config.messages.take();
}

} // namespace

int run(const cli::Args &commandLine, std::ostream &out, std::ostream &err) {
    const std::vector<std::string> args(commandLine.begin() + (commandLine.empty() ? 0 : 1),
                                        commandLine.end());
    const CommandLine line = parseCommandLine(args);
    if (!line.error.empty()) {
        err << line.error;
        return cli::kExitFailure;
    }
    if (line.help || args.empty()) {
        out << usageText(columnsFromEnvironment(std::getenv("COLUMNS")));
        return cli::kExitSuccess;
    }
    Settings settings;
    if (int status = applyOptions(out, line, settings)) {
        return status;
    }
    for (size_t i = 0; i < line.nonOptions.size(); ++i) {
        out << cli::format("Non-option argument #%d is %s\n", static_cast<int>(i),
                           line.nonOptions[i].c_str());
    }
    if (line.nonOptions.empty()) {
        out << "Error: Required the name of the datafile to be used to create the histogram.\n";
        return cli::kExitFailure;
    }
    if (line.nonOptions.size() > 1) {
        out << "Warning: more than 1 argument is given. The first one '" << line.nonOptions[0]
            << "' is used as datafile name.\n";
    }
    const std::string dataFile = line.nonOptions[0];
    out << "Processing....." << dataFile << "\n";

    HistogramConfig config;
    GdalHistogramCalculator calculator;
    try {
        config.load(settings.type);
        out << config.messages.take();
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
        printPending(out, config, calculator);
    } catch (const edu::tovan::merel::app::UnsupportedBreakType &error) {
        printPending(out, config, calculator);
        out << error.what() << "\n";
        return cli::kExitFailure;
    } catch (const std::exception &error) {
        printPending(out, config, calculator);
        out.flush();
        err << error.what() << "\n";
        return cli::kExitFailure;
    }

    int status = cli::kExitSuccess;
    if (!calculator.success) {
        err << "Error: the histogram was not calculated: " << calculator.failure << ".\n";
        status = cli::kExitReportFailure;
    }
    if (!settings.csvFile.empty() && !calculator.saveAsCSV(settings.csvFile)) {
        err << "Error: cannot write the CSV report " << settings.csvFile << ".\n";
        status = cli::kExitReportFailure;
    }
    if (!settings.jsonFile.empty() && !calculator.saveAsJSON(settings.jsonFile)) {
        err << "Error: cannot write the JSON report " << settings.jsonFile << ".\n";
        status = cli::kExitReportFailure;
    }
    out << "Done!!\n";
    return status;
}

} // namespace veg::tallyband
