// Loading a statistics configuration the way tallyband does, for the fuzz targets: the messages
// the loader collects are dropped, and only the failures that end tallyband's run with its own
// message are expected to leave the loader; anything else escapes and counts as a crash.
#pragma once

#include "AppIni.h"

#include <boost/lexical_cast.hpp>
#include <boost/property_tree/ini_parser.hpp>

#include <stdexcept>
#include <string>

namespace fuzzstats {

// Loads `section` of the INI file at `path` and post-processes it a second time, as a run with the
// raster's own range does.
inline void loadConfiguration(const std::string &section, const std::string &path) {
    using edu::tovan::merel::app::HistogramConfig;
    HistogramConfig config;
    try {
        config.loadFile(section, path);
        config.hasMinMax = 1;
        config.minVal = 0;
        config.maxVal = 255;
        config.postLoadSection();
    } catch (const boost::property_tree::ini_parser_error &) {
    } catch (const std::invalid_argument &) {
    } catch (const std::out_of_range &) {
    } catch (const boost::bad_lexical_cast &) {
    } catch (const edu::tovan::merel::app::UnsupportedBreakType &) {
    }
}

} // namespace fuzzstats
