// basicextremes: multi-year extremes of one period that covers exactly its step.
#include "periodextremes.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::basicextremes::run, argc, argv); }
