// gridprobe <grid file> <grid name>: asks of a grid file everything the programs ask, in a process
// of its own, so that a damaged file kills this probe and not the program that started it.
// Status 0 when the grid opened and every query returned, 3 when the file, the grid or its
// geometry could not be read, 2 for wrong arguments.
#include "readguard.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        return 2;
    }
    veg::grid::limitAddressSpace();
    return veg::grid::queryGridFile(argv[1], argv[2]) ? veg::grid::kProbeSound
                                                      : veg::grid::kProbeUnopenable;
}
