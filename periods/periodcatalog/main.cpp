// periodcatalog: hands its arguments to the entry function.
#include "periodcatalog/periodcatalog.h"

int main(int argc, char *argv[]) { return veg::cli::runMain(veg::periodcatalog::run, argc, argv); }
