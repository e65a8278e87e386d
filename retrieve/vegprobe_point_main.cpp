// vegprobe-point: reduces one raster cell or its 3x3 block to one value left in a result file.
#include "probe.h"

#include <iostream>

int main(int argc, char **argv) { return veg::probe::runPoint(argc, argv, std::cout); }
