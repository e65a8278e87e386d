// daymosaic: daily NDVI grid from a list of reflectance tiles cut to a mask grid.
#include "daymosaic.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::daymosaic::run, argc, argv); }
