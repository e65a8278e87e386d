// yearoffset: hands its arguments to the entry function.
#include "yearoffset/yearoffset.h"

int main(int argc, char *argv[]) { return veg::cli::runMain(veg::yearoffset::run, argc, argv); }
