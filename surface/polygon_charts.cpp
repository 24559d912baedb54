#include "surface/polygon_charts.h"

#include <type_traits>

namespace sowfield {

static_assert(std::is_trivially_destructible_v<polygon_chart>, "charts are dropped without destruction");

void polygon_charts::reset(int32_t polygons) {
    const auto count = static_cast<size_t>(polygons > 0 ? polygons : 0);
    charts_.reset(static_cast<polygon_chart *>(
        ::operator new[](count * sizeof(polygon_chart), std::align_val_t{alignof(polygon_chart)})));
    charted_.assign(count, 0);
    pool_.clear();
}

void polygon_charts::clear() {
    charts_.reset();
    std::vector<uint8_t>().swap(charted_);
    std::vector<chart_point>().swap(pool_);
}

}  // namespace sowfield
