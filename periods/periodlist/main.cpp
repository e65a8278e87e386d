// periodlist: hands its arguments to the entry function.
#include "periodlist.h"

int main(int argc, char *argv[]) { return veg::cli::runMain(veg::periodlist::run, argc, argv); }
