// Tiny HDF-EOS grid files for tests: writer and reader on the library calls themselves.
#include "support/hdfeos.h"

#include <mfhdf.h>
// HdfEosDef.h needs the HDF4 declarations above.
#include <HdfEosDef.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace testsupport {

namespace {

char *text(const std::string &s) { return const_cast<char *>(s.c_str()); }

[[noreturn]] void fail(const std::string &what, const std::string &path) {
    throw std::runtime_error("hdfeos test file " + path + ": " + what + " failed");
}

std::vector<std::string> splitList(const std::string &list) {
    std::vector<std::string> parts;
    std::stringstream in(list);
    std::string part;
    while (std::getline(in, part, ',')) {
        parts.push_back(part);
    }
    return parts;
}

// Closes what is open when the writer or reader leaves early.
struct Handles {
    int32 file = -1;
    int32 grid = -1;
    ~Handles() {
        if (grid != -1) {
            GDdetach(grid);
        }
        if (file != -1) {
            GDclose(file);
        }
    }
};

} // namespace

EosAttribute eosText(const std::string &name, const std::string &value, int32_t count) {
    EosAttribute a{name, kEosChar8, count, std::vector<uint8_t>(static_cast<size_t>(count), 0)};
    std::copy_n(value.begin(), std::min(value.size(), a.bytes.size()), a.bytes.begin());
    return a;
}

EosGridSpec sinusoidalGrid(int32_t columns, int32_t rows) {
    const double cell = 231.65635826395828;
    EosGridSpec g;
    g.columns = columns;
    g.rows = rows;
    g.upperLeft = {{-1111950.519667, 5559752.598333}};
    g.lowerRight = {{g.upperLeft[0] + columns * cell, g.upperLeft[1] - rows * cell}};
    return g;
}

void writeEosFile(const std::string &path, const std::vector<EosGridSpec> &grids) {
    Handles h;
    h.file = GDopen(text(path), DFACC_CREATE);
    if (h.file == -1) {
        fail("GDopen", path);
    }
    for (const EosGridSpec &g : grids) {
        float64 ul[2] = {g.upperLeft[0], g.upperLeft[1]};
        float64 lr[2] = {g.lowerRight[0], g.lowerRight[1]};
        h.grid = GDcreate(h.file, text(g.name), g.columns, g.rows, ul, lr);
        if (h.grid == -1) {
            fail("GDcreate " + g.name, path);
        }
        float64 params[16] = {};
        std::copy(g.projectionParameters.begin(), g.projectionParameters.end(), params);
        if (GDdefproj(h.grid, g.projectionCode, g.zoneCode, g.sphereCode, params) == FAIL ||
            GDdeforigin(h.grid, g.originCode) == FAIL) {
            fail("GDdefproj/GDdeforigin", path);
        }
        if (g.pixelRegistration >= 0 && GDdefpixreg(h.grid, g.pixelRegistration) == FAIL) {
            fail("GDdefpixreg", path);
        }
        for (const auto &d : g.extraDims) {
            if (GDdefdim(h.grid, text(d.first), d.second) == FAIL) {
                fail("GDdefdim " + d.first, path);
            }
        }
        for (const EosField &f : g.fields) {
            intn params9[5] = {f.deflateLevel, 0, 0, 0, 0};
            if (GDdefcomp(h.grid, f.deflateLevel > 0 ? HDFE_COMP_DEFLATE : HDFE_COMP_NONE,
                          params9) == FAIL ||
                GDdeffield(h.grid, f.name.c_str(), f.dimList.c_str(), f.numberType, HDFE_NOMERGE) ==
                    FAIL) {
                fail("GDdeffield " + f.name, path);
            }
        }
        for (const EosField &f : g.fields) {
            if (f.data.empty()) {
                continue;
            }
            std::vector<int32> edge;
            size_t cells = 1;
            for (const std::string &dim : splitList(f.dimList)) {
                int32 size = -1;
                if (dim == "XDim") {
                    size = g.columns;
                } else if (dim == "YDim") {
                    size = g.rows;
                } else {
                    for (const auto &d : g.extraDims) {
                        if (d.first == dim) {
                            size = d.second;
                        }
                    }
                }
                if (size < 0) {
                    fail("unknown dimension " + dim, path);
                }
                edge.push_back(size);
                cells *= static_cast<size_t>(size);
            }
            if (f.data.size() != cells * static_cast<size_t>(DFKNTsize(f.numberType))) {
                fail("data size of " + f.name, path);
            }
            if (GDwritefield(h.grid, f.name.c_str(), nullptr, nullptr, edge.data(),
                             const_cast<uint8_t *>(f.data.data())) == FAIL) {
                fail("GDwritefield " + f.name, path);
            }
        }
        int32 hdf = -1;
        int32 sd = -1;
        if (EHidinfo(h.file, &hdf, &sd) == FAIL) {
            fail("EHidinfo", path);
        }
        for (const EosField &f : g.fields) {
            if (f.attributes.empty()) {
                continue;
            }
            const int32 sds = SDselect(sd, SDnametoindex(sd, f.name.c_str()));
            if (sds == FAIL) {
                fail("SDselect " + f.name, path);
            }
            for (const EosAttribute &a : f.attributes) {
                if (SDsetattr(sds, a.name.c_str(), a.numberType, a.count,
                              const_cast<uint8_t *>(a.bytes.data())) == FAIL) {
                    SDendaccess(sds);
                    fail("SDsetattr " + a.name, path);
                }
            }
            SDendaccess(sds);
        }
        if (GDdetach(std::exchange(h.grid, -1)) == FAIL) {
            fail("GDdetach", path);
        }
    }
    if (GDclose(std::exchange(h.file, -1)) == FAIL) {
        fail("GDclose", path);
    }
}

std::vector<std::string> readEosGridNames(const std::string &path) {
    int32 bytes = 0;
    if (GDinqgrid(text(path), nullptr, &bytes) < 0) {
        fail("GDinqgrid", path);
    }
    std::vector<char> names(static_cast<size_t>(bytes) + 1, '\0');
    if (GDinqgrid(text(path), names.data(), &bytes) < 0) {
        fail("GDinqgrid", path);
    }
    return splitList(names.data());
}

EosGridRead readEosGrid(const std::string &path, const std::string &gridName) {
    Handles h;
    h.file = GDopen(text(path), DFACC_READ);
    if (h.file == -1) {
        fail("GDopen", path);
    }
    h.grid = GDattach(h.file, text(gridName));
    if (h.grid == -1) {
        fail("GDattach " + gridName, path);
    }
    EosGridRead r;
    float64 ul[2];
    float64 lr[2];
    if (GDgridinfo(h.grid, &r.columns, &r.rows, ul, lr) == FAIL) {
        fail("GDgridinfo", path);
    }
    r.upperLeft = {{ul[0], ul[1]}};
    r.lowerRight = {{lr[0], lr[1]}};
    float64 params[16] = {};
    if (GDprojinfo(h.grid, &r.projectionCode, &r.zoneCode, &r.sphereCode, params) == FAIL ||
        GDorigininfo(h.grid, &r.originCode) == FAIL ||
        GDpixreginfo(h.grid, &r.pixelRegistration) == FAIL) {
        fail("GDprojinfo/GDorigininfo/GDpixreginfo", path);
    }
    std::copy(params, params + 13, r.projectionParameters.begin());

    int32 bytes = 0;
    const int32 ndims = GDnentries(h.grid, HDFE_NENTDIM, &bytes);
    std::vector<char> dimNames(static_cast<size_t>(std::max(bytes, 0)) + 1, '\0');
    r.dimSizes.assign(static_cast<size_t>(std::max(ndims, 0)) + 1, 0);
    if (ndims < 0 || GDinqdims(h.grid, dimNames.data(), r.dimSizes.data()) < 0) {
        fail("GDinqdims", path);
    }
    r.dimSizes.resize(static_cast<size_t>(ndims));
    r.dimNames = splitList(dimNames.data());

    const int32 nfields = GDnentries(h.grid, HDFE_NENTDFLD, &bytes);
    std::vector<char> fieldNames(static_cast<size_t>(std::max(bytes, 0)) + 1, '\0');
    std::vector<int32> ranks(static_cast<size_t>(std::max(nfields, 0)) + 1);
    std::vector<int32> types(ranks.size());
    if (nfields < 0 || GDinqfields(h.grid, fieldNames.data(), ranks.data(), types.data()) < 0) {
        fail("GDinqfields", path);
    }
    for (const std::string &name : splitList(fieldNames.data())) {
        EosFieldRead f;
        f.name = name;
        int32 dims[32] = {};
        char dimList[4096] = {};
        if (GDfieldinfo(h.grid, name.c_str(), &f.rank, dims, &f.numberType, dimList) == FAIL) {
            fail("GDfieldinfo " + name, path);
        }
        f.dims.assign(dims, dims + f.rank);
        f.dimList = dimList;
        intn compParams[5] = {};
        if (GDcompinfo(h.grid, name.c_str(), &f.compression, compParams) == FAIL) {
            fail("GDcompinfo " + name, path);
        }
        f.compressionLevel = compParams[0];
        size_t cells = 1;
        for (int32 d : f.dims) {
            cells *= static_cast<size_t>(d);
        }
        f.data.assign(cells * static_cast<size_t>(DFKNTsize(f.numberType)), 0);
        if (!f.data.empty() &&
            GDreadfield(h.grid, name.c_str(), nullptr, nullptr, dims, f.data.data()) == FAIL) {
            fail("GDreadfield " + name, path);
        }
        r.fields.push_back(std::move(f));
    }
    return r;
}

const EosFieldRead &eosFieldOf(const EosGridRead &grid, const std::string &name) {
    for (const EosFieldRead &f : grid.fields) {
        if (f.name == name) {
            return f;
        }
    }
    throw std::runtime_error("no field " + name);
}

std::string geometryDifferences(const EosGridRead &a, const EosGridRead &b) {
    std::ostringstream out;
    out.precision(17);
    auto compare = [&out](const char *what, auto x, auto y) {
        if (!(x == y)) {
            out << what << " differs\n";
        }
    };
    compare("columns", a.columns, b.columns);
    compare("rows", a.rows, b.rows);
    compare("upper-left corner", a.upperLeft, b.upperLeft);
    compare("lower-right corner", a.lowerRight, b.lowerRight);
    compare("projection code", a.projectionCode, b.projectionCode);
    compare("zone code", a.zoneCode, b.zoneCode);
    compare("sphere code", a.sphereCode, b.sphereCode);
    compare("projection parameters", a.projectionParameters, b.projectionParameters);
    compare("origin code", a.originCode, b.originCode);
    compare("pixel registration", a.pixelRegistration, b.pixelRegistration);
    return out.str();
}

std::vector<EosAttribute> readSdAttributes(const std::string &path, const std::string &dataSet) {
    const int32 sd = SDstart(path.c_str(), DFACC_READ);
    if (sd == FAIL) {
        fail("SDstart", path);
    }
    std::vector<EosAttribute> result;
    const int32 index = SDnametoindex(sd, dataSet.c_str());
    const int32 sds = index == FAIL ? FAIL : SDselect(sd, index);
    if (sds == FAIL) {
        SDend(sd);
        fail("SDselect " + dataSet, path);
    }
    int32 rank = 0;
    int32 dims[32];
    int32 type = 0;
    int32 nattrs = 0;
    char name[H4_MAX_NC_NAME + 1] = {};
    SDgetinfo(sds, name, &rank, dims, &type, &nattrs);
    for (int32 i = 0; i < nattrs; ++i) {
        EosAttribute a;
        char attrName[H4_MAX_NC_NAME + 1] = {};
        SDattrinfo(sds, i, attrName, &a.numberType, &a.count);
        a.name = attrName;
        a.bytes.assign(static_cast<size_t>(a.count) * static_cast<size_t>(DFKNTsize(a.numberType)),
                       0);
        SDreadattr(sds, i, a.bytes.data());
        result.push_back(std::move(a));
    }
    SDendaccess(sds);
    SDend(sd);
    return result;
}

} // namespace testsupport
