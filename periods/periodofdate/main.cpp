// periodofdate: hands its arguments to the entry function.
#include "periodofdate/periodofdate.h"

int main(int argc, char *argv[]) { return veg::cli::runMain(veg::periodofdate::run, argc, argv); }
