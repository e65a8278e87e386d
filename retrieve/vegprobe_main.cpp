// vegprobe: reduces a box of raster cells to one value left in a result file.
#include "probe.h"

#include <iostream>

int main(int argc, char **argv) { return veg::probe::runBox(argc, argv, std::cout); }
