// Small text result files for calling scripts: emptied when a run starts, filled in one step at the
// end.
#pragma once

#include <string>

namespace veg::resultfile {

// Creates `path` or truncates it to zero length, so that a failed run leaves it empty.
// Returns false (and sets `error` to the system's reason) when the file cannot be opened.
bool emptyResultFile(const std::string &path, std::string &error);

// Writes `text` (no line end added) under a temporary name beside `path` and renames it into
// place, so readers never see a half-written result; an existing result file keeps its
// permissions. Returns false and sets `error` on any failure; nothing is left behind then.
bool writeResultFile(const std::string &path, const std::string &text, std::string &error);

} // namespace veg::resultfile
