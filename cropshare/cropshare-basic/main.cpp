// cropshare-basic: share of one crop per NDVI cell of a county; keeps the clips.
#include "cropshare.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::cropshare_basic::run, argc, argv); }
