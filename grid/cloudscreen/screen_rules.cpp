// Cloud screening by the 1 km state: the rules by name, the expansion onto the daily grid and the
// final pass.
#include "screen_rules.h"

#include "products.h"

#include <vector>

namespace veg::cloudscreen {

const std::array<const char *, kReasonCount> kReasonNames = {
    "clear",  "state fill",     "cloudy",   "mixed",
    "shadow", "internal cloud", "adjacent", "high cirrus"};

std::optional<ScreenRule> ruleNamed(const std::string &name) {
    if (name == "standard") {
        return ScreenRule{false, false};
    }
    if (name == "strict") {
        return ScreenRule{true, true};
    }
    return std::nullopt;
}

uint64_t ScreenCounts::screened() const {
    uint64_t sum = 0;
    for (size_t r = kStateFillReason; r < kReasonCount; ++r) {
        sum += byReason[r];
    }
    return sum;
}

std::optional<size_t> screenCells(const uint8_t *reasons, int16_t *ndvi, uint8_t *ndvi8,
                                  size_t count, ScreenCounts *counts) {
    for (size_t i = 0; i < count; ++i) {
        if (reasons[i] == kNoState && veg::grid::isValidNdvi16(ndvi[i])) {
            return i;
        }
    }
    ScreenCounts c;
    for (size_t i = 0; i < count; ++i) {
        const bool valued = veg::grid::isValidNdvi16(ndvi[i]);
        c.valued += valued;
        if (valued && reasons[i] != kClear) {
            ++c.byReason[reasons[i]];
            ndvi[i] = veg::grid::kNoData16;
            ndvi8[i] = veg::grid::kNoData8;
        }
    }
    *counts = c;
    return std::nullopt;
}

void expandReasons(const uint8_t *stateReasons, int64_t stateColumns, int64_t factor,
                   const ExpandAxis &rows, const ExpandAxis &columns, uint8_t *reasons,
                   int64_t gridColumns, int64_t gridRows, int order) {
    // The state cell of every window row and column, relative to the window's first state cell.
    std::vector<int64_t> rowOf(static_cast<size_t>(rows.count));
    std::vector<int64_t> columnOf(static_cast<size_t>(columns.count));
    const int64_t row0 = rows.tileStart / factor, column0 = columns.tileStart / factor;
    for (int64_t j = 0; j < rows.count; ++j) {
        rowOf[static_cast<size_t>(j)] = ((rows.tileStart + j) / factor - row0) * stateColumns;
    }
    for (int64_t i = 0; i < columns.count; ++i) {
        columnOf[static_cast<size_t>(i)] = (columns.tileStart + i) / factor - column0;
    }
    if (order == 1) {
        for (int64_t j = 0; j < rows.count; ++j) {
            const uint8_t *from = stateReasons + rowOf[static_cast<size_t>(j)];
            uint8_t *to = reasons + (rows.outputStart + j) * gridColumns + columns.outputStart;
            for (int64_t i = 0; i < columns.count; ++i) {
                to[i] = from[columnOf[static_cast<size_t>(i)]];
            }
        }
    } else {
        for (int64_t i = 0; i < columns.count; ++i) {
            const uint8_t *from = stateReasons + columnOf[static_cast<size_t>(i)];
            uint8_t *to = reasons + (columns.outputStart + i) * gridRows + rows.outputStart;
            for (int64_t j = 0; j < rows.count; ++j) {
                to[j] = from[rowOf[static_cast<size_t>(j)]];
            }
        }
    }
}

} // namespace veg::cloudscreen
