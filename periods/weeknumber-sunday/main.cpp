// weeknumber-sunday: hands its arguments to the entry function.
#include "weeknumber-sunday/weeknumber-sunday.h"

int main(int argc, char *argv[]) {
    return veg::cli::runMain(veg::weeknumber_sunday::run, argc, argv);
}
