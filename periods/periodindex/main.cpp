// periodindex: hands its arguments to the entry function.
#include "periodindex/periodindex.h"

int main(int argc, char *argv[]) { return veg::cli::runMain(veg::periodindex::run, argc, argv); }
