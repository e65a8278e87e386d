// datespan: hands its arguments to the entry function.
#include "datehelpers.h"

int main(int argc, char *argv[]) { return periods::runDatespan(argc, argv, stdout, stderr); }
