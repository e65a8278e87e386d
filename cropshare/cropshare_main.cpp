// cropshare: share of one crop per NDVI cell of a county, and the share-weighted mean NDVI.
#include "cropshare.h"

#include <iostream>

int main(int argc, char **argv) {
    return veg::cropshare::run(veg::cropshare::Form::Full, argc, argv, std::cout);
}
