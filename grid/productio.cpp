// Whole products: the one write sequence of every product grid, and the series of inputs folded
// into one set of arrays.
#include "productio.h"

#include "program.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include <sys/resource.h>

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
    // Each field's access ends right after its write, so that its compressed bytes go to the file
    // then: at most one field's compressed bytes are held at a time, not every field's until the
    // grid is detached.
    for (size_t i = 0; i < layout.size(); ++i) {
        if (i >= fields.size() || fields[i].numberType != layout[i].numberType ||
            !writeFieldBytes(writer_.grid(), layout[i].name, target_.edge, fields[i].data,
                             fields[i].bytes) ||
            !writer_.endFieldAccess(layout[i].name)) {
            writer_.abandon();
            return WriteResult{WriteStep::Field, i, writer_.abandonedBytes(),
                               i < fields.size() ? fields[i].bytes : 0};
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
        return WriteResult{WriteStep::Attributes, 0, writer_.abandonedBytes(), 0};
    }
    if (!writer_.commit()) {
        return WriteResult{WriteStep::Commit, 0, writer_.abandonedBytes(), 0};
    }
    return WriteResult{};
}

WriteResult writeProduct(const ProductTarget &target, const std::vector<FieldCells> &fields,
                         const std::vector<FieldAttributes> &extraAttributes) {
    ProductWriter writer;
    const WriteResult created = writer.create(target);
    return created.ok() ? writer.write(fields, extraAttributes) : created;
}

std::optional<uint64_t> processFileSizeLimit() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(limit.rlim_cur);
}

std::optional<FileLimit> limitReached(const WriteResult &result,
                                      std::optional<uint64_t> processLimit) {
    if (result.ok() || result.failedAt == WriteStep::Create) {
        return std::nullopt;
    }
    FileLimit limit;
    if (processLimit && *processLimit < kHdf4FileLimit) {
        limit = FileLimit{*processLimit, false};
    }
    // The index, attributes and structural metadata that HDF4 writes around the data.
    const uint64_t margin = std::min<uint64_t>(uint64_t{1} << 20, limit.bytes / 8);
    const uint64_t reached = result.pendingBytes > UINT64_MAX - result.fileBytes
                                 ? UINT64_MAX
                                 : result.fileBytes + result.pendingBytes;
    if (reached < limit.bytes - margin) {
        return std::nullopt;
    }
    return limit;
}

std::string fileLimitAdvice(const WriteResult &result, const std::string &path,
                            std::optional<uint64_t> processLimit) {
    const std::optional<FileLimit> limit = limitReached(result, processLimit);
    if (!limit) {
        return {};
    }
    const unsigned long long bytes = limit->bytes;
    if (limit->ofFormat) {
        return veg::cli::format("%s reached the size limit of an HDF4 file (2 GiB, %llu bytes); "
                                "cut the area into smaller regions and run each on its own.\n",
                                path.c_str(), bytes);
    }
    return veg::cli::format("%s reached the file size limit of this process (%llu bytes, ulimit "
                            "-f); raise it, or cut the area into smaller regions.\n",
                            path.c_str(), bytes);
}

InputSeries::InputSeries(std::string gridName, std::vector<std::string> fields, size_t bytesPerCell)
    : gridName_(gridName), fields_(std::move(fields)), bytesPerCell_(bytesPerCell),
      probe_(std::move(gridName)) {}

InputStatus InputSeries::open(const std::string &path) {
    infos_.clear();
    if (!reader_.open(path, gridName_, &probe_)) {
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
