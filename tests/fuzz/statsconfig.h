// Loading a statistics configuration the way tallyband does, for the fuzz targets: the messages
// of the loader are swallowed, and only the failures that end tallyband's run with its own message
// are expected to leave the loader; anything else escapes and counts as a crash.
#pragma once

#include "AppIni.h"

#include <boost/lexical_cast.hpp>
#include <boost/property_tree/ini_parser.hpp>

#include <iostream>
#include <stdexcept>
#include <streambuf>
#include <string>

namespace fuzzstats {

// A stream buffer that drops every character.
class NullBuffer : public std::streambuf {
  protected:
    int overflow(int c) override { return c == EOF ? 0 : c; }
    std::streamsize xsputn(const char *, std::streamsize n) override { return n; }
};

// Redirects std::cout to nothing for the lifetime of the object.
class QuietCout {
  public:
    QuietCout() : saved_(std::cout.rdbuf(&buffer_)) {}
    ~QuietCout() { std::cout.rdbuf(saved_); }
    QuietCout(const QuietCout &) = delete;
    QuietCout &operator=(const QuietCout &) = delete;

  private:
    NullBuffer buffer_;
    std::streambuf *saved_;
};

// Loads `section` of the INI file at `path` and post-processes it a second time, as a run with the
// raster's own range does.
inline void loadConfiguration(const std::string &section, const std::string &path) {
    using edu::tovan::merel::app::HistogramConfig;
    const QuietCout quiet;
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
