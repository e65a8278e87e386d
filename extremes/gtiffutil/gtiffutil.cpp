// GeoTIFF helpers: TIFF directories and GeoTIFF keys as plain records, row writers, extent checks.
#include "gtiffutil.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace veg::gtiffutil {

namespace {

// Values that stand for an absent tag.
constexpr uint16_t kDefaultCompression = 1;
constexpr uint16_t kDefaultPlanarConfig = 1;
constexpr uint16_t kDefaultBitsPerSample = 1;
constexpr uint16_t kDefaultSamplesPerPixel = 1;
constexpr uint16_t kDefaultSampleFormat = 1;
constexpr uint32_t kDefaultRowsPerStrip = 4294967295u;

constexpr size_t kTiePointValues = 6;
constexpr size_t kPixScaleValues = 3;

// Tolerance of isProjCompatible and of the area tests of getRectangleOverlapRatio.
constexpr double kTolerance = 1e-13;

// Module and text of the message for a row that could not be written.
constexpr const char *kWriteModule = "WriteImage";
constexpr const char *kWriteFailure = "failure in WriteScanline\n";

// The default Albers equal-area setting for the conterminous United States.
constexpr const char *kAlbersCitation = "SR-ORG:6630 or SR-ORG:6703 ESRI:102003";
constexpr const char *kAlbersGeogCitation = "GCS_NAD83";
constexpr uint16_t kModelProjected = 1;
constexpr uint16_t kModelGeographic = 2;
constexpr uint16_t kPixelIsArea = 1;
constexpr uint16_t kNad83 = 4269;
constexpr uint16_t kUserDefined = 32767;
constexpr uint16_t kAlbersEqualArea = 11;
constexpr uint16_t kMetre = 9001;
constexpr uint16_t kDegree = 9102;
constexpr double kAlbersStdParallel1 = 29.5;
constexpr double kAlbersStdParallel2 = 45.5;
constexpr double kAlbersOriginLong = -96.0;
constexpr double kAlbersOriginLat = 23.0;

// The default national grid in that setting.
constexpr uint32_t kNationalWidth = 36030;
constexpr uint32_t kNationalLength = 16841;
constexpr uint16_t kLzw = 5;
constexpr uint16_t kMinIsBlack = 1;
constexpr uint16_t kContiguous = 1;
constexpr uint16_t kByteSamples = 8;
constexpr double kNationalTiePoint[kTiePointValues] = {
    0, 0, 0, -3923692.746950168, 4132737.271909759, 0};
constexpr double kNationalPixScale[kPixScaleValues] = {231.65211110336315, -231.66288347127522, 0};

// The geographic example on a user-defined ellipsoid.
constexpr const char *kExampleCitation = "Just An Example";
constexpr const char *kExampleGeogCitation = "Everest Ellipsoid Used.";
constexpr uint16_t kEverest1830Modified = 7016;
constexpr double kExampleSemiMajorAxis = 6377298.556;
constexpr double kExampleInvFlattening = 300.8017;

template <typename T> void fetchTag(TIFF *tif, uint32_t tag, T &field) {
    T value{};
    if (TIFFGetField(tif, tag, &value) == 1) {
        field = value;
    }
}

template <typename T> void fetchTagOr(TIFF *tif, uint32_t tag, T &field, T absent) {
    T value{};
    field = TIFFGetField(tif, tag, &value) == 1 ? value : absent;
}

// Copies at most `capacity` values of a counted array of doubles into dest; dest keeps its values
// when the tag is absent or is not held as doubles. The width of the count that libtiff hands back
// depends on how the tag was registered (by libgeotiff, or from the file for an unknown tag).
void fetchDoubles(TIFF *tif, uint32_t tag, double *dest, size_t capacity) {
    const TIFFField *field = TIFFFindField(tif, tag, TIFF_ANY);
    if (field == nullptr || !TIFFFieldPassCount(field) || TIFFFieldDataType(field) != TIFF_DOUBLE) {
        return;
    }
    const double *values = nullptr;
    size_t count = 0;
    const int countSize = TIFFFieldSetGetCountSize(field);
    if (countSize == 2) {
        uint16_t n = 0;
        if (TIFFGetField(tif, tag, &n, &values) != 1) {
            return;
        }
        count = n;
    } else if (countSize == 4) {
        uint32_t n = 0;
        if (TIFFGetField(tif, tag, &n, &values) != 1) {
            return;
        }
        count = n;
    } else {
        return;
    }
    if (values != nullptr) {
        std::copy_n(values, std::min(count, capacity), dest);
    }
}

// The tags shared by the three directory forms, before the layout tags.
template <typename Dir> void fetchCommonTags(TIFF *tif, Dir &dir) {
    fetchTag(tif, TIFFTAG_IMAGEWIDTH, dir.imageWidth);
    fetchTag(tif, TIFFTAG_IMAGELENGTH, dir.imageLength);
    fetchTagOr(tif, TIFFTAG_COMPRESSION, dir.compression, kDefaultCompression);
    fetchTag(tif, TIFFTAG_PHOTOMETRIC, dir.photometric);
    fetchTagOr(tif, TIFFTAG_PLANARCONFIG, dir.planarConfig, kDefaultPlanarConfig);
    fetchTagOr(tif, TIFFTAG_BITSPERSAMPLE, dir.bitsPerSample, kDefaultBitsPerSample);
    fetchTagOr(tif, TIFFTAG_SAMPLESPERPIXEL, dir.samplesPerPixel, kDefaultSamplesPerPixel);
    fetchTagOr(tif, TIFFTAG_SAMPLEFORMAT, dir.sampleFormat, kDefaultSampleFormat);
}

template <typename Dir> void fetchGeoTags(TIFF *tif, Dir &dir) {
    fetchDoubles(tif, TIFFTAG_GEOTIEPOINTS, dir.geoTiePoints, kTiePointValues);
    fetchDoubles(tif, TIFFTAG_GEOPIXELSCALE, dir.geoPixScale, kPixScaleValues);
}

// A key counts only when it is stored with the type of its field: fetching a key of another type
// would copy more bytes than the field holds.
bool keyHasType(GTIF *gtif, geokey_t key, tagtype_t wanted) {
    int size = 0;
    tagtype_t type = TYPE_UNKNOWN;
    return GTIFKeyInfo(gtif, key, &size, &type) >= 1 && type == wanted;
}

void fetchShortKey(GTIF *gtif, geokey_t key, uint16_t &field) {
    unsigned short value = 0;
    if (keyHasType(gtif, key, TYPE_SHORT) && GTIFKeyGet(gtif, key, &value, 0, 1) == 1) {
        field = value;
    }
}

bool fetchDoubleKey(GTIF *gtif, geokey_t key, double &field) {
    double value = 0;
    if (keyHasType(gtif, key, TYPE_DOUBLE) && GTIFKeyGet(gtif, key, &value, 0, 1) == 1) {
        field = value;
        return true;
    }
    return false;
}

// The length reported for a text key counts its terminator; it is capped so that the text and
// its terminator fit the buffer.
void fetchCitationKey(GTIF *gtif, geokey_t key, char (&field)[kCitationSize]) {
    int size = 0;
    tagtype_t type = TYPE_UNKNOWN;
    int length = GTIFKeyInfo(gtif, key, &size, &type);
    if (length <= 0 || type != TYPE_ASCII) {
        return;
    }
    length = std::min(length, static_cast<int>(kCitationSize) - 1);
    if (GTIFKeyGet(gtif, key, field, 0, length) > 0) {
        field[length - 1] = '\0';
    }
}

// Copies a citation, cut to fit and always terminated.
void copyCitation(char (&to)[kCitationSize], const char (&from)[kCitationSize]) {
    std::strncpy(to, from, kCitationSize);
    to[kCitationSize - 1] = '\0';
}

void setCitationKey(GTIF *gtif, geokey_t key, const char (&citation)[kCitationSize]) {
    char text[kCitationSize];
    copyCitation(text, citation);
    GTIFKeySet(gtif, key, TYPE_ASCII, 0, text);
}

void setShortKey(GTIF *gtif, geokey_t key, uint16_t value) {
    GTIFKeySet(gtif, key, TYPE_SHORT, 1, static_cast<int>(value));
}

void setDoubleKey(GTIF *gtif, geokey_t key, double value) {
    GTIFKeySet(gtif, key, TYPE_DOUBLE, 1, value);
}

void copyInto(char (&to)[kCitationSize], const char *text) {
    std::strncpy(to, text, kCitationSize);
    to[kCitationSize - 1] = '\0';
}

bool sameWithinTolerance(double a, double b) {
    return std::fabs(a - b) <= kTolerance; // false for NaN: an undefined value matches nothing
}

} // namespace

int FileExists(const char *path) {
    if (path == nullptr) {
        return 0;
    }
    FILE *file = std::fopen(path, "r");
    if (file == nullptr) {
        return 0;
    }
    std::fclose(file);
    return 1;
}

int printBB(GTIF *gtif, FILE *out) {
    if (gtif == nullptr) {
        return -1;
    }
    double x = 0;
    double y = 0;
    if (!GTIFImageToPCS(gtif, &x, &y)) {
        return -1;
    }
    std::fprintf(out, "UL corner coordinates: %.5lf, %.5lf\n", x, y);
    if (!GTIFPCSToImage(gtif, &x, &y)) {
        return -1;
    }
    std::fprintf(out, "Inverse(%.5lf,%.5lf)\n", x, y);
    return 0;
}

int getTIFFDirectory(TIFF *tif, TIFFDir4StripP &dir) {
    if (tif == nullptr) {
        return 0;
    }
    fetchCommonTags(tif, dir);
    fetchTagOr(tif, TIFFTAG_ROWSPERSTRIP, dir.rowsPerStrip, kDefaultRowsPerStrip);
    fetchGeoTags(tif, dir);
    return 1;
}

int getTIFFDirectory(TIFF *tif, TIFFDir4TileP &dir) {
    if (tif == nullptr) {
        return 0;
    }
    fetchCommonTags(tif, dir);
    fetchTag(tif, TIFFTAG_TILEWIDTH, dir.tileWidth);
    fetchTag(tif, TIFFTAG_TILELENGTH, dir.tileLength);
    fetchGeoTags(tif, dir);
    return 1;
}

int getTIFFDirectory(TIFF *tif, TIFFDir4P &dir) {
    if (tif == nullptr) {
        return 0;
    }
    fetchCommonTags(tif, dir);
    fetchGeoTags(tif, dir);
    return 1;
}

void setTIFFDirectory(TIFF *tif, TIFFDir4StripP dir) {
    if (tif == nullptr) {
        return;
    }
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, dir.imageWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, dir.imageLength);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, dir.compression);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, dir.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, dir.planarConfig);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, dir.bitsPerSample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, dir.samplesPerPixel);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, dir.sampleFormat);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, dir.rowsPerStrip);
    TIFFSetField(tif, TIFFTAG_GEOTIEPOINTS, static_cast<int>(kTiePointValues), dir.geoTiePoints);
    TIFFSetField(tif, TIFFTAG_GEOPIXELSCALE, static_cast<int>(kPixScaleValues), dir.geoPixScale);
}

void showTIFFDirectory(TIFFDir4StripP dir, FILE *out) {
    std::fprintf(out, "ImageWidth=%u\n", dir.imageWidth);
    std::fprintf(out, "ImageLength=%u\n", dir.imageLength);
    std::fprintf(out, "Compression=%i\n", dir.compression);
    std::fprintf(out, "Photometric=%i\n", dir.photometric);
    std::fprintf(out, "Planarconfig=%i\n", dir.planarConfig);
    std::fprintf(out, "BitsPerSample=%i\n", dir.bitsPerSample);
    std::fprintf(out, "SamplesPerPixel=%i\n", dir.samplesPerPixel);
    std::fprintf(out, "SampleFormat=%u\n", static_cast<unsigned>(dir.sampleFormat));
    std::fprintf(out, "RowsPerStrip=%u\n", dir.rowsPerStrip);
    std::fprintf(out, "GeoTiePoints:\n");
    for (double value : dir.geoTiePoints) {
        std::fprintf(out, "%.5lf ", value);
    }
    std::fprintf(out, "\nGeoPixScale:\n");
    for (double value : dir.geoPixScale) {
        std::fprintf(out, "%.5lf ", value);
    }
    std::fprintf(out, "\n");
}

int copyTIFFDirectory(TIFFDir4StripP &to, TIFFDir4StripP from) {
    to = from;
    return 0;
}

void setTIFFDirectoryforpeltabydefault(TIFFDir4StripP &dir) {
    dir.imageWidth = kNationalWidth;
    dir.imageLength = kNationalLength;
    dir.compression = kLzw;
    dir.photometric = kMinIsBlack;
    dir.planarConfig = kContiguous;
    dir.bitsPerSample = kByteSamples;
    dir.rowsPerStrip = 1;
    std::copy_n(kNationalTiePoint, kTiePointValues, dir.geoTiePoints);
    std::copy_n(kNationalPixScale, kPixScaleValues, dir.geoPixScale);
}

int getGeoKeys(GTIF *gtif, GTIFKeys &keys) {
    if (gtif == nullptr) {
        return 0;
    }
    fetchShortKey(gtif, GTModelTypeGeoKey, keys.modelType);
    fetchShortKey(gtif, GTRasterTypeGeoKey, keys.rasterType);
    fetchCitationKey(gtif, GTCitationGeoKey, keys.citation);
    fetchShortKey(gtif, GeographicTypeGeoKey, keys.geographicType);
    fetchCitationKey(gtif, GeogCitationGeoKey, keys.geogCitation);
    fetchShortKey(gtif, ProjectedCSTypeGeoKey, keys.projectedCSType);
    fetchShortKey(gtif, ProjectionGeoKey, keys.projection);
    fetchShortKey(gtif, ProjCoordTransGeoKey, keys.projCoordTrans);
    fetchShortKey(gtif, ProjLinearUnitsGeoKey, keys.projLinearUnits);
    fetchDoubleKey(gtif, ProjStdParallel1GeoKey, keys.projStdParallel1);
    fetchDoubleKey(gtif, ProjStdParallel2GeoKey, keys.projStdParallel2);
    if (!fetchDoubleKey(gtif, ProjNatOriginLongGeoKey, keys.projNatOriginLong)) {
        fetchDoubleKey(gtif, ProjCenterLongGeoKey, keys.projNatOriginLong);
    }
    fetchDoubleKey(gtif, ProjNatOriginLatGeoKey, keys.projNatOriginLat);
    fetchDoubleKey(gtif, ProjFalseEastingGeoKey, keys.projFalseEasting);
    fetchDoubleKey(gtif, ProjFalseNorthingGeoKey, keys.projFalseNorthing);
    return 1;
}

void setGeoKeys(GTIF *gtif, GTIFKeys keys) {
    if (gtif == nullptr) {
        return;
    }
    setShortKey(gtif, GTModelTypeGeoKey, keys.modelType);
    setShortKey(gtif, GTRasterTypeGeoKey, keys.rasterType);
    setCitationKey(gtif, GTCitationGeoKey, keys.citation);
    setShortKey(gtif, GeographicTypeGeoKey, keys.geographicType);
    setCitationKey(gtif, GeogCitationGeoKey, keys.geogCitation);
    setShortKey(gtif, ProjectedCSTypeGeoKey, keys.projectedCSType);
    setShortKey(gtif, ProjectionGeoKey, keys.projection);
    setShortKey(gtif, ProjCoordTransGeoKey, keys.projCoordTrans);
    setShortKey(gtif, ProjLinearUnitsGeoKey, keys.projLinearUnits);
    setDoubleKey(gtif, ProjStdParallel1GeoKey, keys.projStdParallel1);
    setDoubleKey(gtif, ProjStdParallel2GeoKey, keys.projStdParallel2);
    setDoubleKey(gtif, ProjNatOriginLongGeoKey, keys.projNatOriginLong);
    setDoubleKey(gtif, ProjNatOriginLatGeoKey, keys.projNatOriginLat);
    setDoubleKey(gtif, ProjFalseEastingGeoKey, keys.projFalseEasting);
    setDoubleKey(gtif, ProjFalseNorthingGeoKey, keys.projFalseNorthing);
}

void showGeoKeys(GTIFKeys keys, FILE *out) {
    // A record filled by hand may lack its terminator: never read past the buffer.
    const int citationLength = static_cast<int>(strnlen(keys.citation, kCitationSize));
    const int geogCitationLength = static_cast<int>(strnlen(keys.geogCitation, kCitationSize));
    std::fprintf(out, "GTModelTypeGeoKey, TYPE_SHORT, 1, %-11hd\n", keys.modelType);
    std::fprintf(out, "GTRasterTypeGeoKey, TYPE_SHORT, 1, %-11hd\n", keys.rasterType);
    std::fprintf(out, "GTCitationGeoKey, TYPE_ASCII, %lu, %.*s\n",
                 static_cast<unsigned long>(citationLength), citationLength, keys.citation);
    std::fprintf(out, "GeographicTypeGeoKey, TYPE_SHORT,  1, %-11hd\n", keys.geographicType);
    std::fprintf(out, "GeogCitationGeoKey, TYPE_ASCII, %lu, %.*s\n",
                 static_cast<unsigned long>(geogCitationLength), geogCitationLength,
                 keys.geogCitation);
    std::fprintf(out, "ProjectedCSTypeGeoKey, TYPE_SHORT, 1, %-11hd\n", keys.projectedCSType);
    std::fprintf(out, "ProjectionGeoKey, TYPE_SHORT, 1, %-11hd\n", keys.projection);
    std::fprintf(out, "ProjCoordTransGeoKey, TYPE_SHORT, 1, %-11hd\n", keys.projCoordTrans);
    std::fprintf(out, "ProjLinearUnitsGeoKey, TYPE_SHORT, 1, %-11hd\n", keys.projLinearUnits);
    std::fprintf(out, "ProjStdParallel1GeoKey, TYPE_DOUBLE, 1, %-17.15g\n", keys.projStdParallel1);
    std::fprintf(out, "ProjStdParallel2GeoKey, TYPE_DOUBLE, 1, %-17.15g\n", keys.projStdParallel2);
    std::fprintf(out, "ProjNatOriginLongGeoKey, TYPE_DOUBLE, 1, %-17.15g\n",
                 keys.projNatOriginLong);
    std::fprintf(out, "ProjNatOriginLatGeoKey, TYPE_DOUBLE, 1, %-17.15g\n", keys.projNatOriginLat);
    std::fprintf(out, "ProjFalseEastingGeoKey, TYPE_DOUBLE, 1, %-17.15g\n", keys.projFalseEasting);
    std::fprintf(out, "ProjFalseNorthingGeoKey, TYPE_DOUBLE, 1, %-17.15g\n",
                 keys.projFalseNorthing);
}

void copyGeoKeys(GTIFKeys &to, GTIFKeys from) {
    to.modelType = from.modelType;
    to.rasterType = from.rasterType;
    copyCitation(to.citation, from.citation);
    to.geographicType = from.geographicType;
    copyCitation(to.geogCitation, from.geogCitation);
    to.projectedCSType = from.projectedCSType;
    to.projection = from.projection;
    to.projCoordTrans = from.projCoordTrans;
    to.projLinearUnits = from.projLinearUnits;
    to.projStdParallel1 = from.projStdParallel1;
    to.projStdParallel2 = from.projStdParallel2;
    to.projNatOriginLong = from.projNatOriginLong;
    to.projNatOriginLat = from.projNatOriginLat;
    to.projFalseEasting = from.projFalseEasting;
    to.projFalseNorthing = from.projFalseNorthing;
}

void setGeoKeysSRORG6630forpeltabydefault(GTIFKeys &keys) {
    keys.modelType = kModelProjected;
    keys.rasterType = kPixelIsArea;
    copyInto(keys.citation, kAlbersCitation);
    keys.geographicType = kNad83;
    copyInto(keys.geogCitation, kAlbersGeogCitation);
    keys.projectedCSType = kUserDefined;
    keys.projection = kUserDefined;
    keys.projCoordTrans = kAlbersEqualArea;
    keys.projLinearUnits = kMetre;
    keys.projStdParallel1 = kAlbersStdParallel1;
    keys.projStdParallel2 = kAlbersStdParallel2;
    keys.projNatOriginLong = kAlbersOriginLong;
    keys.projNatOriginLat = kAlbersOriginLat;
    keys.projFalseEasting = 0.0;
    keys.projFalseNorthing = 0.0;
}

void setGeoKeysSRORG6630(GTIF *gtif) {
    GTIFKeys keys;
    setGeoKeysSRORG6630forpeltabydefault(keys);
    setGeoKeys(gtif, keys);
}

void setGeoKeysExampleGeog1(GTIF *gtif) {
    if (gtif == nullptr) {
        return;
    }
    setShortKey(gtif, GTModelTypeGeoKey, kModelGeographic);
    setShortKey(gtif, GTRasterTypeGeoKey, kPixelIsArea);
    GTIFKeySet(gtif, GTCitationGeoKey, TYPE_ASCII, 0, kExampleCitation);
    setShortKey(gtif, GeographicTypeGeoKey, kUserDefined);
    GTIFKeySet(gtif, GeogCitationGeoKey, TYPE_ASCII, 0, kExampleGeogCitation);
    setShortKey(gtif, GeogAngularUnitsGeoKey, kDegree);
    setShortKey(gtif, GeogLinearUnitsGeoKey, kMetre);
    setShortKey(gtif, GeogGeodeticDatumGeoKey, kUserDefined);
    setShortKey(gtif, GeogEllipsoidGeoKey, kEverest1830Modified);
    setDoubleKey(gtif, GeogSemiMajorAxisGeoKey, kExampleSemiMajorAxis);
    setDoubleKey(gtif, GeogInvFlatteningGeoKey, kExampleInvFlattening);
}

void writeBlankImageByStrip(TIFF *tif, size_t bytesPerRow, uint32_t rows) {
    if (tif == nullptr || rows == 0) {
        return;
    }
    // libtiff reads a whole scanline from the row whatever the caller says a row holds.
    const tmsize_t scanline = TIFFScanlineSize(tif);
    const size_t rowSize = std::max<size_t>({bytesPerRow, scanline > 0 ? size_t(scanline) : 0, 1});
    std::vector<unsigned char> row(rowSize, 0);
    for (uint32_t r = 0; r < rows; ++r) {
        if (TIFFWriteScanline(tif, row.data(), r, 0) != 1) {
            TIFFError(kWriteModule, "%s", kWriteFailure);
        }
    }
}

void writeImageScanlineByStripForWhole(TIFF *tif, const void *image, uint32_t rows) {
    if (tif == nullptr || image == nullptr || rows == 0) {
        return;
    }
    const tmsize_t scanline = TIFFScanlineSize(tif);
    if (scanline <= 0) {
        return;
    }
    const size_t rowSize = static_cast<size_t>(scanline);
    // libtiff may byte-swap the row it is given in place; it gets a copy, so the image stays as
    // the caller holds it.
    std::vector<unsigned char> row(rowSize);
    const auto *bytes = static_cast<const unsigned char *>(image);
    for (uint32_t r = 0; r < rows; ++r) {
        std::memcpy(row.data(), bytes + static_cast<size_t>(r) * rowSize, rowSize);
        if (TIFFWriteScanline(tif, row.data(), r, 0) != 1) {
            TIFFError(kWriteModule, "%s", kWriteFailure);
        }
    }
}

int isProjCompatible(GTIFKeys keys1, GTIFKeys keys2) {
    if (keys1.modelType != keys2.modelType || keys1.rasterType != keys2.rasterType ||
        keys1.geographicType != keys2.geographicType ||
        keys1.projCoordTrans != keys2.projCoordTrans ||
        keys1.projLinearUnits != keys2.projLinearUnits) {
        return 0;
    }
    const bool same = sameWithinTolerance(keys1.projStdParallel1, keys2.projStdParallel1) &&
                      sameWithinTolerance(keys1.projStdParallel2, keys2.projStdParallel2) &&
                      sameWithinTolerance(keys1.projNatOriginLong, keys2.projNatOriginLong) &&
                      sameWithinTolerance(keys1.projNatOriginLat, keys2.projNatOriginLat) &&
                      sameWithinTolerance(keys1.projFalseEasting, keys2.projFalseEasting) &&
                      sameWithinTolerance(keys1.projFalseNorthing, keys2.projFalseNorthing);
    return same ? 1 : 0;
}

int isBoundingBox1Contains2(GTIF *gtif1, GTIFKeys /*keys1*/, uint32_t width1, uint32_t height1,
                            GTIF *gtif2, GTIFKeys /*keys2*/, uint32_t width2, uint32_t height2) {
    if (gtif1 == nullptr || gtif2 == nullptr) {
        return 0;
    }
    double ulX = 0;
    double ulY = 0;
    double lrX = width2;
    double lrY = height2;
    // A corner that cannot be placed on image 1 shows no coverage.
    if (!GTIFImageToPCS(gtif2, &ulX, &ulY) || !GTIFImageToPCS(gtif2, &lrX, &lrY) ||
        !GTIFPCSToImage(gtif1, &ulX, &ulY) || !GTIFPCSToImage(gtif1, &lrX, &lrY)) {
        return 0;
    }
    if (!std::isfinite(ulX) || !std::isfinite(ulY) || !std::isfinite(lrX) || !std::isfinite(lrY)) {
        return 0;
    }
    if (ulX < -0.5 || ulY < -0.5 || lrX < 0 || lrY < 0) {
        return 0;
    }
    if (std::trunc(lrX) > width1 || std::trunc(lrY) > height1) {
        return 0;
    }
    return 1;
}

double getRectangleOverlap(double xMin1, double yMin1, double xMax1, double yMax1, double xMin2,
                           double yMin2, double xMax2, double yMax2) {
    if (xMin1 > xMax2 || xMin2 > xMax1 || yMin1 > yMax2 || yMin2 > yMax1) {
        return 0;
    }
    return (std::min(xMax1, xMax2) - std::max(xMin1, xMin2)) *
           (std::min(yMax1, yMax2) - std::max(yMin1, yMin2));
}

double getRectangleOverlapRatio(double xMin1, double yMin1, double xMax1, double yMax1,
                                double xMin2, double yMin2, double xMax2, double yMax2) {
    const double overlap =
        getRectangleOverlap(xMin1, yMin1, xMax1, yMax1, xMin2, yMin2, xMax2, yMax2);
    const double area1 = (xMax1 - xMin1) * (yMax1 - yMin1);
    if (area1 < kTolerance) {
        return overlap >= kTolerance ? -1 : overlap;
    }
    return overlap / area1;
}

int64_t maxDoubleIndex(const double *values, size_t count) {
    int64_t best = -1;
    double bestValue = -1e308;
    if (values == nullptr) {
        return best;
    }
    for (size_t i = 0; i < count; ++i) {
        if (values[i] > bestValue) {
            bestValue = values[i];
            best = static_cast<int64_t>(i);
        }
    }
    return best;
}

void TiffCloser::operator()(TIFF *tif) const noexcept {
    if (tif != nullptr) {
        XTIFFClose(tif);
    }
}

void GtifFreer::operator()(GTIF *gtif) const noexcept {
    if (gtif != nullptr) {
        GTIFFree(gtif);
    }
}

TiffHandle openGeoTiff(const char *path, const char *mode) {
    if (path == nullptr || mode == nullptr) {
        return TiffHandle();
    }
    return TiffHandle(XTIFFOpen(path, mode));
}

bool closeGeoTiff(TiffHandle &tif) {
    if (!tif) {
        return false;
    }
    const bool flushed = TIFFFlush(tif.get()) == 1;
    XTIFFClose(tif.release());
    return flushed;
}

} // namespace veg::gtiffutil
