// peakcomposite: period maximum-value composite of daily NDVI grids.
#include "peakcomposite.h"

#include <cstdio>

int main(int argc, char **argv) {
    return peakcomposite::runPeakComposite(argc, argv, stdout, stderr);
}
