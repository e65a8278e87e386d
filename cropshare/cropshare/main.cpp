// cropshare: share of one crop per NDVI cell of a county, and the share-weighted mean NDVI.
#include "cropshare.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::cropshare::run, argc, argv); }
