// datespan: hands its arguments to the entry function.
#include "datespan/datespan.h"

int main(int argc, char *argv[]) { return veg::cli::runMain(veg::datespan::run, argc, argv); }
