// daymosaic: daily NDVI grid from a list of reflectance tiles cut to a mask grid.
#include "daymosaic.h"

#include <iostream>

int main(int argc, char** argv) {
    return daymosaic::runDaymosaic(std::vector<std::string>(argv, argv + argc), std::cout,
                                   std::cerr);
}
