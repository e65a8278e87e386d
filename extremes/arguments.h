// Reading the numeric arguments of the extremes builders.
#pragma once

namespace extremes {

// The leading integer of an argument as atoi reads it (blanks, a sign, digits; a text that does
// not begin with a number reads as 0), clamped to the int range instead of overflowing.
int readInt(const char *text);

} // namespace extremes
