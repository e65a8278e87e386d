// peakcomposite: period maximum-value composite of daily NDVI grids.
#include "peakcomposite.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::peakcomposite::run, argc, argv); }
