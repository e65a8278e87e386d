// The per-cell rules of the period maximum-value composite: how one daily input is folded into the
// composite arrays, for the 16-bit NDVI with its quality layer and for the 8-bit NDVI.
#pragma once

#include <cstddef>
#include <cstdint>

namespace veg::peakcomposite {

// Folds one 16-bit daily NDVI field into the composite, cell by cell (all arrays hold n cells).
// - the fill value (-28673, outside the area) replaces whatever was kept; the quality cell stays;
// - a composite cell still at the no-data value (-28672) takes the input value, whatever it is, and
//   records `position` in the quality cell;
// - otherwise an input other than the two sentinels replaces a smaller kept value and records
//   `position`; an equal value does not, so among equal maxima the earliest input is recorded.
// Values other than the sentinels are compared as they are, without a range check.
void foldNdvi16(const int16_t *input, int16_t *composite, uint8_t *quality, size_t n,
                uint8_t position);

// Folds one 8-bit daily NDVI field into the 8-bit composite: 255 (fill) replaces what was kept and
// then stays; a cell still at 254 (no data) takes the input value; otherwise an input other than
// 254 and 255 replaces a smaller kept value. The quality layer is not touched.
void foldNdvi8(const uint8_t *input, uint8_t *composite, size_t n);

// The list position of the next entry: an unsigned 8-bit counter that wraps from 255 to 0.
inline uint8_t nextListPosition(uint8_t position) { return static_cast<uint8_t>(position + 1u); }

} // namespace veg::peakcomposite
