// dailyvci: daily condition index of a window of days against the same window in earlier years.
#include "dailyvci.h"

int main(int argc, char **argv) { return extremes::runDailyVci(argc, argv, stdout); }
