// Tiny HDF-EOS grid files for tests, written and read back with the HDF-EOS2 and HDF4 calls
// directly (independently of the toolkit's own grid module).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

// HDF4 number type codes.
enum EosType : int32_t {
    kEosChar8 = 4,
    kEosFloat32 = 5,
    kEosFloat64 = 6,
    kEosInt8 = 20,
    kEosUInt8 = 21,
    kEosInt16 = 22,
    kEosUInt16 = 23,
    kEosInt32 = 24,
    kEosUInt32 = 25,
};

// Bytes of a vector of values, in host order.
template <typename T> std::vector<uint8_t> toBytes(const std::vector<T> &values) {
    std::vector<uint8_t> bytes(values.size() * sizeof(T));
    if (!bytes.empty()) {
        std::memcpy(bytes.data(), values.data(), bytes.size());
    }
    return bytes;
}
// Values from bytes (a trailing partial value is dropped).
template <typename T> std::vector<T> fromBytes(const std::vector<uint8_t> &bytes) {
    std::vector<T> values(bytes.size() / sizeof(T));
    if (!values.empty()) {
        std::memcpy(values.data(), bytes.data(), values.size() * sizeof(T));
    }
    return values;
}

struct EosAttribute {
    std::string name;
    int32_t numberType = 0;
    int32_t count = 0;
    std::vector<uint8_t> bytes; // count values of numberType

    bool operator==(const EosAttribute &o) const {
        return name == o.name && numberType == o.numberType && count == o.count && bytes == o.bytes;
    }
};
// A text attribute of exactly `count` bytes (zero-padded, or cut).
EosAttribute eosText(const std::string &name, const std::string &text, int32_t count);
template <typename T>
EosAttribute eosValues(const std::string &name, int32_t numberType, const std::vector<T> &values) {
    return EosAttribute{name, numberType, static_cast<int32_t>(values.size()), toBytes(values)};
}

struct EosField {
    std::string name;
    int32_t numberType = kEosInt16;
    std::string dimList = "YDim,XDim";
    std::vector<uint8_t> data; // whole field, row-major in dimList order; empty: not written
    int deflateLevel = 0;      // 0: no compression, 1..9: deflate
    std::vector<EosAttribute> attributes;
};

template <typename T>
EosField eosField(const std::string &name, int32_t numberType, const std::vector<T> &values) {
    EosField f;
    f.name = name;
    f.numberType = numberType;
    f.data = toBytes(values);
    return f;
}

struct EosGridSpec {
    std::string name = "MODIS_Grid_2D";
    int32_t columns = 4;
    int32_t rows = 3;
    std::array<double, 2> upperLeft{{0.0, 6671703.118}};
    std::array<double, 2> lowerRight{{926.625433, 6668923.241}};
    int32_t projectionCode = 16; // sinusoidal
    int32_t zoneCode = 0;
    int32_t sphereCode = -1; // sphere given by parameter 0
    std::array<double, 13> projectionParameters{{6371007.181}};
    int32_t originCode = 0;         // upper left
    int32_t pixelRegistration = -1; // 0 centre, 1 corner; -1: left to the library's default
    std::vector<std::pair<std::string, int32_t>> extraDims; // defined besides XDim and YDim
    std::vector<EosField> fields;
};

// The geometry of a MODIS sinusoidal 250 m cell grid of the given size.
EosGridSpec sinusoidalGrid(int32_t columns, int32_t rows);

// Writes one HDF-EOS file holding the grids; throws std::runtime_error naming the failing call.
void writeEosFile(const std::string &path, const std::vector<EosGridSpec> &grids);
inline void writeEosFile(const std::string &path, const EosGridSpec &grid) {
    writeEosFile(path, std::vector<EosGridSpec>{grid});
}

// What a grid holds, read back: geometry, field names in order and per field its information.
struct EosFieldRead {
    std::string name;
    int32_t rank = 0;
    std::vector<int32_t> dims;
    int32_t numberType = 0;
    std::string dimList;
    int32_t compression = -1;     // HDF-EOS compression code (0 none, 4 deflate)
    int32_t compressionLevel = 0; // deflate level
    std::vector<uint8_t> data;    // whole field
};

struct EosGridRead {
    int32_t columns = 0;
    int32_t rows = 0;
    std::array<double, 2> upperLeft{};
    std::array<double, 2> lowerRight{};
    int32_t projectionCode = 0;
    int32_t zoneCode = 0;
    int32_t sphereCode = 0;
    std::array<double, 13> projectionParameters{};
    int32_t originCode = 0;
    int32_t pixelRegistration = 0;     // 0 centre, 1 corner
    std::vector<std::string> dimNames; // as GDinqdims lists them
    std::vector<int32_t> dimSizes;
    std::vector<EosFieldRead> fields; // in the order GDinqfields lists them
};

// The grid names of a file, in order.
std::vector<std::string> readEosGridNames(const std::string &path);
// Reads a grid whole; throws std::runtime_error when the file or grid cannot be read.
EosGridRead readEosGrid(const std::string &path, const std::string &gridName = "MODIS_Grid_2D");
// The field of that name in a grid read back; throws when missing.
const EosFieldRead &eosFieldOf(const EosGridRead &grid, const std::string &name);
// "" when two grids read back have the same geometry (counts, corners, projection, zone, sphere,
// parameters, origin, pixel registration), otherwise one line per difference, for EXPECT_EQ(...,
// "").
std::string geometryDifferences(const EosGridRead &a, const EosGridRead &b);
// The attributes of an SD data set (a grid field) of the file, in index order.
std::vector<EosAttribute> readSdAttributes(const std::string &path, const std::string &dataSet);

} // namespace testsupport
