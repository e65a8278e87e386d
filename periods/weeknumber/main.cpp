// weeknumber: hands its arguments to the entry function.
#include "weeknumber/weeknumber.h"

int main(int argc, char *argv[]) { return veg::cli::runMain(veg::weeknumber::run, argc, argv); }
