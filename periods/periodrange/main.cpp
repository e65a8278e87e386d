// periodrange: hands its arguments to the entry function.
#include "periodrange/periodrange.h"

int main(int argc, char *argv[]) { return veg::cli::runMain(veg::periodrange::run, argc, argv); }
