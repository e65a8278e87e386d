// modis-tilegen: writes a MODIS-like daily 250 m surface-reflectance tile.
#include "tilegen.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::modis_tilegen::run, argc, argv); }
