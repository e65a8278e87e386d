// Realistic full-size NDVI grids for the benchmarks of the compositor and the extremes builders:
// spatially smooth vegetation with noise, clouds as no-data, an area outside the mask as fill, on a
// sinusoidal 250 m tile, written compressed as the products are.
#pragma once

#include "gridio.h"
#include "productio.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace benchgrids {

// The geometry of a sinusoidal tile of columns x rows 250 m cells.
veg::grid::GridGeometry tileGeometry(int32_t columns, int32_t rows);

// A 16-bit NDVI field (NDVI x 10000; -28672 under clouds, -28673 outside the mask) for one
// `variant` (a day or a year): the pattern shifts and the clouds move with it.
std::vector<int16_t> ndviField(int32_t columns, int32_t rows, int variant);

// The 8-bit twin of a 16-bit field (254 no data, 255 fill).
std::vector<uint8_t> ndvi8Field(const std::vector<int16_t> &ndvi16);

// The 8-bit codes of the older daily product: NDVI 0..250, 255 for no value, 253 for bad value.
std::vector<uint8_t> dailyCodeField(int32_t columns, int32_t rows, int variant);

// Writes a grid "MODIS_Grid_2D" with the given fields (deflate level 9 unless told otherwise);
// throws on failure, with the write's size-limit advice when the file reached one.
struct BenchField {
    std::string name;
    int32_t numberType;
    const void *data;
    size_t bytes;
};
void writeGrid(const std::string &path, int32_t columns, int32_t rows,
               const std::vector<BenchField> &fields,
               veg::grid::Compression compression = veg::grid::Compression::Deflate9);

// Output fields loaded from raw dumps, so that a baseline writes exactly the bytes the program
// wrote: deflate level 9 costs very different times on different contents (a quality layer of
// list positions costs far more than an NDVI field). `dir` empty: nothing is loaded.
class RawOutputs {
  public:
    explicit RawOutputs(std::string dir) : dir_(std::move(dir)) {}
    bool active() const { return !dir_.empty(); }
    // The bytes of dir/<field>.raw; throws unless the file holds exactly `bytes` bytes.
    std::vector<uint8_t> load(const std::string &field, size_t bytes) const;

  private:
    std::string dir_;
};

// Writes the whole field of an HDF-EOS grid file (any number type) to a raw file; throws on
// failure.
void dumpField(const std::string &path, const std::string &field, const std::string &rawPath);

// The NDVI field of each file in `names` read whole, through the input series of the programs
// (the same opening, checks and reads): the buffer comes into being at the first readable file,
// as in the programs; files that cannot be read or differ from the first are passed over. Null
// when a read fails or no file opens.
template <typename T>
std::unique_ptr<T[]> readEachNdvi(const std::vector<std::string> &names,
                                  veg::grid::InputSeries &series) {
    std::unique_ptr<T[]> values;
    for (const std::string &name : names) {
        const veg::grid::InputStatus status = series.open(name);
        if (status == veg::grid::InputStatus::First) {
            values = veg::grid::allocateCells<T>(series.cells());
        } else if (status != veg::grid::InputStatus::Same) {
            continue;
        }
        if (!values || !series.readFields({veg::grid::bufferOf(values.get(), series.cells())}))
            return nullptr;
    }
    return values;
}

} // namespace benchgrids
