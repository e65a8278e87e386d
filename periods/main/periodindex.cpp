// periodindex: hands its arguments to the entry function.
#include "datehelpers.h"

int main(int argc, char *argv[]) { return periods::runPeriodIndex(argc, argv, stdout, stderr); }
