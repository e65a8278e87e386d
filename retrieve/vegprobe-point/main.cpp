// vegprobe-point: reduces one raster cell or its 3x3 block to one value left in a result file.
#include "probe.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::vegprobe_point::run, argc, argv); }
