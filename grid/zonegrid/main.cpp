// zonegrid: a GDAL raster into a mask grid on the projection of a reference HDF-EOS grid.
#include "zonegrid.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::zonegrid::run, argc, argv); }
