// Small readers shared by the programs: numbers as atoi reads them, lists of paths, file presence.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace veg::fileio {

// The leading integer of a text as atoi reads it (blanks, a sign, digits; 0 when there is none),
// clamped to the int range instead of overflowing. A null text reads as 0.
int readClampedInt(const char *text);

// The white-space separated entries of a list file, in order. Reading stops once `maxEntries` + 1
// entries are held, enough to tell that a list is too long. False when the file cannot be opened
// or read (a folder, a read error).
bool readPathList(const std::string &path, size_t maxEntries, std::vector<std::string> &entries);

// True when something exists at `path` (access with F_OK; a folder counts).
bool fileExists(const std::string &path);

} // namespace veg::fileio
