// conditionmap <max-min file> <ndvi file> <output vci file>
#include "conditionmap.h"

#include <iostream>

int main(int argc, char **argv) { return conditionmap::run(argc, argv, std::cout, std::cerr); }
