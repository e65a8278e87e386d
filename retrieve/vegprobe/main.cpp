// vegprobe: reduces a box of raster cells to one value left in a result file.
#include "probe.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::vegprobe::run, argc, argv); }
