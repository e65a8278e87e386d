// conditionmap <max-min file> <ndvi file> <output vci file>
#include "conditionmap.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::conditionmap::run, argc, argv); }
