// tilefetch: daily tiles of a product from the archive into the workflow's tiles folder.
#pragma once

#include "program.h"

#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace veg::tilefetch {

// Exit statuses: kExitSuccess when every granule is held, kExitFailure when any could not be had
// or the catalogue could not be read, kExitUsage for arguments, configuration or credentials.

// The configuration: "key = value" lines ('#' starts a comment), each key once except
// "resolve"; later --set key=value arguments replace a key's values.
using Config = std::map<std::string, std::vector<std::string>>;
bool parseConfig(const std::string &text, Config &config, std::string &error);

int run(const cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::tilefetch
