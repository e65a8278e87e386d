// periodextremes: multi-year extremes of one period, with the period's length apart from its step.
#include "periodextremes.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::periodextremes::run, argc, argv); }
