// dailyvci: daily condition index of a window of days against the same window in earlier years.
#include "dailyvci.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::dailyvci::run, argc, argv); }
