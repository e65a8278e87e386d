// Entry of the tallyband program: histogram of an 8-bit raster by configured breaks, optionally by
// crop-mask category, written as CSV and JSON reports.
#pragma once

namespace tallyband {

// Runs the program; returns the exit status: 0 done, 1 bad command line or configuration,
// 2 histogram not calculated or a report not written, 255 empty or dash-leading file name.
int runTallyband(int argc, char **argv);

} // namespace tallyband
