// Whole products: the one write sequence of every product grid, and the series of inputs folded
// into one set of arrays.
#include "productio.h"

#include <utility>

namespace veg::grid {

WriteResult ProductWriter::create(const ProductTarget &target) {
    target_ = target;
    if (!writer_.create(target_.path, target_.gridName, target_.geometry) ||
        !writer_.defineFields(target_.layout, target_.dimList)) {
        writer_.abandon();
        return WriteResult{WriteStep::Create, 0};
    }
    return WriteResult{};
}

WriteResult ProductWriter::write(const std::vector<FieldCells> &fields,
                                 const std::vector<FieldAttributes> &extraAttributes) {
    const std::vector<FieldLayout> &layout = target_.layout.fields;
    for (size_t i = 0; i < layout.size(); ++i) {
        if (i >= fields.size() || fields[i].numberType != layout[i].numberType ||
            !writeFieldBytes(writer_.grid(), layout[i].name, target_.edge, fields[i].data,
                             fields[i].bytes)) {
            writer_.abandon();
            return WriteResult{WriteStep::Field, i};
        }
    }
    bool attributesWritten = writer_.writeLayoutAttributes(target_.layout);
    for (size_t i = 0; attributesWritten && i < extraAttributes.size(); ++i) {
        const FieldAttributes &extra = extraAttributes[i];
        attributesWritten =
            extra.attributes.empty() || writer_.writeAttributes(extra.field, extra.attributes);
    }
    if (!attributesWritten) {
        writer_.abandon();
        return WriteResult{WriteStep::Attributes, 0};
    }
    if (!writer_.commit()) {
        return WriteResult{WriteStep::Commit, 0};
    }
    return WriteResult{};
}

WriteResult writeProduct(const ProductTarget &target, const std::vector<FieldCells> &fields,
                         const std::vector<FieldAttributes> &extraAttributes) {
    ProductWriter writer;
    const WriteResult created = writer.create(target);
    return created.ok() ? writer.write(fields, extraAttributes) : created;
}

InputSeries::InputSeries(std::string gridName, std::vector<std::string> fields, size_t bytesPerCell)
    : gridName_(std::move(gridName)), fields_(std::move(fields)), bytesPerCell_(bytesPerCell) {}

InputStatus InputSeries::open(const std::string &path) {
    infos_.clear();
    if (!reader_.open(path, gridName_)) {
        return InputStatus::Unreadable;
    }
    for (const std::string &field : fields_) {
        std::optional<FieldInfo> info = reader_.fieldInfo(field);
        if (!info) {
            return InputStatus::Unreadable;
        }
        infos_.push_back(std::move(*info));
    }
    const GridGeometry &g = reader_.geometry();
    if (g.rows < 1 || g.columns < 1) {
        return InputStatus::Unreadable;
    }
    if (!started()) {
        const std::optional<size_t> bytes = checkedCellCount(g.rows, g.columns, bytesPerCell_);
        if (!bytes) {
            return InputStatus::TooLarge;
        }
        cells_ = *bytes / bytesPerCell_;
        edge_ = rowsColumns(g);
        first_ = g;
        dimLists_.clear();
        for (const FieldInfo &info : infos_) {
            dimLists_.push_back(info.dimList);
        }
        return InputStatus::First;
    }
    if (g.rows != edge_.first || g.columns != edge_.second) {
        return InputStatus::DiffersFromFirst;
    }
    for (size_t i = 0; i < infos_.size(); ++i) {
        if (infos_[i].dimList != dimLists_[i]) {
            return InputStatus::DiffersFromFirst;
        }
    }
    return InputStatus::Same;
}

bool InputSeries::readFields(const std::vector<FieldBuffer> &buffers) {
    if (!started() || infos_.size() != fields_.size() || buffers.size() != fields_.size()) {
        return false;
    }
    for (size_t i = 0; i < fields_.size(); ++i) {
        const FieldBuffer &b = buffers[i];
        if (!readFieldBytes(reader_.grid(), fields_[i], b.numberType, edge_, b.data, b.bytes)) {
            return false;
        }
    }
    output_ = reader_.geometry();
    outputDimList_ = infos_.back().dimList;
    return true;
}

} // namespace veg::grid
