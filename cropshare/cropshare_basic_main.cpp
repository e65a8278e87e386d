// cropshare-basic: share of one crop per NDVI cell of a county; keeps the clips.
#include "cropshare.h"

#include <iostream>

int main(int argc, char **argv) {
    return veg::cropshare::run(veg::cropshare::Form::Basic, argc, argv, std::cout);
}
