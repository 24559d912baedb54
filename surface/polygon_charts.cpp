#include "surface/polygon_charts.h"

#include <limits>
#include <type_traits>

namespace sowfield {

namespace {

// A shared table drops its charts once their pooled points reach this many,
// so that a long run on polygons of many points does not grow the pool
// without end.
constexpr size_t kSharedPoolLimit = size_t{1} << 16;

}  // namespace

static_assert(std::is_trivially_destructible_v<polygon_chart>, "charts are dropped without destruction");

void polygon_charts::reset(int32_t polygons, int32_t places) {
    size_t count = static_cast<size_t>(polygons > 0 ? polygons : 0);
    shared_ = places > 0 && static_cast<size_t>(places) < count;
    if (shared_) count = static_cast<size_t>(places);
    mask_ = shared_ ? count - 1 : std::numeric_limits<size_t>::max();
    charts_.reset(static_cast<polygon_chart *>(
        ::operator new[](count * sizeof(polygon_chart), std::align_val_t{alignof(polygon_chart)})));
    owners_.assign(count, -1);
    pool_.clear();
}

void polygon_charts::clear() {
    charts_.reset();
    std::vector<int32_t>().swap(owners_);
    std::vector<chart_point>().swap(pool_);
}

void polygon_charts::make(int32_t index, const face6_typ &record, polygon_chart *chart) {
    if (shared_ && pool_.size() >= kSharedPoolLimit) {
        // Every pooled chart is dropped with the pool, not only the one
        // this place held.
        for (size_t at = 0; at < owners_.size(); ++at)
            if (owners_[at] >= 0 && charts_.get()[at].pool_offset >= 0) owners_[at] = -1;
        pool_.clear();
    }
    ::new (static_cast<void *>(chart)) polygon_chart(chart_polygon(record, pool_));
    owners_[place(index)] = index;
}

}  // namespace sowfield
