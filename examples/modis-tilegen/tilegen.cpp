// MODIS-like daily 250 m surface-reflectance tiles.
#include "tilegen.h"

#include "statetile.h"

#include "productio.h"
#include "products.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

namespace veg::modis_tilegen {
namespace {

using veg::grid::kCarriedFields;

// ---- Attributes as the distributed product spells them ----

template <typename T>
veg::grid::Attribute valuesAttribute(const std::string &name, int32_t numberType,
                                     const std::vector<T> &values) {
    veg::grid::Attribute a;
    a.name = name;
    a.numberType = numberType;
    a.count = static_cast<int32_t>(values.size());
    a.bytes.resize(values.size() * sizeof(T));
    std::memcpy(a.bytes.data(), values.data(), a.bytes.size());
    return a;
}

// Text attributes of the product hold the visible characters only.
veg::grid::Attribute text(const std::string &name, const std::string &value) {
    return veg::grid::textAttribute(name, value, static_cast<int32_t>(value.size()));
}

const char *const kQaIndex =
    "\n\tBits are listed from the MSB (bit 15) to the LSB (bit 0):\n"
    "\tBit    Description\n"
    "\t14-15  spare (unused); \n"
    "\t13     adjacency correction performed; \n"
    "\t       1 -- yes\n"
    "\t       0 -- no\n"
    "\t12     atmospheric correction performed; \n"
    "\t       1 -- yes\n"
    "\t       0 -- no\n"
    "\t8-11   band 2 data quality four bit range;\n"
    "\t       0000 -- highest quality\n"
    "\t       0111 -- noisy detector\n"
    "\t       1000 -- dead detector; data interpolated in L1B\n"
    "\t       1001 -- solar zenith >= 86 degrees\n"
    "\t       1010 -- solar zenith >= 85 and < 86 degrees\n"
    "\t       1011 -- missing input\n"
    "\t       1100 -- internal constant used in place of climatological data \n"
    "\t               for at least one atmospheric constant\n"
    "\t       1101 -- correction out of bounds pixel constrained to extreme \n"
    "\t               allowable value\n"
    "\t       1110 -- L1B data faulty\n"
    "\t       1111 -- not processed due to deep ocean or clouds\n"
    "\t4-7    band 1 data quality four bit range;\n"
    "\t       SAME AS ABOVE\n"
    "\t2-3    cloud state;\n"
    "\t       00 -- clear\n"
    "\t       01 -- cloudy\n"
    "\t       10 -- mixed\n"
    "\t       11 -- not set, assumed clear\n"
    "\t0-1    MODLAND QA bits; \n"
    "\t       corrected product produced at\n"
    "\t       00 -- ideal quality all bands \n"
    "\t       01 -- less than ideal quality some or all bands\n"
    "\t       corrected product not produced due to\n"
    "\t       10 -- cloud effects all bands \n"
    "\t       11 -- other reasons some or all bands may be fill value\n"
    "\t       [Note that a value of (11) overrides a value of (01)].\n";

std::vector<veg::grid::Attribute> reflectanceAttributes(int band) {
    return {
        text("long_name",
             "250m Surface Reflectance Band " + std::to_string(band) + " - first layer"),
        text("units", "reflectance"),
        valuesAttribute<int16_t>("valid_range", veg::grid::kInt16,
                                 {veg::grid::kReflectanceMin, veg::grid::kReflectanceMax}),
        valuesAttribute<int16_t>("_FillValue", veg::grid::kInt16, {veg::grid::kReflectanceFill}),
        valuesAttribute<double>("add_offset", veg::grid::kFloat64, {0.0}),
        valuesAttribute<double>("add_offset_err", veg::grid::kFloat64, {0.0}),
        valuesAttribute<int32_t>("calibrated_nt", veg::grid::kInt32, {5}),
        valuesAttribute<double>("scale_factor", veg::grid::kFloat64, {10000.0}),
        valuesAttribute<double>("scale_factor_err", veg::grid::kFloat64, {0.0}),
        text("Nadir Data Resolution", "250m")};
}

std::vector<FieldDescription> makeProductFields() {
    using veg::grid::kInt16;
    using veg::grid::kInt8;
    using veg::grid::kUInt16;
    using veg::grid::kUInt8;
    return {
        {kCarriedFields[0].name,
         kInt8,
         {text("long_name", "Number of Observations"), text("units", "none"),
          valuesAttribute<int8_t>("valid_range", kInt8, {0, 127}),
          valuesAttribute<int8_t>("_FillValue", kInt8, {-1})}},
        {kCarriedFields[1].name, kInt16, reflectanceAttributes(1)},
        {kCarriedFields[2].name, kInt16, reflectanceAttributes(2)},
        {kCarriedFields[3].name,
         kUInt16,
         {text("long_name", "250m Reflectance Band Quality - first layer"),
          text("units", "bit field"), valuesAttribute<uint16_t>("valid_range", kUInt16, {0, 4096}),
          valuesAttribute<uint16_t>("_FillValue", kUInt16, {2995}),
          text("Nadir Data Resolution", "250m"), text("QA index", kQaIndex)}},
        {kCarriedFields[4].name,
         kInt8,
         {text("long_name", "Observation coverage - first layer"), text("units", "percent"),
          valuesAttribute<int8_t>("valid_range", kInt8, {0, 100}),
          valuesAttribute<int8_t>("_FillValue", kInt8, {-1}),
          valuesAttribute<double>("add_offset", veg::grid::kFloat64, {0.0}),
          valuesAttribute<double>("add_offset_err", veg::grid::kFloat64, {0.0}),
          valuesAttribute<int32_t>("calibrated_nt", veg::grid::kInt32, {5}),
          valuesAttribute<double>("scale_factor", veg::grid::kFloat64, {0.01}),
          valuesAttribute<double>("scale_factor_err", veg::grid::kFloat64, {0.0})}},
        {kCarriedFields[5].name,
         kUInt8,
         {text("long_name", "observation number in coarser grid - first layer"),
          text("units", "none"), valuesAttribute<uint8_t>("valid_range", kUInt8, {0, 254}),
          valuesAttribute<uint8_t>("_FillValue", kUInt8, {255})}},
        {kCarriedFields[6].name,
         kInt8,
         {text("long_name", "Orbit pointer - first layer"), text("units", "none"),
          valuesAttribute<int8_t>("valid_range", kInt8, {0, 15}),
          valuesAttribute<int8_t>("_FillValue", kInt8, {-1})}},
        {kCarriedFields[7].name,
         kUInt8,
         {text("long_name", "Granule Pointer - first layer"), text("units", "none"),
          valuesAttribute<uint8_t>("valid_range", kUInt8, {0, 254}),
          valuesAttribute<uint8_t>("_FillValue", kUInt8, {255})}},
    };
}

// ---- Deterministic landscapes ----

uint64_t mix(uint64_t z) {
    z += 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

uint64_t hashOf(int64_t i, int64_t j, uint64_t salt) {
    return mix(mix(static_cast<uint64_t>(i) ^ salt) ^
               static_cast<uint64_t>(j) * 0xD6E8FEB86659FD93ULL);
}

double unitOf(uint64_t h) { return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0); }

// The corner values of the lattice square of a noise field that the last cell fell in, kept for
// the next cell (neighbouring cells mostly share it). One per octave and per place of use.
struct LatticeSquare {
    int64_t ix = 0, iy = 0;
    uint64_t salt = 0;
    bool filled = false;
    double a = 0, b = 0, c = 0, d = 0;
};

// Smooth value noise in 0..1 with features about `scale` metres across.
double valueNoise(double x, double y, double scale, uint64_t salt, LatticeSquare &q) {
    const double gx = x / scale, gy = y / scale;
    const double fx0 = std::floor(gx), fy0 = std::floor(gy);
    const int64_t ix = static_cast<int64_t>(fx0), iy = static_cast<int64_t>(fy0);
    if (!q.filled || q.ix != ix || q.iy != iy || q.salt != salt) {
        q = LatticeSquare{ix,
                          iy,
                          salt,
                          true,
                          unitOf(hashOf(ix, iy, salt)),
                          unitOf(hashOf(ix + 1, iy, salt)),
                          unitOf(hashOf(ix, iy + 1, salt)),
                          unitOf(hashOf(ix + 1, iy + 1, salt))};
    }
    double fx = gx - fx0, fy = gy - fy0;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const double top = q.a + (q.b - q.a) * fx, bottom = q.c + (q.d - q.c) * fx;
    return top + (bottom - top) * fy;
}

// Octaves of value noise, each half the size and weight of the one before, in 0..1; `squares`
// holds one lattice square per octave.
template <int Octaves>
double fractalNoise(double x, double y, double scale, uint64_t salt,
                    LatticeSquare (&squares)[Octaves]) {
    double sum = 0, weight = 1, total = 0;
    for (int o = 0; o < Octaves; ++o) {
        sum += weight * valueNoise(x, y, scale, salt + static_cast<uint64_t>(o) * 7919, squares[o]);
        total += weight;
        weight *= 0.5;
        scale *= 0.5;
    }
    return sum / total;
}

// Greenness 0..1 of a land-cover class on a day of the year.
struct Phenology {
    double base, amplitude, peakDay, width;
};
// Broad regions of a year are up to this share greener or less green than usual.
constexpr double kYearVariation = 0.05;

constexpr Phenology kClasses[] = {
    {0.15, 0.70, 135, 35}, // winter cereals
    {0.12, 0.78, 205, 30}, // summer crops
    {0.25, 0.45, 165, 60}, // grassland
    {0.55, 0.30, 190, 75}, // forest
};

double greennessOf(const Phenology &p, int dayOfYear, bool seasonal) {
    if (!seasonal) {
        return p.base + p.amplitude;
    }
    const double t = (dayOfYear - p.peakDay) / p.width;
    return p.base + p.amplitude * std::exp(-t * t);
}

int16_t reflectance(double r) {
    const double scaled = std::round(r * 10000.0);
    return static_cast<int16_t>(std::min<double>(
        veg::grid::kReflectanceMax, std::max<double>(veg::grid::kReflectanceMin, scaled)));
}

constexpr uint16_t kQcAtmosphericCorrection = 0x1000;
constexpr uint16_t kQcAdjacencyCorrection = 0x2000;
constexpr uint16_t kQcCloudyState = 0x0004;
constexpr uint16_t kQcCloudy = kQcCloudyState | 0x0001;
constexpr uint16_t kQcMixedCloud = 0x0008 | 0x0001;
constexpr uint16_t kQcFill = 2995;
using veg::grid::kReflectanceFill;

constexpr uint16_t kQcLessThanIdeal = 0x0001;
constexpr uint16_t kQcCloudEffects = 0x0002;
constexpr uint16_t kQcBandsCloudFailed = 0x0FF0; // both bands: not processed, clouds

double smoothstep(double edge0, double edge1, double value) {
    const double t = std::min(1.0, std::max(0.0, (value - edge0) / (edge1 - edge0)));
    return t * t * (3 - 2 * t);
}

// Ground distance between neighbouring orbits at the equator, the width of a swath, the length of a
// granule along the track, the slant of the tracks, the share of the orbit spacing left without
// observations, and the size of a cell of the full-resolution grid.
constexpr double kOrbitSpacing = 2750000.0;
constexpr double kSwathWidth = 2330000.0;
constexpr double kGranuleLength = 2000000.0;
constexpr double kTrackSlant = 0.18;
constexpr double kSwathGap = 0.02;
constexpr double kFullCell = kTileSize / 4800;
// Where a cloud's shadow falls from it, in metres (the sun in the north-west).
constexpr double kShadowOffsetX = 2500.0;
constexpr double kShadowOffsetY = -1800.0;

struct Swath {
    int64_t orbit = 0;   // orbits of the day, counted eastwards
    int64_t granule = 0; // granules of the orbit, counted along its track
    double across = 0;   // position across the orbit spacing, 0..1 (below kSwathGap: no data)
    double scan = 0;     // distance from the swath's centre line, 0 at nadir, 1 at its edges
    double cosLatitude = 1;
};

Swath swathAt(double x, double y, uint64_t daySalt) {
    const double cosLatitude = std::cos(y / kSphereRadius);
    const double spacing = kOrbitSpacing * std::max(0.1, cosLatitude);
    const double u = (x + kTrackSlant * y) / spacing + 16 * unitOf(daySalt);
    Swath s;
    s.cosLatitude = cosLatitude;
    s.orbit = static_cast<int64_t>(std::floor(u));
    s.across = u - std::floor(u);
    s.scan = std::fabs(2 * (s.across - kSwathGap) / (1 - kSwathGap) - 1);
    const double along = (y - kTrackSlant * x) / kGranuleLength +
                         unitOf(mix(daySalt ^ static_cast<uint64_t>(s.orbit)));
    s.granule = static_cast<int64_t>(std::floor(along));
    return s;
}

int64_t positiveModulo(int64_t a, int64_t m) { return ((a % m) + m) % m; }

// The observation fields of a cell seen by `swath`: pointers to its orbit and granule, the count
// of observations (more towards the swath's edges, where the footprints grow, and one more where
// the next swath overlaps), the coverage of the cell (lower towards the edges) and the number of
// the observation in the coarser grid (alternating rows of the coarser grid see different ones).
void fillObservation(const Swath &swath, double x, double y, uint64_t cellHash, uint64_t daySalt,
                     CellValues *v) {
    // Towards the poles the orbits converge and more swaths overlap: one more observation for
    // each further swath that reaches the cell.
    const double ragged = 0.04 * (unitOf(cellHash) - 0.5);
    const double overlap =
        std::min(30.0, kSwathWidth / (kOrbitSpacing * std::max(0.01, swath.cosLatitude)));
    const int further = static_cast<int>(std::floor(overlap - 1 + swath.across + ragged));
    v->numObservations = static_cast<int8_t>(1 + (swath.scan + ragged > 0.55) +
                                             (swath.scan + ragged > 0.85) + std::max(0, further));
    // Where many converging swaths overlap, the first observation comes from one or another of
    // them in patches of about two kilometres.
    int64_t orbit = swath.orbit;
    if (further >= 2) {
        orbit -= static_cast<int64_t>(hashOf(static_cast<int64_t>(std::floor(x / (8 * kFullCell))),
                                             static_cast<int64_t>(std::floor(y / (8 * kFullCell))),
                                             daySalt + 9) %
                                      static_cast<uint64_t>(further + 1));
    }
    v->orbitPointer = static_cast<int8_t>(positiveModulo(orbit, 16));
    v->granulePointer = static_cast<uint8_t>(positiveModulo(orbit * 4 + swath.granule, 254));
    const int coverage = static_cast<int>(std::lround(88 - 50 * swath.scan * swath.scan)) +
                         static_cast<int>((cellHash >> 8) % 7) - 3;
    v->obscov = static_cast<int8_t>(std::min(100, std::max(1, coverage)));
    // Observations of the coarser grid span two cells along a row.
    const int64_t row = static_cast<int64_t>(std::floor((kGridNorthY - y) / kFullCell));
    const bool oddRow = row % 2 != 0;
    const unsigned draw = static_cast<unsigned>(
        hashOf(static_cast<int64_t>(std::floor(x / (2 * kFullCell))), row, daySalt + 7) % 20);
    // Even rows: mostly the first observation; odd rows: mostly the second or third.
    static const uint8_t kEven[20] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2};
    static const uint8_t kOdd[20] = {0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3};
    v->iobsRes = std::min<uint8_t>(oddRow ? kOdd[draw] : kEven[draw],
                                   static_cast<uint8_t>(v->numObservations - 1));
}

// What the cells of one tile share: each noise field's last lattice square per octave (neighbouring
// cells mostly fall in the same one) and the land-cover classes' greenness on the tile's day.
struct TileCache {
    explicit TileCache(const TileSpec &tileSpec) {
        for (int i = 0; i < 4; ++i) {
            classGreenness[i] = greennessOf(kClasses[i], tileSpec.dayOfYear, tileSpec.seasonal);
        }
    }
    double classGreenness[4];
    LatticeSquare classA[2], classB[2], vigour[3], year[2], water[3], cloud[4], shadow[4];
};

// Greenness 0..1 of the land at (x, y): four land-cover classes mixed by two smooth fields (whole
// regions of one class with gradual transitions between them), fields of about 800 m x 600 m
// that lean towards one class, the vigour of the place, the year's conditions (broad regions a
// little greener or less green than usual) and the requested anomalies.
double landGreenness(double x, double y, uint64_t salt, const TileSpec &tileSpec,
                     TileCache &cache) {
    const int64_t fieldX = static_cast<int64_t>(std::floor(x / 800.0));
    const int64_t fieldY = static_cast<int64_t>(std::floor(y / 600.0));
    const uint64_t field = hashOf(fieldX, fieldY, salt + 2);
    const double a = smoothstep(0.3, 0.7,
                                fractalNoise(x, y, 40000.0, salt + 5, cache.classA) +
                                    0.3 * (unitOf(field) - 0.5));
    const double b = smoothstep(0.3, 0.7,
                                fractalNoise(x, y, 40000.0, salt + 6, cache.classB) +
                                    0.3 * (unitOf(mix(field)) - 0.5));
    const double weights[4] = {(1 - a) * (1 - b), a * (1 - b), (1 - a) * b, a * b};
    double green = 0;
    for (int i = 0; i < 4; ++i) {
        green += weights[i] * cache.classGreenness[i];
    }
    const double vigour = 0.5 + 0.5 * fractalNoise(x, y, 20000.0, salt + 3, cache.vigour);
    const uint64_t yearSalt = mix(salt ^ (static_cast<uint64_t>(tileSpec.year) * 7919 + 11));
    const double year =
        1 + kYearVariation * (2 * fractalNoise(x, y, 250000.0, yearSalt, cache.year) - 1);
    double change = 1;
    for (const Anomaly &anomaly : tileSpec.anomalies) {
        change *= 1 + anomaly.change * anomalyWeight(anomaly, x, y);
    }
    return std::max(0.0, green * vigour * year * change);
}

bool validDate(int year, int month, int day, int *dayOfYear) {
    static const int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    static const int kDaysIn[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (year < 1 || month < 1 || month > 12 || day < 1 ||
        day > kDaysIn[month - 1] + (leap && month == 2 ? 1 : 0)) {
        return false;
    }
    *dayOfYear = kDaysBefore[month - 1] + day + (leap && month > 2 ? 1 : 0);
    return true;
}

void printUsage(const std::string &name, std::ostream &err) {
    err << "Usage: " << name
        << " [--tile hXXvYY] [--date yyyy.mm.dd] [--size COLUMNSxROWS] [--seed N]\n"
           "       [--clouds SHARE] [--anomaly X,Y,RADIUS,CHANGE] [--no-season] [--uncompressed]\n"
           "       [--overcast X,Y,RADIUS] [--shadows] [--state STATE.hdf] <output.hdf>\n"
           "  --tile          tile of the sinusoidal grid (default h18v04)\n"
           "  --date          day of the observations, drives season and clouds (default "
           "2020.07.26)\n"
           "  --size          cells of the tile, COLUMNSxROWS or N for NxN (default 4800x4800)\n"
           "  --seed          landscape and cloud seed (default 1)\n"
           "  --clouds        rough share of the tile under cloud, 0..1 (default 0.15)\n"
           "  --anomaly       a region greener or less green than usual: centre X,Y and radius in\n"
           "                  metres (or radii RX,RY of an ellipse), CHANGE the relative change "
           "of\n"
           "                  greenness, -1..1 (-0.4: 40 % less green); may be repeated\n"
           "  --no-season     every field at its peak of greenness\n"
           "  --uncompressed  store the fields without deflate compression\n"
           "  --overcast      a region under thick cloud: centre X,Y and radius in metres (or\n"
           "                  radii RX,RY); may be repeated\n"
           "  --shadows       clouds cast shadows south-east of them\n"
           "  --state         also write the day's 1 km tile (grid MODIS_Grid_1km_2D, state_1km_1\n"
           "                  and the other 1 km fields) agreeing with the tile's clouds and\n"
           "                  shadows; the size must be divisible by 4\n";
}

// X,Y,RADIUS,CHANGE or X,Y,RX,RY,CHANGE.
bool parseAnomaly(const std::string &s, Anomaly *anomaly) {
    std::vector<double> numbers;
    size_t start = 0;
    while (true) {
        const size_t comma = s.find(',', start);
        const std::string part =
            s.substr(start, comma == std::string::npos ? comma : comma - start);
        char *end = nullptr;
        const double number = std::strtod(part.c_str(), &end);
        if (part.empty() || *end != '\0' || !std::isfinite(number)) {
            return false;
        }
        numbers.push_back(number);
        if (comma == std::string::npos) {
            break;
        }
        start = comma + 1;
    }
    if (numbers.size() != 4 && numbers.size() != 5) {
        return false;
    }
    const bool disc = numbers.size() == 4;
    *anomaly = Anomaly{numbers[0], numbers[1], numbers[2], numbers[disc ? 2 : 3], numbers.back()};
    return anomaly->radiusX > 0 && anomaly->radiusY > 0 && anomaly->change >= -1 &&
           anomaly->change <= 1;
}

bool parseInt(const std::string &s, long long low, long long high, long long *value) {
    char *end = nullptr;
    errno = 0;
    const long long v = std::strtoll(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

} // namespace

const std::vector<FieldDescription> &productFields() {
    static const std::vector<FieldDescription> fields = makeProductFields();
    return fields;
}

veg::grid::GridGeometry tileGeometry(int horizontal, int vertical, int columns, int rows) {
    veg::grid::GridGeometry g;
    g.columns = columns;
    g.rows = rows;
    g.upperLeft = {kGridWestX + horizontal * kTileSize, kGridNorthY - vertical * kTileSize};
    g.lowerRight = {g.upperLeft[0] + kTileSize, g.upperLeft[1] - kTileSize};
    g.projectionCode = 16; // sinusoidal
    g.zoneCode = -1;
    g.sphereCode = -1; // the sphere is given by its radius
    g.projectionParameters = {};
    g.projectionParameters[0] = kSphereRadius;
    g.originCode = 0; // upper left
    return g;
}

double anomalyWeight(const Anomaly &anomaly, double x, double y) {
    const double dx = (x - anomaly.x) / anomaly.radiusX, dy = (y - anomaly.y) / anomaly.radiusY;
    return smoothstep(1.0, 0.8, std::sqrt(dx * dx + dy * dy));
}

namespace {

CellValues cellWith(double x, double y, const TileSpec &tileSpec, TileCache &cache) {
    const uint64_t salt = mix(tileSpec.seed);
    const uint64_t daySalt =
        mix(salt ^ (static_cast<uint64_t>(tileSpec.year) * 400 + tileSpec.dayOfYear));
    CellValues v;
    const uint64_t cellHash = hashOf(static_cast<int64_t>(std::floor(x / 50.0)),
                                     static_cast<int64_t>(std::floor(y / 50.0)), daySalt);

    // The day's swaths run nearly north-south, one orbit apart (closer towards the poles); a thin
    // strip between neighbouring swaths has no observation.
    const Swath swath = swathAt(x, y, daySalt);
    if (swath.across < kSwathGap) {
        v.numObservations = 0;
        v.red = v.nir = kReflectanceFill;
        v.qc = kQcFill;
        v.obscov = -1;
        v.iobsRes = 255;
        v.orbitPointer = -1;
        v.granulePointer = 255;
        v.sky = kSkyGap;
        return v;
    }
    fillObservation(swath, x, y, cellHash, daySalt, &v);
    v.scan = static_cast<float>(swath.scan);
    const double jitter = unitOf(mix(cellHash)) - 0.5;

    // Land: greenness of the local mix of land-cover classes, the vigour of the place, the year's
    // conditions and the requested anomalies.
    const double green = std::min(1.0, landGreenness(x, y, salt, tileSpec, cache));
    const double ndvi = std::min(0.92, std::max(0.05, green + 0.03 * jitter));
    const double landNir = 0.18 + 0.32 * green + 0.02 * jitter;
    const double landRed = landNir * (1 - ndvi) / (1 + ndvi);
    // Lakes and rivers, dark and darker in the near infrared; cells on their shores mix both.
    const double water = smoothstep(0.33, 0.27, fractalNoise(x, y, 60000.0, salt + 1, cache.water));
    double red = landRed + (0.04 + 0.01 * jitter - landRed) * water;
    double nir = landNir + (0.02 + 0.01 * jitter - landNir) * water;
    uint16_t qc =
        water > 0.5 ? kQcAtmosphericCorrection : kQcAtmosphericCorrection | kQcAdjacencyCorrection;
    // Near the swath's edges the view is oblique: less than ideal quality.
    if (swath.scan > 0.9) {
        qc |= kQcLessThanIdeal;
    }

    // Clouds drift with the day; their share follows the requested cover roughly. Overcast
    // regions add thick cloud; with shadows, each cloud darkens the land a little south-east of it.
    const double threshold = 0.5 + 0.42 * (0.5 - std::min(1.0, std::max(0.0, tileSpec.cloudCover)));
    const auto thicknessAt = [&](double cx, double cy, LatticeSquare(&squares)[4]) {
        double t = 0;
        const double cloud =
            fractalNoise(cx + tileSpec.dayOfYear * 37000.0, cy, 25000.0, daySalt + 4, squares);
        if (tileSpec.cloudCover > 0 && cloud > threshold) {
            t = std::min(1.0, (cloud - threshold) * 12);
        }
        for (const Overcast &o : tileSpec.overcast) {
            t = std::max(t, anomalyWeight(Anomaly{o.x, o.y, o.radiusX, o.radiusY, 0}, cx, cy));
        }
        return t;
    };
    v.sky = water > 0.5 ? kSkyWater : 0;
    const double thickness = thicknessAt(x, y, cache.cloud);
    if (thickness <= 0 && tileSpec.shadows &&
        thicknessAt(x - kShadowOffsetX, y - kShadowOffsetY, cache.shadow) > 0.2) {
        red *= 0.7;
        nir *= 0.45;
        v.sky |= kSkyShadow;
    }
    if (thickness > 0) {
        v.sky |= thickness < 0.5 ? kSkyCloud : kSkyCloud | kSkyThick;
        const double top = 0.45 + 0.25 * thickness;
        red = red + (top - red) * thickness;
        nir = nir + (top + 0.03 - nir) * thickness;
        qc = static_cast<uint16_t>((qc & 0xFFF0) | (thickness < 0.5 ? kQcMixedCloud : kQcCloudy));
        if (thickness > 0.95) {
            // Under thick cloud the atmosphere cannot be corrected in either band.
            qc = static_cast<uint16_t>((qc & 0xF000) | kQcBandsCloudFailed | kQcCloudyState |
                                       kQcCloudEffects);
        }
    }
    v.red = reflectance(red);
    v.nir = reflectance(nir);
    v.qc = qc;
    return v;
}

} // namespace

CellValues cellAt(double x, double y, const TileSpec &tileSpec) {
    TileCache cache(tileSpec);
    return cellWith(x, y, tileSpec, cache);
}

bool writeTile(const std::string &path, const TileSpec &tileSpec, std::string *message,
               const std::string &statePath) {
    const veg::grid::GridGeometry g =
        tileGeometry(tileSpec.horizontal, tileSpec.vertical, tileSpec.columns, tileSpec.rows);
    const std::optional<size_t> cells =
        veg::grid::checkedCellCount(tileSpec.columns, tileSpec.rows, 2);
    if (!cells || tileSpec.columns <= 0 || tileSpec.rows <= 0) {
        *message = "bad tile size";
        return false;
    }
    const size_t n = static_cast<size_t>(tileSpec.columns) * static_cast<size_t>(tileSpec.rows);
    using veg::grid::allocateCells;
    const std::unique_ptr<int8_t[]> numObservations = allocateCells<int8_t>(n),
                                    obscov = allocateCells<int8_t>(n),
                                    orbitPointer = allocateCells<int8_t>(n);
    const std::unique_ptr<int16_t[]> red = allocateCells<int16_t>(n),
                                     nir = allocateCells<int16_t>(n);
    const std::unique_ptr<uint16_t[]> qc = allocateCells<uint16_t>(n);
    const std::unique_ptr<uint8_t[]> iobsRes = allocateCells<uint8_t>(n),
                                     granulePointer = allocateCells<uint8_t>(n);
    const bool withState = !statePath.empty();
    if (withState && (tileSpec.columns % 4 != 0 || tileSpec.rows % 4 != 0)) {
        *message = "the 1 km tile needs columns and rows divisible by 4";
        return false;
    }
    const std::unique_ptr<uint8_t[]> sky = allocateCells<uint8_t>(withState ? n : 1),
                                     scan = allocateCells<uint8_t>(withState ? n : 1);
    if (!numObservations || !obscov || !orbitPointer || !red || !nir || !qc || !iobsRes ||
        !granulePointer || !sky || !scan) {
        *message = "not enough memory";
        return false;
    }
    const double cellWidth = kTileSize / tileSpec.columns, cellHeight = kTileSize / tileSpec.rows;
    TileCache cache(tileSpec);
    for (int r = 0; r < tileSpec.rows; ++r) {
        const double y = g.upperLeft[1] - (r + 0.5) * cellHeight;
        for (int c = 0; c < tileSpec.columns; ++c) {
            const double x = g.upperLeft[0] + (c + 0.5) * cellWidth;
            const CellValues v = cellWith(x, y, tileSpec, cache);
            const size_t i = static_cast<size_t>(r) * tileSpec.columns + c;
            numObservations[i] = v.numObservations;
            red[i] = v.red;
            nir[i] = v.nir;
            qc[i] = v.qc;
            obscov[i] = v.obscov;
            iobsRes[i] = v.iobsRes;
            orbitPointer[i] = v.orbitPointer;
            granulePointer[i] = v.granulePointer;
            if (withState) {
                sky[i] = v.sky;
                scan[i] = static_cast<uint8_t>(std::lround(v.scan * 250));
            }
        }
    }
    veg::grid::ProductTarget target{path, veg::grid::kGridName,
                                    g,    "YDim,XDim",
                                    {},   veg::grid::Edge{tileSpec.rows, tileSpec.columns}};
    target.layout.compression =
        tileSpec.compressed ? veg::grid::Compression::Deflate9 : veg::grid::Compression::None;
    for (const FieldDescription &f : productFields()) {
        target.layout.fields.push_back(
            veg::grid::FieldLayout{f.name, f.numberType, f.attributes, false});
    }
    const bool written =
        veg::grid::writeProduct(
            target, {veg::grid::cellsOf(numObservations.get(), n), veg::grid::cellsOf(red.get(), n),
                     veg::grid::cellsOf(nir.get(), n), veg::grid::cellsOf(qc.get(), n),
                     veg::grid::cellsOf(obscov.get(), n), veg::grid::cellsOf(iobsRes.get(), n),
                     veg::grid::cellsOf(orbitPointer.get(), n),
                     veg::grid::cellsOf(granulePointer.get(), n)})
            .ok();
    if (!written) {
        *message = "cannot write the file";
        return false;
    }
    if (withState && !writeStateTile(statePath, tileSpec,
                                     FineCells{sky.get(), scan.get(), numObservations.get(),
                                               orbitPointer.get(), granulePointer.get()})) {
        *message = "cannot write the 1 km tile " + statePath;
        return false;
    }
    return true;
}

bool parseArguments(const veg::cli::Args &args, TileOptions &options, std::ostream &err) {
    const std::string name = args.empty() ? "modis-tilegen" : args[0];
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        const bool hasValue = i + 1 < args.size();
        long long value = 0;
        if (a == "--no-season") {
            options.tileSpec.seasonal = false;
        } else if (a == "--uncompressed") {
            options.tileSpec.compressed = false;
        } else if (a == "--shadows") {
            options.tileSpec.shadows = true;
        } else if (a == "--state" && hasValue) {
            options.statePath = args[++i];
        } else if (a == "--overcast" && hasValue) {
            Anomaly region;
            if (!parseAnomaly(args[++i] + ",0", &region)) {
                err << name << ": bad overcast '" << args[i]
                    << "' (X,Y,RADIUS or X,Y,RX,RY; radii above 0)\n";
                return false;
            }
            options.tileSpec.overcast.push_back(
                Overcast{region.x, region.y, region.radiusX, region.radiusY});
        } else if (a == "--tile" && hasValue) {
            int h = -1, v = -1;
            char tail = 0;
            if (std::sscanf(args[++i].c_str(), "h%2dv%2d%c", &h, &v, &tail) != 2 || h < 0 ||
                h >= kHorizontalTiles || v < 0 || v >= kVerticalTiles) {
                err << name << ": bad tile '" << args[i] << "' (hXXvYY, h 00..35, v 00..17)\n";
                return false;
            }
            options.tileSpec.horizontal = h;
            options.tileSpec.vertical = v;
        } else if (a == "--date" && hasValue) {
            options.date = args[++i];
        } else if (a == "--size" && hasValue) {
            const std::string s = args[++i];
            const size_t x = s.find('x');
            long long columns = 0, rows = 0;
            if (!parseInt(s.substr(0, x), 1, 1000000, &columns) ||
                !parseInt(x == std::string::npos ? s : s.substr(x + 1), 1, 1000000, &rows)) {
                err << name << ": bad size '" << s << "' (COLUMNSxROWS or N)\n";
                return false;
            }
            options.tileSpec.columns = static_cast<int>(columns);
            options.tileSpec.rows = static_cast<int>(rows);
        } else if (a == "--seed" && hasValue) {
            if (!parseInt(args[++i], 0, 4294967295LL, &value)) {
                err << name << ": bad seed '" << args[i] << "'\n";
                return false;
            }
            options.tileSpec.seed = static_cast<uint32_t>(value);
        } else if (a == "--clouds" && hasValue) {
            char *end = nullptr;
            const double share = std::strtod(args[++i].c_str(), &end);
            if (args[i].empty() || *end != '\0' || !(share >= 0 && share <= 1)) {
                err << name << ": bad cloud share '" << args[i] << "' (0..1)\n";
                return false;
            }
            options.tileSpec.cloudCover = share;
        } else if (a == "--anomaly" && hasValue) {
            Anomaly anomaly;
            if (!parseAnomaly(args[++i], &anomaly)) {
                err << name << ": bad anomaly '" << args[i]
                    << "' (X,Y,RADIUS,CHANGE or X,Y,RX,RY,CHANGE; radii above 0, change -1..1)\n";
                return false;
            }
            options.tileSpec.anomalies.push_back(anomaly);
        } else if (!a.empty() && a[0] != '-' && options.output.empty()) {
            options.output = a;
        } else {
            printUsage(name, err);
            return false;
        }
    }
    if (options.output.empty()) {
        printUsage(name, err);
        return false;
    }
    return true;
}

int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err) {
    const std::string name = args.empty() ? "modis-tilegen" : args[0];
    TileOptions options;
    if (!parseArguments(args, options, err)) {
        return veg::cli::kExitUsage;
    }
    TileSpec &tileSpec = options.tileSpec;
    const std::string &output = options.output;
    const std::string &date = options.date;
    int year = 0, month = 0, day = 0;
    char tail = 0;
    if (std::sscanf(date.c_str(), "%4d.%2d.%2d%c", &year, &month, &day, &tail) != 3 ||
        date.size() != 10 || !validDate(year, month, day, &tileSpec.dayOfYear)) {
        err << name << ": bad date '" << date << "' (yyyy.mm.dd)\n";
        return veg::cli::kExitUsage;
    }
    tileSpec.year = year;
    std::string message;
    if (!writeTile(output, tileSpec, &message, options.statePath)) {
        err << name << ": " << output << ": " << message << "\n";
        return veg::cli::kExitFailure;
    }
    char tile[16];
    std::snprintf(tile, sizeof tile, "h%02dv%02d", tileSpec.horizontal, tileSpec.vertical);
    out << "Wrote " << output << ": tile " << tile << ", " << tileSpec.columns << "x"
        << tileSpec.rows << " cells, " << date << " (day " << tileSpec.dayOfYear << ")\n";
    if (!options.statePath.empty()) {
        out << "Wrote " << options.statePath << ": its 1 km tile, " << tileSpec.columns / 4 << "x"
            << tileSpec.rows / 4 << " cells\n";
    }
    return veg::cli::kExitSuccess;
}

} // namespace veg::modis_tilegen
