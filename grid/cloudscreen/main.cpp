// cloudscreen <rule> <daily NDVI grid> <output grid> <state tile>...
#include "cloudscreen.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::cloudscreen::run, argc, argv); }
