// gridprobe <grid file> <grid name>: asks of a grid file everything the programs ask, in a process
// of its own, so that a damaged file kills this probe and not the program that started it.
#include "readguard.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::gridprobe::run, argc, argv); }
