// gridprobe <grid file> <grid name>: asks of a grid file everything the programs ask, in a process
// of its own, so that a damaged file kills this probe and not the program that started it.
#include "readguard.h"

#if defined(__SANITIZE_ADDRESS__)
#define VEG_GRIDPROBE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEG_GRIDPROBE_SANITIZED 1
#endif
#endif

#ifdef VEG_GRIDPROBE_SANITIZED
// The HDF libraries keep tables after a failed open that nothing can release; in the sanitizer
// build a leak report would turn the probe's verdict into "damaged".
extern "C" int __lsan_is_turned_off() { return 1; }
#endif

int main(int argc, char **argv) { return veg::cli::runMain(veg::gridprobe::run, argc, argv); }
