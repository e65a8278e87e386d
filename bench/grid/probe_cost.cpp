// Cost of the child-process probe of an input grid: opens one grid file N times with and without
// the probe, in a process that holds a given amount of touched memory (a program's arrays make
// every fork copy more page tables).
#include "gridio.h"
#include "readguard.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <grid file> <grid name> [opens=20] [held MB=0]\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const std::string grid = argv[2];
    const int opens = argc > 3 ? std::atoi(argv[3]) : 20;
    const size_t heldBytes = (argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 0) << 20;
    std::vector<unsigned char> held(heldBytes, 1); // touched: resident
    using Clock = std::chrono::steady_clock;
    double seconds[2] = {0, 0};
    for (int round = 0; round < opens; ++round) {
        for (int probed = 0; probed < 2; ++probed) {
            const auto start = Clock::now();
            if (probed != 0 &&
                veg::grid::probeGridFile(path, grid) != veg::grid::ProbeVerdict::Sound) {
                std::fprintf(stderr, "probe failed on %s\n", path.c_str());
                return 1;
            }
            veg::grid::EosFile file;
            veg::grid::EosGrid g;
            if (!file.open(path, veg::grid::EosFile::Access::Read) || !g.attach(file, grid) ||
                !veg::grid::readGeometry(g)) {
                std::fprintf(stderr, "cannot open %s\n", path.c_str());
                return 1;
            }
            g.detach();
            file.close();
            seconds[probed] += std::chrono::duration<double>(Clock::now() - start).count();
        }
    }
    std::printf("held %zu MB: open %.3f ms, probe + open %.3f ms, probe %.3f ms per file\n",
                heldBytes >> 20, 1000 * seconds[0] / opens, 1000 * seconds[1] / opens,
                1000 * (seconds[1] - seconds[0]) / opens);
    return held.empty() ? 0 : (held[0] == 1 ? 0 : 1);
}
