// Product layouts and attribute tables of the grid products.
#include "products.h"

#include <algorithm>
#include <cstring>

namespace veg::grid {

size_t numberTypeSize(int32_t numberType) {
    switch (numberType) {
    case kChar8:
    case kInt8:
    case kUInt8:
        return 1;
    case kInt16:
    case kUInt16:
        return 2;
    case kFloat32:
    case kInt32:
    case kUInt32:
        return 4;
    case kFloat64:
        return 8;
    default:
        return 0;
    }
}

namespace {

template <typename T>
Attribute valuesAttribute(const std::string &name, int32_t numberType,
                          const std::vector<T> &values) {
    Attribute a;
    a.name = name;
    a.numberType = numberType;
    a.count = static_cast<int32_t>(values.size());
    const auto *first = reinterpret_cast<const uint8_t *>(values.data());
    a.bytes.assign(first, first + values.size() * sizeof(T));
    return a;
}

const char *const kTrueValue = " field_value * scale + offset"; // 29 characters, written with 30

std::vector<Attribute> ndvi16Attributes(bool composite) {
    std::vector<Attribute> a{textAttribute("long_name", "Daily NDVI at 250 m", 19),
                             int16Attribute("valid_range", {kNdviMin, kNdviMax})};
    if (composite) {
        a.push_back(int16Attribute("_NodataFillValue", {kNoData16}));
    }
    a.push_back(int16Attribute("_FillValue", {kFill16}));
    a.push_back(textAttribute("units", "NoUnits", 8));
    a.push_back(float32Attribute("scale", 0.0001f));
    a.push_back(float32Attribute("offset", 0.0f));
    a.push_back(textAttribute("true_value", kTrueValue, 30));
    return a;
}

std::vector<Attribute> ndvi8Attributes(bool composite) {
    std::vector<Attribute> a{textAttribute("long_name", "Daily NDVI at 250 m - 8bits", 27),
                             uint8Attribute("valid_range", {0, kNdvi8Max})};
    if (composite) {
        a.push_back(uint8Attribute("_NodataFillValue", {kNoData8}));
    }
    a.push_back(uint8Attribute("_FillValue", {kFill8}));
    a.push_back(textAttribute("units", "NoUnits", 8));
    a.push_back(float32Attribute("scale", 0.0001f));
    // The composite grid has always declared -1.0 here, the daily grid 0.0; readers outside the
    // toolkit rely on the stored values, so both are kept.
    a.push_back(float32Attribute("offset", composite ? -1.0f : 0.0f));
    a.push_back(textAttribute("true_value", kTrueValue, 30));
    return a;
}

std::vector<Attribute> qcAttributes() {
    return {
        textAttribute("long_name", "Quality Layer for NDVI Maximum Value Composite at 250 m", 55),
        uint8Attribute("valid_range", {0, kNdvi8Max}),
        uint8Attribute("_NodataFillValue", {kNoData8}), uint8Attribute("_FillValue", {kFill8})};
}

ProductLayout makeDailyNdvi() {
    ProductLayout p;
    p.kind = ProductKind::DailyNdvi;
    p.compression = Compression::Deflate9;
    for (const CarriedField &c : kCarriedFields) {
        p.fields.push_back(FieldLayout{c.name, c.numberType, {}, true});
    }
    p.fields.push_back(FieldLayout{kNdviField, kInt16, ndvi16Attributes(false), false});
    p.fields.push_back(FieldLayout{kNdvi8Field, kUInt8, ndvi8Attributes(false), false});
    return p;
}

ProductLayout makeExtremes() {
    ProductLayout p;
    p.kind = ProductKind::Extremes;
    p.compression = Compression::Deflate9;
    for (const char *name : {kMinField, kMaxField, kMin2Field, kMin3Field}) {
        p.fields.push_back(FieldLayout{name, kInt16, {}, false});
    }
    return p;
}

ProductLayout makeVci() {
    ProductLayout p;
    p.kind = ProductKind::Vci;
    p.compression = Compression::Deflate9;
    p.fields.push_back(FieldLayout{kVciField, kInt16, {}, false});
    p.fields.push_back(FieldLayout{kVci8Field, kUInt8, {}, false});
    return p;
}

ProductLayout makeMask() {
    ProductLayout p;
    p.kind = ProductKind::Mask;
    p.compression = Compression::None;
    p.fields.push_back(
        FieldLayout{kMaskField,
                    kUInt8,
                    {textAttribute("long_name", "Mask", 4), uint8Attribute("valid_range", {0, 254}),
                     uint8Attribute("_FillValue", {0}), textAttribute("Units", "NoUnits", 8),
                     float32Attribute("scale", 127.0f), float32Attribute("offset", 127.0f),
                     textAttribute("true_value", kTrueValue, 30)},
                    false});
    return p;
}

ProductLayout makeDailyCondition() {
    ProductLayout p;
    p.kind = ProductKind::DailyCondition;
    p.compression = Compression::None;
    p.fields.push_back(FieldLayout{
        kNdviField,
        kUInt8,
        {uint8Attribute("valid_range", {0, 254}), uint8Attribute("_Fillvalue", {kDailyNoValue}),
         uint8Attribute("_BadQuality", {kDailyBadValue}), textAttribute("Units", "NoUnits", 8),
         float32Attribute("scale", 0.004f), float32Attribute("offset", 0.0f),
         textAttribute("true_value", kTrueValue, 30)},
        false});
    return p;
}

} // namespace

Attribute textAttribute(const std::string &name, const std::string &text, int32_t count) {
    Attribute a;
    a.name = name;
    a.numberType = kChar8;
    a.count = count < 0 ? 0 : count;
    a.bytes.assign(static_cast<size_t>(a.count), 0);
    std::memcpy(a.bytes.data(), text.data(), std::min(text.size(), a.bytes.size()));
    return a;
}

Attribute int16Attribute(const std::string &name, const std::vector<int16_t> &values) {
    return valuesAttribute(name, kInt16, values);
}

Attribute uint8Attribute(const std::string &name, const std::vector<uint8_t> &values) {
    return valuesAttribute(name, kUInt8, values);
}

Attribute float32Attribute(const std::string &name, float value) {
    return valuesAttribute(name, kFloat32, std::vector<float>{value});
}

const FieldLayout *ProductLayout::field(const std::string &name) const {
    for (const FieldLayout &f : fields) {
        if (f.name == name) {
            return &f;
        }
    }
    return nullptr;
}

ProductLayout compositeLayout(const std::string &ndvi16Field, const std::string &ndvi8Field,
                              const std::string &qcField) {
    ProductLayout p;
    p.kind = ProductKind::Composite;
    p.compression = Compression::Deflate9;
    p.fields.push_back(FieldLayout{ndvi16Field, kInt16, ndvi16Attributes(true), false});
    p.fields.push_back(FieldLayout{ndvi8Field, kUInt8, ndvi8Attributes(true), false});
    p.fields.push_back(FieldLayout{qcField, kUInt8, qcAttributes(), false});
    return p;
}

const ProductLayout &productLayout(ProductKind kind) {
    static const ProductLayout dailyNdvi = makeDailyNdvi();
    static const ProductLayout composite = compositeLayout(kNdviField, kNdvi8Field, kQcField);
    static const ProductLayout extremes = makeExtremes();
    static const ProductLayout vci = makeVci();
    static const ProductLayout mask = makeMask();
    static const ProductLayout dailyCondition = makeDailyCondition();
    switch (kind) {
    case ProductKind::DailyNdvi:
        return dailyNdvi;
    case ProductKind::Composite:
        return composite;
    case ProductKind::Extremes:
        return extremes;
    case ProductKind::Mask:
        return mask;
    case ProductKind::DailyCondition:
        return dailyCondition;
    case ProductKind::Vci:
    default:
        return vci;
    }
}

} // namespace veg::grid
