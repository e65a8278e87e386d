// The grid products of the toolkit described as data: grid name, sentinels, the 8-bit NDVI mapping,
// number types, and for each product kind its fields, their order, compression and attributes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veg::grid {

// The one grid name of every product (the compositor and the extremes builders may be given
// another).
inline constexpr const char *kGridName = "MODIS_Grid_2D";

// 16-bit NDVI holds NDVI x 10000 in kNdviMin..kNdviMax. The two sentinels sit below that range.
inline constexpr int16_t kNdviMin = -10000;
inline constexpr int16_t kNdviMax = 10000;
inline constexpr int16_t kFill16 = -28673;   // 0x8FFF: the cell lies outside the area of interest
inline constexpr int16_t kNoData16 = -28672; // 0x9000: inside the area, no usable value
// 8-bit twins: valid values 0..250, NDVI = (v - 125) / 125.
inline constexpr uint8_t kNdvi8Max = 250;
inline constexpr uint8_t kFill8 = 255;
inline constexpr uint8_t kNoData8 = 254;

// The 8-bit NDVI mapping: v = trunc(n x kNdvi8Scale + kNdvi8Offset) in double precision.
inline constexpr double kNdvi8Scale = 0.0125;
inline constexpr double kNdvi8Offset = 125.0;

// True for a 16-bit value inside the valid NDVI range -10000..10000.
constexpr bool isValidNdvi16(int32_t n) { return n >= kNdviMin && n <= kNdviMax; }

// The 8-bit NDVI of a 16-bit value: trunc(n x 0.0125 + 125) in double precision for valid values
// (-10000 -> 0, 0 -> 125, 10000 -> 250); the fill value gives 255 and every other value outside
// the valid range (the no-data value among them) gives 254, so an 8-bit cell never wraps. Inline
// so that loops over whole fields vectorise; for valid values the sum is never negative, so the
// conversion truncates toward zero as trunc does.
inline uint8_t ndvi8FromNdvi16(int16_t n) {
    if (n == kFill16) {
        return kFill8;
    }
    if (!isValidNdvi16(n)) {
        return kNoData8;
    }
    return static_cast<uint8_t>(n * kNdvi8Scale + kNdvi8Offset);
}

// The surface-reflectance tiles read by the daily NDVI generator: values in
// kReflectanceMin..kReflectanceMax are usable reflectances; the tiles mark missing ones with
// kReflectanceFill.
inline constexpr int16_t kReflectanceMin = -100;
inline constexpr int16_t kReflectanceMax = 16000;
inline constexpr int16_t kReflectanceFill = -28672;

// The 8-bit codes of the older daily NDVI product read by the daily condition builder: 0..254
// are data except kDailyBadValue; kDailyNoValue marks a cell without a value. The daily condition
// grid marks cells without an index with kDailyNoValue too.
inline constexpr uint8_t kDailyNoValue = 255;
inline constexpr uint8_t kDailyBadValue = 253;

// HDF4 number type codes used by the products.
enum NumberType : int32_t {
    kChar8 = 4,
    kFloat32 = 5,
    kFloat64 = 6,
    kInt8 = 20,
    kUInt8 = 21,
    kInt16 = 22,
    kUInt16 = 23,
    kInt32 = 24,
    kUInt32 = 25,
};

// Size in bytes of one value of an HDF4 number type, 0 for a type the toolkit does not know.
size_t numberTypeSize(int32_t numberType);

// The HDF4 number type of a C++ element type, for typed reads and writes.
template <typename T> struct NumberTypeOf;
template <> struct NumberTypeOf<int8_t> { static constexpr int32_t value = kInt8; };
template <> struct NumberTypeOf<uint8_t> { static constexpr int32_t value = kUInt8; };
template <> struct NumberTypeOf<int16_t> { static constexpr int32_t value = kInt16; };
template <> struct NumberTypeOf<uint16_t> { static constexpr int32_t value = kUInt16; };
template <> struct NumberTypeOf<int32_t> { static constexpr int32_t value = kInt32; };
template <> struct NumberTypeOf<uint32_t> { static constexpr int32_t value = kUInt32; };
template <> struct NumberTypeOf<float> { static constexpr int32_t value = kFloat32; };
template <> struct NumberTypeOf<double> { static constexpr int32_t value = kFloat64; };

// One SD attribute of a field: name, number type, value count and the values' bytes in host order
// (bytes.size() == count x size of the number type).
struct Attribute {
    std::string name;
    int32_t numberType = 0;
    int32_t count = 0;
    std::vector<uint8_t> bytes;

    bool operator==(const Attribute &other) const {
        return name == other.name && numberType == other.numberType && count == other.count &&
               bytes == other.bytes;
    }
};

// A text attribute of `count` bytes: the text, padded with zero bytes when count is longer
// ("NoUnits" with count 8 keeps its terminating zero byte), cut when it is shorter.
Attribute textAttribute(const std::string &name, const std::string &text, int32_t count);
Attribute int16Attribute(const std::string &name, const std::vector<int16_t> &values);
Attribute uint8Attribute(const std::string &name, const std::vector<uint8_t> &values);
Attribute float32Attribute(const std::string &name, float value);

enum class Compression { None, Deflate9 };
// The zlib level of Compression::Deflate9.
inline constexpr int kDeflateLevel = 9;

// One field of a product: name, number type and the attributes written after its data, in order.
// copiesInputAttributes marks the daily grid's carried fields, whose attributes come from a tile.
struct FieldLayout {
    std::string name;
    int32_t numberType = 0;
    std::vector<Attribute> attributes;
    bool copiesInputAttributes = false;
};

enum class ProductKind { DailyNdvi, Composite, Extremes, Vci, Mask, DailyCondition };

// Fields in the order they are defined and written, and the compression of every field.
struct ProductLayout {
    ProductKind kind = ProductKind::Vci;
    Compression compression = Compression::Deflate9;
    std::vector<FieldLayout> fields;

    // The field of that name, or nullptr.
    const FieldLayout *field(const std::string &name) const;
};

// The layout of a product kind with its default field names.
const ProductLayout &productLayout(ProductKind kind);

// The composite grid with field names chosen by the user (the attributes stay those of the
// composite grid's 16-bit, 8-bit and quality fields).
ProductLayout compositeLayout(const std::string &ndvi16Field, const std::string &ndvi8Field,
                              const std::string &qcField);

// Field names shared by several programs.
inline constexpr const char *kNdviField = "sur_ndvi_b02_b01";
inline constexpr const char *kNdvi8Field = "sur_ndvi_b02_b01_8bit";
inline constexpr const char *kQcField = "sur_ndvi_b02_b01_qc";
inline constexpr const char *kVciField = "sur_vci_b02_b01";
inline constexpr const char *kVci8Field = "sur_vci_b02_b01_8bit";
inline constexpr const char *kMinField = "ndvi_min";
inline constexpr const char *kMaxField = "ndvi_max";
inline constexpr const char *kMin2Field = "ndvi_min2";
inline constexpr const char *kMin3Field = "ndvi_min3";
inline constexpr const char *kMaskField = "sur_ndvi_b02_b01";
// The red and near-infrared bands of the reflectance tiles; the red band is the mask
// rasteriser's default reference field.
inline constexpr const char *kRedField = "sur_refl_b01_1";
inline constexpr const char *kNirField = "sur_refl_b02_1";
inline constexpr const char *kReferenceField = kRedField;

// The eight tile fields that the daily NDVI grid carries, in product order, with the number types
// they are read and written as.
struct CarriedField {
    const char *name;
    int32_t numberType;
};
inline constexpr size_t kCarriedFieldCount = 8;
inline constexpr CarriedField kCarriedFields[kCarriedFieldCount] = {
    {"num_observations", kInt8}, {kRedField, kInt16},      {kNirField, kInt16},
    {"QC_250m_1", kUInt16},      {"obscov_1", kInt8},      {"iobs_res_1", kUInt8},
    {"orbit_pnt_1", kInt8},      {"granule_pnt_1", kUInt8}};

} // namespace veg::grid
