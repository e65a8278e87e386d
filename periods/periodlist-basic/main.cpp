// periodlist-basic: hands its arguments to the entry function.
#include "periodlist.h"

int main(int argc, char *argv[]) {
    return veg::cli::runMain(veg::periodlist_basic::run, argc, argv);
}
