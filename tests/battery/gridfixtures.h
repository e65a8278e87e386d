// Small HDF-EOS grid files for the battery: good inputs of each grid program, and the same grids
// with the wrong grid name, a missing field, the wrong number type, an extra dimension or another
// size.
#pragma once

#include "support/hdfeos.h"

#include <string>
#include <vector>

namespace battery {

// Fields of one number type, all of the same grid size, filled with `value`.
testsupport::EosGridSpec int16Grid(const std::vector<std::string> &fields, int32_t columns,
                                   int32_t rows, int16_t value);
testsupport::EosGridSpec uint8Grid(const std::vector<std::string> &fields, int32_t columns,
                                   int32_t rows, uint8_t value);

// The ways a good grid is made wrong while the file itself stays readable.
enum class GridFault {
    OtherGridName,   // the grid is not called "MODIS_Grid_2D"
    FieldMissing,    // the first field of the grid is left out
    WrongType,       // the first field holds 32-bit floats
    ThreeDimensions, // the first field has a third dimension
    OtherSize,       // one column more than the good grid
    HugeSize,        // 4 x 10^18 cells, with nothing written
};
testsupport::EosGridSpec withFault(testsupport::EosGridSpec grid, GridFault fault);
const char *gridFaultName(GridFault fault);

} // namespace battery
