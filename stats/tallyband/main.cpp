// tallyband: histogram, acreage and shares of an 8-bit raster, optionally by crop-mask category.
#include "tallyband.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::tallyband::run, argc, argv); }
