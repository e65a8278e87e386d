// Fuzz target: any bytes as an HDF-EOS grid file, read as the grid programs read an input (open
// with the probe, geometry, field information, whole fields, attributes). Each input is read in a
// process of its own, as one program run reads it; a signal there is a finding. Window reads are
// left out: HDF4 can spin forever seeking inside a damaged deflated field (tests/fuzz/known/).
#include "fuzzinput.h"
#include "gridio.h"
#include "products.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace veg::grid;

// Field names of every product kind and of the reflectance tiles.
std::vector<std::string> knownFields() {
    std::vector<std::string> names;
    for (const ProductKind kind :
         {ProductKind::DailyNdvi, ProductKind::Composite, ProductKind::Extremes, ProductKind::Vci,
          ProductKind::Mask, ProductKind::DailyCondition}) {
        for (const FieldLayout &f : productLayout(kind).fields) {
            names.push_back(f.name);
        }
    }
    names.push_back("sur_refl_b01_1");
    names.push_back("sur_refl_b02_1");
    return names;
}

void readLikeAProgram(const std::string &path) {
    GridReader reader;
    if (!reader.open(path, kGridName)) {
        return;
    }
    for (const std::string &name : knownFields()) {
        const std::optional<FieldInfo> info = reader.fieldInfo(name);
        const size_t size = info ? numberTypeSize(info->numberType) : 0;
        if (!info || info->rank != 2 || size == 0 || info->dims.size() < 2) {
            continue;
        }
        // Programs read a field only with the sizes of its grid, as here.
        const GridGeometry &g = reader.geometry();
        const Edge edge =
            info->dimList == "XDim,YDim" ? Edge{g.columns, g.rows} : Edge{g.rows, g.columns};
        const std::optional<size_t> bytes = checkedCellCount(edge.first, edge.second, size);
        if (!bytes || *bytes > (size_t(1) << 24)) {
            continue;
        }
        std::vector<uint8_t> buffer(*bytes + 1);
        readFieldBytes(reader.grid(), name, info->numberType, edge, buffer.data(), *bytes);
        (void)reader.readAttributes(name);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const fuzzinput::TempFile file("fuzz-grid", data, size);
    const pid_t child = ::fork();
    if (child < 0) {
        return 0;
    }
    if (child == 0) {
        readLikeAProgram(file.path());
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    if (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0)) {
        __builtin_trap(); // the reading process died or a sanitizer reported in it
    }
    return 0;
}
