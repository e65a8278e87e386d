// seasondates: hands its arguments to the entry function.
#include "seasondates/seasondates.h"

int main(int argc, char *argv[]) { return veg::cli::runMain(veg::seasondates::run, argc, argv); }
