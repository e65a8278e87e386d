// MODIS-like daily 250 m surface-reflectance tiles for demos, tests and benchmarks: the sinusoidal
// tile grid, the eight fields of the daily product with their attributes, and deterministic
// landscapes (vegetation patterns, a seasonal cycle, water, clouds and observation gaps).
#pragma once

#include "gridio.h"
#include "program.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace veg::modis_tilegen {

// Sphere radius of the sinusoidal tile grid, in metres.
constexpr double kSphereRadius = 6371007.181;
// The grid of 36 x 18 tiles spans x -20015109.354..20015109.354, y -10007554.677..10007554.677.
constexpr double kGridWestX = -20015109.354;
constexpr double kGridNorthY = 10007554.677;
constexpr double kTileSize = 2 * 20015109.354 / 36; // 1111950.5196666... m

constexpr int kHorizontalTiles = 36;
constexpr int kVerticalTiles = 18;

// A region whose vegetation is greener or less green than usual on the days it is given for: an
// ellipse in projection coordinates (metres). Greenness is scaled by 1 + change inside 0.8 of the
// radii and returns to normal at the edge.
struct Anomaly {
    double x = 0, y = 0;             // centre
    double radiusX = 0, radiusY = 0; // semi-axes, above 0
    double change = 0;               // relative change of greenness, -1..1 (-0.4: 40 % less green)
};

// A region under thick cloud on the days it is given for: an ellipse in projection coordinates
// (metres), thick inside 0.8 of the radii and thinning to its edge.
struct Overcast {
    double x = 0, y = 0;
    double radiusX = 0, radiusY = 0;
};

// What to generate.
struct TileSpec {
    int horizontal = 18; // hXX, 0..35
    int vertical = 4;    // vYY, 0..17
    int columns = 4800;
    int rows = 4800;
    int year = 2020;
    int dayOfYear = 208;      // 1..366, drives the season and the day's clouds
    bool seasonal = true;     // false: every field at its peak of greenness
    double cloudCover = 0.15; // share of the tile under cloud, roughly, 0..1
    uint32_t seed = 1;
    bool compressed = true; // deflate, as in the distributed product
    std::vector<Anomaly> anomalies;
    std::vector<Overcast> overcast;
    bool shadows = false; // clouds cast shadows (off keeps the tiles of earlier versions)
};

// How much of an anomaly's change applies at (x, y): 1 inside 0.8 of the radii, 0 outside them.
double anomalyWeight(const Anomaly &anomaly, double x, double y);

// Geometry of tile hXXvYY divided into columns x rows cells: sinusoidal projection on the sphere,
// corners of the real tile grid, upper-left origin.
veg::grid::GridGeometry tileGeometry(int horizontal, int vertical, int columns, int rows);

// One cell's values in the product's number types.
struct CellValues {
    int8_t numObservations = 0;
    int16_t red = 0;
    int16_t nir = 0;
    uint16_t qc = 0;
    int8_t obscov = 0;
    uint8_t iobsRes = 0;
    int8_t orbitPointer = 0;
    uint8_t granulePointer = 0;
    // What the 1 km state of the cell derives from: kSky* flags and the position across the
    // swath (0 at nadir, 1 at its edges).
    uint8_t sky = 0;
    float scan = 0;
};

inline constexpr uint8_t kSkyCloud = 1;  // under cloud
inline constexpr uint8_t kSkyThick = 2;  // under cloud of at least half the full thickness
inline constexpr uint8_t kSkyShadow = 4; // in a cloud's shadow
inline constexpr uint8_t kSkyGap = 8;    // no observation
inline constexpr uint8_t kSkyWater = 16; // mostly water

// The cell whose centre lies at projection coordinates (x, y). Depends only on (x, y), the day,
// the season switch, the cloud cover, the anomalies and the seed, so neighbouring tiles join
// without seams. The observation fields follow the day's swaths: the orbit pointer is constant
// along a swath, the granule pointer within a granule of it, and the observation count and
// coverage follow the position across the swath.
CellValues cellAt(double x, double y, const TileSpec &tileSpec);

// The fields of a tile in product order, with their number types and attributes.
struct FieldDescription {
    std::string name;
    int32_t numberType;
    std::vector<veg::grid::Attribute> attributes;
};
const std::vector<FieldDescription> &productFields();

// Writes the tile to `path` (replaced if it exists), and when `statePath` is not empty the day's
// 1 km tile beside it (statetile.h). False when either cannot be written; `message` then says why.
bool writeTile(const std::string &path, const TileSpec &tileSpec, std::string *message,
               const std::string &statePath = "");

// The command line: what to generate, the output path and the date text (checked by run).
struct TileOptions {
    TileSpec tileSpec;
    std::string output;
    std::string statePath; // --state: the 1 km tile with the state of the same cells
    std::string date = "2020.07.26";
};

// Options from the command line; false, after the complaint or the usage text on `err`, when an
// option or its value cannot be used or no output path is given.
bool parseArguments(const veg::cli::Args &args, TileOptions &options, std::ostream &err);

// Runs the program (args[0] is the invocation name): the line naming the tile written on `out`,
// usage and failures on `err`. Returns 0 when the tile was written, 1 when it could not be written
// and 2 for arguments it cannot use.
int run(const veg::cli::Args &args, std::ostream &out, std::ostream &err);

} // namespace veg::modis_tilegen
