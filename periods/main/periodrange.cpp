// periodrange: hands its arguments to the entry function.
#include "datehelpers.h"

int main(int argc, char *argv[]) { return periods::runPeriodRange(argc, argv, stdout, stderr); }
