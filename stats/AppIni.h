// Histogram configuration of tallyband: the breaks that group byte values into bins, the scale of a
// byte value for the mean, and the legend tables, loaded from one section of the INI file that lies
// beside the executable.
#pragma once

#include "MessageLog.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace edu {
namespace tovan {
namespace merel {
namespace app {

// One value break; a byte value v falls in it when trunc(low) <= v < high. The id (1-based) names
// the histogram bin the break fills.
class HistogramBreak {
  public:
    HistogramBreak(int id_, std::string name_, double low_, double high_)
        : id(id_), name(std::move(name_)), low(low_), high(high_) {}

    int id;
    std::string name;
    double low;
    double high;
};

// One row of a dBASE legend table (columns VALUE, CLASS_NAME, RED, GREEN, BLUE, OPACITY).
class CatLabelLegend {
  public:
    int value = 0;
    std::string label;
    float red = 0;
    float green = 0;
    float blue = 0;
    float opacity = 0;
};

// A break type outside 0..4; the program ends with status 1 after printing message().
class UnsupportedBreakType : public std::runtime_error {
  public:
    explicit UnsupportedBreakType(int type);
    int type;
};

// Largest number of breaks a generation step makes before it gives up (a step far too small for
// the range would otherwise run for ever or exhaust memory).
constexpr int kMaxGeneratedBreaks = 100000;

// The configuration. Its messages are collected in `messages` for the program to print on standard
// output. Failures of the INI reader
// (boost::property_tree::ini_parser_error) and of the number conversions (std::invalid_argument,
// std::out_of_range, boost::bad_lexical_cast) propagate to the caller, which ends the run.
class HistogramConfig {
  public:
    HistogramConfig();

    // Loads the section of the INI file at getexepath() + ".ini".
    bool load(std::string section);
    // Loads the section from the given INI file.
    bool loadFile(const std::string &section, const std::string &iniPath);

    // Regenerates the breaks by the break type; throws UnsupportedBreakType for a type outside
    // 0..4.
    void postLoadSection();
    void postLoadSectionPopulateBreakEqualInterval(double width);
    void postLoadSectionPopulateBreakPercentEqualInterval(double step);
    void postLoadSectionPopulateBreakPereentInterval();
    void postLoadSectionSavePercentBreaks();

    // Replaces list with the rows of the dBASE table at path; an unreadable table gives no rows.
    void loadLegend(std::vector<CatLabelLegend> &list, const std::string &path);

    int type = 1;
    double interval = 1.0;
    int hasMinMax = 0;
    double minVal = 0;
    double maxVal = 0;
    double scale = 1.0;
    double offset = 0.0;
    int breakCount = 20;
    std::vector<HistogramBreak> breaks;
    std::vector<HistogramBreak> percentBreaks;
    std::vector<CatLabelLegend> histogramLegend;
    std::vector<CatLabelLegend> maskLegend;

    // Lines for standard output from loading and post-processing, in order; also filled when a
    // failure is thrown, up to that point.
    veg::stats::MessageLog messages;

  private:
    void applyKey(const std::string &key, const std::string &value);
    void addBreak(const std::string &key, const std::string &value);
    // Shared loop of the two interval generators; `first` names the zero-width error.
    void populateEqual(double width, bool percent);
};

// Path of the running executable (readlink of /proc/self/exe); empty when it can't be read.
std::string getexepath();

// Appends to parts the pieces of text between characters that occur in delimiters (empty pieces
// kept); the last piece runs to the end of text.
void splitstr(const std::string &text, std::vector<std::string> &parts,
              const std::string &delimiters);

// A double as printf "%.*g" with precision 17, with "nan" and "infinity" (signed) for the
// non-finite values. Used for break names and report numbers.
std::string formatNumber(double value);

} // namespace app
} // namespace merel
} // namespace tovan
} // namespace edu
