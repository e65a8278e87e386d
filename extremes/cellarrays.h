// Arrays of one value per grid cell for the extremes builders.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

namespace extremes {

// An array of `cells` values, left uninitialised (every caller fills it whole); null when memory
// runs out, so that the program can name the grid that did not fit.
template <typename T> std::unique_ptr<T[]> allocateCells(size_t cells) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[cells]);
}

} // namespace extremes
