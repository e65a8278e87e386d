// tilefetch: daily tiles of a product from the archive into the workflow's tiles folder.
#include "tilefetch.h"

int main(int argc, char **argv) { return veg::cli::runMain(veg::tilefetch::run, argc, argv); }
