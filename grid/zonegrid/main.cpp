// zonegrid: a GDAL raster into a mask grid on the projection of a reference HDF-EOS grid.
#include "zonegrid.h"

#include <iostream>

int main(int argc, char** argv) {
    return zonegrid::runZonegrid(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}
