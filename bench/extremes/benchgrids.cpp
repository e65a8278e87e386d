// Generation of realistic full-size NDVI grids for the benchmarks.
#include "benchgrids.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace benchgrids {
namespace {

// A well-mixed 32-bit hash of a cell and a variant, for noise and cloud placement.
uint32_t hash3(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t h =
        a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

bool outsideMask(int32_t c, int32_t r, int32_t columns, int32_t rows) {
    // A coast in the lower-left corner: about a tenth of the tile lies outside the area.
    return static_cast<double>(c) / columns + static_cast<double>(rows - r) / rows < 0.45;
}

bool clouded(int32_t c, int32_t r, int variant) {
    // Clouds in blocks of 40 x 40 cells, about 15 % of the tile, moving with the variant.
    return hash3(static_cast<uint32_t>(c / 40), static_cast<uint32_t>(r / 40),
                 static_cast<uint32_t>(variant)) %
               100 <
           15;
}

double vegetation(int32_t c, int32_t r, int variant) {
    const double season = 0.8 + 0.2 * std::sin(variant * 0.7);
    const double pattern =
        std::sin(c / 150.0) * std::cos(r / 210.0) + 0.3 * std::sin((c + r) / 37.0);
    const double noise =
        (hash3(static_cast<uint32_t>(c), static_cast<uint32_t>(r), static_cast<uint32_t>(variant)) %
         601) -
        300.0;
    return 3500.0 * season + 3000.0 * pattern + noise;
}

} // namespace

veg::grid::GridGeometry tileGeometry(int32_t columns, int32_t rows) {
    const double tile = 2 * 20015109.354 / 36;
    veg::grid::GridGeometry g;
    g.columns = columns;
    g.rows = rows;
    g.upperLeft = {-20015109.354 + 18 * tile, 10007554.677 - 4 * tile};
    g.lowerRight = {g.upperLeft[0] + tile * columns / 4800.0,
                    g.upperLeft[1] - tile * rows / 4800.0};
    g.projectionCode = 16;
    g.sphereCode = -1;
    g.projectionParameters[0] = 6371007.181;
    g.originCode = 0;
    return g;
}

std::vector<int16_t> ndviField(int32_t columns, int32_t rows, int variant) {
    std::vector<int16_t> v(static_cast<size_t>(columns) * static_cast<size_t>(rows));
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < columns; ++c) {
            int16_t n;
            if (outsideMask(c, r, columns, rows)) {
                n = veg::grid::kFill16;
            } else if (clouded(c, r, variant)) {
                n = veg::grid::kNoData16;
            } else {
                n = static_cast<int16_t>(
                    std::lround(std::fmax(-2000.0, std::fmin(9800.0, vegetation(c, r, variant)))));
            }
            v[static_cast<size_t>(r) * static_cast<size_t>(columns) + static_cast<size_t>(c)] = n;
        }
    }
    return v;
}

std::vector<uint8_t> ndvi8Field(const std::vector<int16_t> &ndvi16) {
    std::vector<uint8_t> v(ndvi16.size());
    for (size_t i = 0; i < v.size(); ++i) {
        v[i] = veg::grid::ndvi8FromNdvi16(ndvi16[i]);
    }
    return v;
}

std::vector<uint8_t> dailyCodeField(int32_t columns, int32_t rows, int variant) {
    std::vector<uint8_t> v = ndvi8Field(ndviField(columns, rows, variant));
    for (uint8_t &x : v) {
        x = x == veg::grid::kNoData8 ? veg::grid::kDailyBadValue
                                     : x; // clouds are bad values, the fill stays 255
    }
    return v;
}

void writeGrid(const std::string &path, int32_t columns, int32_t rows,
               const std::vector<BenchField> &fields, veg::grid::Compression compression) {
    veg::grid::ProductTarget target{
        path, veg::grid::kGridName,          tileGeometry(columns, rows), "YDim,XDim",
        {},   veg::grid::Edge{rows, columns}};
    target.layout.compression = compression;
    std::vector<veg::grid::FieldCells> cells;
    for (const BenchField &f : fields) {
        target.layout.fields.push_back(veg::grid::FieldLayout{f.name, f.numberType, {}, false});
        cells.push_back(veg::grid::FieldCells{f.numberType, f.data, f.bytes});
    }
    const veg::grid::WriteResult written = veg::grid::writeProduct(target, cells);
    if (written.failedAt == veg::grid::WriteStep::Create) {
        throw std::runtime_error("cannot create " + path);
    }
    if (written.failedAt == veg::grid::WriteStep::Field) {
        throw std::runtime_error("cannot write " + fields[written.field].name + " to " + path +
                                 "\n" + veg::grid::fileLimitAdvice(written, path));
    }
    if (!written.ok()) {
        throw std::runtime_error("cannot close " + path + "\n" +
                                 veg::grid::fileLimitAdvice(written, path));
    }
}

std::vector<uint8_t> RawOutputs::load(const std::string &field, size_t bytes) const {
    const std::string path = dir_ + "/" + field + ".raw";
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        throw std::runtime_error("cannot read " + path);
    }
    if (data.size() != bytes) {
        throw std::runtime_error(path + " does not hold " + std::to_string(bytes) + " bytes");
    }
    return data;
}

void dumpField(const std::string &path, const std::string &field, const std::string &rawPath) {
    veg::grid::GridReader reader;
    if (!reader.open(path, veg::grid::kGridName)) {
        throw std::runtime_error("cannot open " + path);
    }
    const auto info = reader.fieldInfo(field);
    if (!info || info->rank != 2) {
        throw std::runtime_error("no field " + field + " in " + path);
    }
    const size_t bytes = static_cast<size_t>(info->dims[0]) * static_cast<size_t>(info->dims[1]) *
                         veg::grid::numberTypeSize(info->numberType);
    std::vector<uint8_t> data(bytes);
    if (!veg::grid::readFieldBytes(reader.grid(), field, info->numberType,
                                   {info->dims[0], info->dims[1]}, data.data(), data.size())) {
        throw std::runtime_error("cannot read " + field + " from " + path);
    }
    std::ofstream out(rawPath, std::ios::binary);
    out.write(reinterpret_cast<const char *>(data.data()), static_cast<std::streamsize>(bytes));
    if (!out) {
        throw std::runtime_error("cannot write " + rawPath);
    }
}

} // namespace benchgrids
