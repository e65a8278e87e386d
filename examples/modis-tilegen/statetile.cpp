// The day's 1 km tile of a generated tile.
#include "statetile.h"

#include "productio.h"
#include "products.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace veg::modis_tilegen {
namespace {

using veg::grid::Attribute;

template <typename T> Attribute values(const std::string &name, int32_t type, std::vector<T> v) {
    Attribute a{name, type, static_cast<int32_t>(v.size()),
                std::vector<uint8_t>(v.size() * sizeof(T))};
    std::memcpy(a.bytes.data(), v.data(), a.bytes.size());
    return a;
}

Attribute text(const std::string &name, const std::string &value) {
    return veg::grid::textAttribute(name, value, static_cast<int32_t>(value.size()));
}

// long_name, units, valid_range, _FillValue and, for scaled fields, scale_factor.
template <typename T>
std::vector<Attribute> fieldAttributes(const std::string &longName, const std::string &units, T low,
                                       T high, T fill, double scale = 0) {
    const int32_t type = veg::grid::NumberTypeOf<T>::value;
    std::vector<Attribute> a = {text("long_name", longName), text("units", units),
                                values<T>("valid_range", type, {low, high}),
                                values<T>("_FillValue", type, {fill})};
    if (scale != 0) {
        a.push_back(values<double>("scale_factor", veg::grid::kFloat64, {scale}));
    }
    return a;
}

constexpr double kDegrees = 180.0 / 3.14159265358979323846;

} // namespace

uint16_t stateOf(const uint8_t sky[16], bool nextToCloud) {
    int observed = 0, cloud = 0, thick = 0, shadow = 0, water = 0;
    for (int i = 0; i < 16; ++i) {
        if (sky[i] & kSkyGap) {
            continue;
        }
        ++observed;
        cloud += (sky[i] & kSkyCloud) != 0;
        thick += (sky[i] & kSkyThick) != 0;
        shadow += (sky[i] & kSkyShadow) != 0;
        water += (sky[i] & kSkyWater) != 0;
    }
    if (observed == 0) {
        return 65535;
    }
    uint16_t state = cloud == observed ? 0x1 : cloud > 0 ? 0x2 : 0x0;
    state |= shadow > 0 ? 0x4 : 0;
    state |= static_cast<uint16_t>((2 * water > observed ? 3u : 1u) << 3); // inland water or land
    state |= 0x1u << 6;                                                    // low aerosol
    state |= thick > 0 ? 0x400 : 0;
    state |= nextToCloud && cloud == 0 ? 0x2000 : 0;
    return state;
}

bool writeStateTile(const std::string &path, const TileSpec &tile, const FineCells &fine) {
    const int columns = tile.columns / 4, rows = tile.rows / 4;
    const size_t n = static_cast<size_t>(columns) * static_cast<size_t>(rows);
    std::vector<uint16_t> state(n), range(n);
    std::vector<int16_t> sensorZenith(n), sensorAzimuth(n), solarZenith(n), solarAzimuth(n);
    std::vector<int8_t> observations(n), orbit(n);
    std::vector<uint8_t> gflags(n), granule(n);
    const veg::grid::GridGeometry g = tileGeometry(tile.horizontal, tile.vertical, columns, rows);
    const double cell = kTileSize / rows;
    const double declination =
        23.44 * std::sin(2 * 3.14159265358979 * (284 + tile.dayOfYear) / 365);
    // The 250 m cell k (0..15, row by row) of 1 km cell (r, c).
    const auto fineAt = [&](int r, int c, int k) {
        return static_cast<size_t>(r * 4 + k / 4) * static_cast<size_t>(tile.columns) +
               static_cast<size_t>(c * 4 + k % 4);
    };
    const auto cloudAt = [&](int r, int c) {
        for (int k = 0; k < 16; ++k) {
            const uint8_t sky = fine.sky[fineAt(r, c, k)];
            if ((sky & kSkyCloud) && !(sky & kSkyGap)) {
                return true;
            }
        }
        return false;
    };
    std::vector<uint8_t> cloudy(n);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            cloudy[static_cast<size_t>(r) * columns + c] = cloudAt(r, c);
        }
    }
    for (int r = 0; r < rows; ++r) {
        const double latitude = (g.upperLeft[1] - (r + 0.5) * cell) / kSphereRadius * kDegrees;
        for (int c = 0; c < columns; ++c) {
            const size_t at = static_cast<size_t>(r) * columns + c;
            uint8_t sky[16];
            for (int k = 0; k < 16; ++k) {
                sky[k] = fine.sky[fineAt(r, c, k)];
            }
            bool nextToCloud = false;
            for (int dr = -1; dr <= 1; ++dr) {
                for (int dc = -1; dc <= 1; ++dc) {
                    const int rr = r + dr, cc = c + dc;
                    nextToCloud = nextToCloud || (rr >= 0 && rr < rows && cc >= 0 && cc < columns &&
                                                  cloudy[static_cast<size_t>(rr) * columns + cc]);
                }
            }
            state[at] = stateOf(sky, nextToCloud);
            // The first observed 250 m cell stands for the 1 km observation.
            int k = 0;
            while (k < 16 && (sky[k] & kSkyGap)) {
                ++k;
            }
            if (k == 16) {
                observations[at] = orbit[at] = -1;
                granule[at] = gflags[at] = 255;
                sensorZenith[at] = sensorAzimuth[at] = solarZenith[at] = solarAzimuth[at] = -32767;
                range[at] = 0;
                continue;
            }
            const size_t first = fineAt(r, c, k);
            const double zenith = 65.0 * fine.scan[first] / 250.0;
            observations[at] = fine.numObservations[first];
            orbit[at] = fine.orbitPointer[first];
            granule[at] = fine.granulePointer[first];
            sensorZenith[at] = static_cast<int16_t>(std::lround(zenith * 100));
            sensorAzimuth[at] = static_cast<int16_t>(orbit[at] % 2 ? 10150 : -7850);
            range[at] =
                static_cast<uint16_t>(std::lround(705000.0 / std::cos(zenith / kDegrees) / 25));
            solarZenith[at] =
                static_cast<int16_t>(std::lround(std::fabs(latitude - declination) * 100));
            solarAzimuth[at] = static_cast<int16_t>(latitude > declination ? 15500 : 2500);
            gflags[at] = (sky[k] & kSkyWater) ? 0x01 : 0x00;
        }
    }
    using veg::grid::FieldLayout;
    veg::grid::ProductTarget target{
        path, kStateGridName, g, "YDim,XDim", {}, veg::grid::Edge{rows, columns}};
    target.layout.compression =
        tile.compressed ? veg::grid::Compression::Deflate9 : veg::grid::Compression::None;
    const auto angle = [](const char *name, int16_t low, int16_t high) {
        return FieldLayout{name, veg::grid::kInt16,
                           fieldAttributes<int16_t>(name, "degree", low, high, -32767, 0.01)};
    };
    target.layout.fields = {
        {"num_observations_1km", veg::grid::kInt8,
         fieldAttributes<int8_t>("Number of Observations", "none", 0, 127, -1)},
        {"state_1km_1", veg::grid::kUInt16,
         fieldAttributes<uint16_t>("1km Reflectance Data State QA - first layer", "bit field", 0,
                                   57335, 65535)},
        angle("SensorZenith_1", 0, 18000),
        angle("SensorAzimuth_1", -18000, 18000),
        {"Range_1", veg::grid::kUInt16,
         fieldAttributes<uint16_t>("Range (pixel to sensor) - first layer", "meters", 27000, 65535,
                                   0, 25)},
        angle("SolarZenith_1", 0, 18000),
        angle("SolarAzimuth_1", -18000, 18000),
        {"gflags_1", veg::grid::kUInt8,
         fieldAttributes<uint8_t>("Geolocation flags - first layer", "bit field", 0, 248, 255)},
        {"orbit_pnt_1", veg::grid::kInt8,
         fieldAttributes<int8_t>("Orbit pointer - first layer", "none", 0, 15, -1)},
        {"granule_pnt_1", veg::grid::kUInt8,
         fieldAttributes<uint8_t>("Granule pointer - first layer", "none", 0, 254, 255)}};
    using veg::grid::cellsOf;
    return veg::grid::writeProduct(
               target, {cellsOf(observations.data(), n), cellsOf(state.data(), n),
                        cellsOf(sensorZenith.data(), n), cellsOf(sensorAzimuth.data(), n),
                        cellsOf(range.data(), n), cellsOf(solarZenith.data(), n),
                        cellsOf(solarAzimuth.data(), n), cellsOf(gflags.data(), n),
                        cellsOf(orbit.data(), n), cellsOf(granule.data(), n)})
        .ok();
}

} // namespace veg::modis_tilegen
