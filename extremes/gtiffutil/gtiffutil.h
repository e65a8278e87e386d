// GeoTIFF helpers: the TIFF tags and GeoTIFF keys that place a raster on the map, as plain records
// that can be read from one file, printed, copied and written into another; a default Albers
// equal-area setting for the conterminous United States; row writers; extent comparisons.
//
// Opening and closing files and GeoTIFF handles is the caller's business. Files must be opened with
// XTIFFOpen (or through openGeoTiff below) so that libtiff knows the GeoTIFF tags; keys set on a
// GTIF handle reach the file only when the caller runs GTIFWriteKeys before closing it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include <geotiffio.h>
#include <tiffio.h>
#include <xtiffio.h>

namespace veg::gtiffutil {

// Directory of a striped image. Readers fill the fields whose tags are present; fields with a
// default take it when the tag is absent, the others keep what the caller put there.
struct TIFFDir4StripP {
    uint32_t imageWidth = 0;
    uint32_t imageLength = 0;
    uint16_t compression = 0; // default 1 (none)
    uint16_t photometric = 0;
    uint16_t planarConfig = 0;    // default 1 (contiguous)
    uint16_t bitsPerSample = 0;   // default 1
    uint16_t samplesPerPixel = 0; // default 1
    uint16_t sampleFormat = 0;    // default 1 (unsigned integer)
    uint32_t rowsPerStrip = 0;    // default 4294967295 (the whole image in one strip)
    double geoTiePoints[6] = {};  // one tie point: raster I, J, K, then model X, Y, Z
    double geoPixScale[3] = {};   // pixel size in X, Y and Z
};

// Directory of a tiled image: the first eight fields of the striped form, then the tile size.
struct TIFFDir4TileP {
    uint32_t imageWidth = 0;
    uint32_t imageLength = 0;
    uint16_t compression = 0;
    uint16_t photometric = 0;
    uint16_t planarConfig = 0;
    uint16_t bitsPerSample = 0;
    uint16_t samplesPerPixel = 0;
    uint16_t sampleFormat = 0;
    uint32_t tileWidth = 0;  // kept as it was when the tag is absent
    uint32_t tileLength = 0; // kept as it was when the tag is absent
    double geoTiePoints[6] = {};
    double geoPixScale[3] = {};
};

// Directory without strip or tile layout.
struct TIFFDir4P {
    uint32_t imageWidth = 0;
    uint32_t imageLength = 0;
    uint16_t compression = 0;
    uint16_t photometric = 0;
    uint16_t planarConfig = 0;
    uint16_t bitsPerSample = 0;
    uint16_t samplesPerPixel = 0;
    uint16_t sampleFormat = 0;
    double geoTiePoints[6] = {};
    double geoPixScale[3] = {};
};

// Size of the two citation buffers of GTIFKeys, the terminating zero included.
constexpr size_t kCitationSize = 1024;

// The geokeys of a projected or geographic raster. Citations are zero-terminated texts.
struct GTIFKeys {
    uint16_t modelType = 0;
    uint16_t rasterType = 0;
    char citation[kCitationSize] = {};
    uint16_t geographicType = 0;
    char geogCitation[kCitationSize] = {};
    uint16_t projectedCSType = 0;
    uint16_t projection = 0;
    uint16_t projCoordTrans = 0;
    uint16_t projLinearUnits = 0;
    double projStdParallel1 = 0;
    double projStdParallel2 = 0;
    // Read from ProjCenterLongGeoKey when ProjNatOriginLongGeoKey is absent.
    double projNatOriginLong = 0;
    double projNatOriginLat = 0;
    double projFalseEasting = 0;
    double projFalseNorthing = 0;
};

// 1 if the file at path opens for reading (it is closed again), else 0.
int FileExists(const char *path);

// Prints the model coordinates of the image corner (0, 0) and their conversion back to the image.
// Returns 0, or -1 as soon as a conversion fails.
int printBB(GTIF *gtif, FILE *out = stdout);

// Read the directory of the current image into dir. Return 1 (0 only for a null handle).
int getTIFFDirectory(TIFF *tif, TIFFDir4StripP &dir);
int getTIFFDirectory(TIFF *tif, TIFFDir4TileP &dir);
int getTIFFDirectory(TIFF *tif, TIFFDir4P &dir);

// Sets the tags of dir on a file open for writing, tie point and pixel scale last.
void setTIFFDirectory(TIFF *tif, TIFFDir4StripP dir);
// Prints dir, one tag per line.
void showTIFFDirectory(TIFFDir4StripP dir, FILE *out = stdout);
// to = from, field by field. Returns 0.
int copyTIFFDirectory(TIFFDir4StripP &to, TIFFDir4StripP from);
// The directory of the default national grid: 36030 x 16841 cells of about 231.65 m, LZW, one row
// per strip, upper-left corner (-3923692.75, 4132737.27). Its Y pixel scale is negative; GDAL reads
// such files as north-up grids all the same. samplesPerPixel and sampleFormat keep what the caller
// put there.
void setTIFFDirectoryforpeltabydefault(TIFFDir4StripP &dir);

// Reads the keys of GTIFKeys; absent keys (and keys stored with another type) leave their fields as
// they were. Citations longer than their buffer are cut. Returns 1 (0 only for a null handle).
int getGeoKeys(GTIF *gtif, GTIFKeys &keys);
// Sets every key of keys on gtif.
void setGeoKeys(GTIF *gtif, GTIFKeys keys);
// Prints keys, one line per key.
void showGeoKeys(GTIFKeys keys, FILE *out = stdout);
// to = from, field by field; citations are always terminated.
void copyGeoKeys(GTIFKeys &to, GTIFKeys from);
// Sets the default Albers equal-area setting (NAD83, parallels 29.5 and 45.5, origin 23N 96W).
void setGeoKeysSRORG6630(GTIF *gtif);
// Stores the same default Albers setting in keys.
void setGeoKeysSRORG6630forpeltabydefault(GTIFKeys &keys);
// Sets a geographic example on a user-defined ellipsoid.
void setGeoKeysExampleGeog1(GTIF *gtif);

// Writes rows of zero bytes; a row is never shorter than the file's scanline. A failed row is
// reported through TIFFError and the next one follows. Throws when the row cannot be allocated.
void writeBlankImageByStrip(TIFF *tif, size_t bytesPerRow, uint32_t rows);
// Writes rows from image, row r taken from the r-th slice of TIFFScanlineSize bytes; image must
// hold rows such slices and is never modified. A failed row is reported through TIFFError.
void writeImageScanlineByStripForWhole(TIFF *tif, const void *image, uint32_t rows);

// 1 when the two settings place rasters on the same projection; citations, the projected CS type
// and the projection code are not compared. Doubles match within 1e-13.
int isProjCompatible(GTIFKeys keys1, GTIFKeys keys2);
// 1 when image 1 covers image 2, judged by the corners of image 2 in pixels of image 1, else 0.
// Image 2 may start up to half a pixel before image 1. A corner that cannot be converted (no tie
// point or scale) counts as not covered. The key records are not consulted.
int isBoundingBox1Contains2(GTIF *gtif1, GTIFKeys keys1, uint32_t width1, uint32_t height1,
                            GTIF *gtif2, GTIFKeys keys2, uint32_t width2, uint32_t height2);
// Area shared by rectangles 1 and 2 (0 when disjoint or touching).
double getRectangleOverlap(double xMin1, double yMin1, double xMax1, double yMax1, double xMin2,
                           double yMin2, double xMax2, double yMax2);
// The shared area as a share of the area of rectangle 1. When that area is below 1e-13: -1 if the
// shared area is at least 1e-13, else the shared area.
double getRectangleOverlapRatio(double xMin1, double yMin1, double xMax1, double yMax1,
                                double xMin2, double yMin2, double xMax2, double yMax2);
// Index (from 0) of the first largest of count values, or -1 when none is above -1e308.
int64_t maxDoubleIndex(const double *values, size_t count);

// Owners of the handles, for callers that open files themselves.
struct TiffCloser {
    void operator()(TIFF *tif) const noexcept;
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;
struct GtifFreer {
    void operator()(GTIF *gtif) const noexcept;
};
using GtifHandle = std::unique_ptr<GTIF, GtifFreer>;

// Opens path with the GeoTIFF tags known to libtiff (mode as for TIFFOpen); empty on failure.
TiffHandle openGeoTiff(const char *path, const char *mode);
// Flushes and closes a file open for writing; true when everything reached the file.
bool closeGeoTiff(TiffHandle &tif);

} // namespace veg::gtiffutil
