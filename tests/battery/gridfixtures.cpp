// Small HDF-EOS grid files for the battery.
#include "gridfixtures.h"

namespace battery {

using testsupport::EosField;
using testsupport::EosGridSpec;

EosGridSpec int16Grid(const std::vector<std::string> &fields, int32_t columns, int32_t rows,
                      int16_t value) {
    EosGridSpec grid = testsupport::sinusoidalGrid(columns, rows);
    const std::vector<int16_t> cells(static_cast<size_t>(columns) * static_cast<size_t>(rows),
                                     value);
    for (const std::string &name : fields) {
        grid.fields.push_back(testsupport::eosField(name, testsupport::kEosInt16, cells));
    }
    return grid;
}

EosGridSpec uint8Grid(const std::vector<std::string> &fields, int32_t columns, int32_t rows,
                      uint8_t value) {
    EosGridSpec grid = testsupport::sinusoidalGrid(columns, rows);
    const std::vector<uint8_t> cells(static_cast<size_t>(columns) * static_cast<size_t>(rows),
                                     value);
    for (const std::string &name : fields) {
        grid.fields.push_back(testsupport::eosField(name, testsupport::kEosUInt8, cells));
    }
    return grid;
}

EosGridSpec withFault(EosGridSpec grid, GridFault fault) {
    const size_t cells = static_cast<size_t>(grid.columns) * static_cast<size_t>(grid.rows);
    switch (fault) {
    case GridFault::OtherGridName:
        grid.name = "Other_Grid";
        break;
    case GridFault::FieldMissing:
        grid.fields.erase(grid.fields.begin());
        break;
    case GridFault::WrongType:
        grid.fields.front().numberType = testsupport::kEosFloat32;
        grid.fields.front().data = testsupport::toBytes(std::vector<float>(cells, 0.5f));
        break;
    case GridFault::ThreeDimensions: {
        grid.extraDims.push_back({"Band", 2});
        EosField &field = grid.fields.front();
        field.dimList = "Band,YDim,XDim";
        const size_t size = field.data.size();
        field.data.resize(2 * size);
        break;
    }
    case GridFault::OtherSize: {
        const EosGridSpec wider = testsupport::sinusoidalGrid(grid.columns + 1, grid.rows);
        grid.columns = wider.columns;
        grid.lowerRight = wider.lowerRight;
        for (EosField &field : grid.fields) {
            const size_t element = field.data.size() / cells;
            field.data.assign(element * (cells + static_cast<size_t>(grid.rows)), 0);
        }
        break;
    }
    case GridFault::HugeSize: {
        // Far beyond any memory: 4 x 10^18 cells. (Sizes that merely exceed the free memory are not
        // tried: a program that allocated and filled them would take the machine's memory.)
        const EosGridSpec huge = testsupport::sinusoidalGrid(2000000000, 2000000000);
        grid.columns = huge.columns;
        grid.rows = huge.rows;
        grid.lowerRight = huge.lowerRight;
        for (EosField &field : grid.fields) {
            field.data.clear(); // defined, never written
        }
        break;
    }
    }
    return grid;
}

const char *gridFaultName(GridFault fault) {
    switch (fault) {
    case GridFault::OtherGridName:
        return "other grid name";
    case GridFault::FieldMissing:
        return "field missing";
    case GridFault::WrongType:
        return "wrong number type";
    case GridFault::ThreeDimensions:
        return "three dimensions";
    case GridFault::OtherSize:
        return "other size";
    case GridFault::HugeSize:
        return "huge size";
    }
    return "?";
}

} // namespace battery
