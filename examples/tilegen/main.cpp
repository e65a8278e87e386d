// modis-tilegen: writes a MODIS-like daily 250 m surface-reflectance tile.
#include "tilegen.h"

#include <iostream>

int main(int argc, char** argv) {
    return tilegen::runTilegen(std::vector<std::string>(argv, argv + argc), std::cout, std::cerr);
}
