// A thousand randomly damaged copies of a small grid of every product kind, each read through the
// grid module in a fresh process of its own, as a program run reads an input (open, geometry,
// field information, whole fields, attributes): none may end with a signal. Window reads are left
// out: HDF4 can spin forever seeking inside a damaged deflated field (tests/fuzz/known/).
#include "gridio.h"
#include "readguard.h"
#include "support/hdfeos.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace {

using namespace veg::grid;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kCopiesPerKind = 150; // each probe starts a sanitized process: slower
#else
constexpr int kCopiesPerKind = 1000;
#endif

// A 24 x 20 grid with the product's fields, number types, compression and attributes, filled
// with smooth values and a few sentinels, as real products are.
testsupport::EosGridSpec productGrid(ProductKind kind) {
    const ProductLayout &layout = productLayout(kind);
    testsupport::EosGridSpec grid = testsupport::sinusoidalGrid(24, 20);
    for (const FieldLayout &f : layout.fields) {
        testsupport::EosField field;
        field.name = f.name;
        field.numberType = f.numberType;
        field.deflateLevel = layout.compression == Compression::Deflate9 ? 9 : 0;
        const size_t size = numberTypeSize(f.numberType);
        field.data.resize(24 * 20 * size);
        for (size_t i = 0; i < field.data.size(); ++i) {
            field.data[i] = static_cast<uint8_t>((i / size) % 24 + (i % size) * 7);
        }
        for (const Attribute &a : f.attributes) {
            field.attributes.push_back({a.name, a.numberType, a.count, a.bytes});
        }
        grid.fields.push_back(field);
    }
    return grid;
}

// The edge of a whole field of the grid, in the order of the field's dimension list.
Edge gridEdge(const GridGeometry &g, const FieldInfo &info) {
    return info.dimList == "XDim,YDim" ? Edge{g.columns, g.rows} : Edge{g.rows, g.columns};
}

// Everything a program may ask of an input; false when the file was refused at open.
bool readLikeAProgram(const std::string &path) {
    GridReader reader;
    if (!reader.open(path, kGridName)) {
        return false;
    }
    for (const FieldLayout &f : productLayout(ProductKind::Extremes).fields) {
        (void)reader.fieldInfo(f.name);
    }
    for (const char *name : {kNdviField, kNdvi8Field, kQcField, kVciField, kVci8Field}) {
        const std::optional<FieldInfo> info = reader.fieldInfo(name);
        const size_t size = info ? numberTypeSize(info->numberType) : 0;
        if (!info || info->rank != 2 || size == 0) {
            continue;
        }
        // Programs read a field only with the sizes of its grid, as here.
        const Edge edge = gridEdge(reader.geometry(), *info);
        const std::optional<size_t> bytes = checkedCellCount(edge.first, edge.second, size);
        if (!bytes || *bytes > (size_t(1) << 26)) {
            continue;
        }
        std::vector<uint8_t> buffer(*bytes);
        readFieldBytes(reader.grid(), name, info->numberType, edge, buffer.data(), buffer.size());
        (void)reader.readAttributes(name);
    }
    return true;
}

// Reads `path` like a program in a fresh child (the test process itself never calls the HDF
// libraries, whose state carries over from one file to the next); the child's wait status: exit 0
// when the grid was read, 1 when it was refused.
int readInChild(const std::string &path) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(60); // a read that never ends is a finding too (SIGALRM)
        ::_exit(readLikeAProgram(path) ? 0 : 1);
    }
    int status = -1;
    while (child > 0 && ::waitpid(child, &status, 0) < 0) {
    }
    return status;
}

TEST(DamagedGrids, EveryProductKindEndsWithoutASignal) {
    testsupport::TempDir dir;
    std::mt19937 random(20261208);
    for (const ProductKind kind :
         {ProductKind::DailyNdvi, ProductKind::Composite, ProductKind::Extremes, ProductKind::Vci,
          ProductKind::Mask, ProductKind::DailyCondition}) {
        const std::string good = dir.file("good.hdf");
        // Written in a child as well: the test process itself never calls the HDF libraries.
        const pid_t writer = ::fork();
        if (writer == 0) {
            testsupport::writeEosFile(good, productGrid(kind));
            ::_exit(0);
        }
        int written = -1;
        while (writer > 0 && ::waitpid(writer, &written, 0) < 0) {
        }
        ASSERT_EQ(written, 0) << "writing the good grid of product kind " << static_cast<int>(kind);
        ASSERT_EQ(readInChild(good), 0)
            << "the good grid of product kind " << static_cast<int>(kind);
        std::ifstream in(good, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
        int refused = 0;
        for (int copy = 0; copy < kCopiesPerKind; ++copy) {
            std::vector<char> damaged = bytes;
            const int changes = 1 + static_cast<int>(random() % 16);
            for (int c = 0; c < changes; ++c) {
                damaged[random() % damaged.size()] = static_cast<char>(random());
            }
            const std::string path = dir.file("damaged.hdf");
            std::ofstream(path, std::ios::binary).write(damaged.data(), damaged.size());
            const int status = readInChild(path);
            if (WIFSIGNALED(status)) {
                const std::string kept = dir.path() + "/../crashing-grid-" +
                                         std::to_string(static_cast<int>(kind)) + ".hdf";
                std::ofstream(kept, std::ios::binary).write(damaged.data(), damaged.size());
                ADD_FAILURE() << "signal " << WTERMSIG(status)
                              << " on a damaged copy of product kind " << static_cast<int>(kind)
                              << ", kept as " << kept;
            }
            refused += WIFEXITED(status) && WEXITSTATUS(status) == 1 ? 1 : 0;
        }
        // Damage that never reaches the parsers would prove nothing.
        EXPECT_GT(refused, 0) << "product kind " << static_cast<int>(kind);
    }
}

// The probe's own entry function: anything but a file and a grid name is a usage error, and it
// prints nothing in any case.
TEST(DamagedGrids, ProbeEntryFunctionTakesAFileAndAGridName) {
    std::ostringstream out, err;
    for (const veg::cli::Args &args :
         {veg::cli::Args{"gridprobe"}, veg::cli::Args{"gridprobe", "a.hdf"},
          veg::cli::Args{"gridprobe", "a.hdf", "MODIS_Grid_2D", "extra"}}) {
        EXPECT_EQ(veg::gridprobe::run(args, out, err), veg::cli::kExitUsage) << args.size();
    }
    EXPECT_EQ(out.str() + err.str(), "");
}

} // namespace
