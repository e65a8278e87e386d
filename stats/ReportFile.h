// Writing a whole report file under a temporary name in its folder, renamed into place when
// complete, so that a reader never sees half a report.
#pragma once

#include <string>

namespace edu {
namespace tovan {
namespace merel {
namespace gdal {

// Replaces the file at path with bytes; false (and nothing left behind) when any step fails.
bool replaceFileContents(const std::string &path, const std::string &bytes);

} // namespace gdal
} // namespace merel
} // namespace tovan
} // namespace edu
