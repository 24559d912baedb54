#include "clone/background_points.h"

#include <algorithm>

namespace sowfield {

void background_point_table::prepare(uint64_t numbering, size_t maps) {
    if (numbering == numbering_ && maps == maps_) return;
    points_.clear();
    values_.clear();
    numbering_ = numbering;
    maps_ = maps;
}

void background_point_table::grow(uint32_t number) {
    // Doubling, so a first clone that meets its points one by one costs
    // amortised constant time per point.
    const size_t size = std::max<size_t>(size_t{number} + 1, points_.size() * 2);
    points_.resize(size);
    values_.resize(size * maps_);
}

void background_point_table::release() {
    points_ = {};
    values_ = {};
    maps_ = 0;
    numbering_ = UINT64_MAX;
}

}  // namespace sowfield
