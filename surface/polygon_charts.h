// The charts of the target polygons, made the first time a run draws on each
// polygon and kept until the run's sites are chosen.
//
// A run of a million clones makes about three million attempts on a few
// hundred thousand polygons, so most polygons are drawn on many times. The
// charts sit at their polygon's index, so that the chart of a coming draw
// can be fetched from memory before it is needed.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "surface/random_point.h"
#include "surface/target_polygons.h"

namespace sowfield {

class polygon_charts {
public:
    // Forgets every chart; `polygons` is the number of target polygons.
    void reset(int32_t polygons);

    // Gives back the memory.
    void clear();

    // The chart of target polygon `index`, made from `record` on first use.
    const polygon_chart &chart(int32_t index, const face6_typ &record) {
        const auto at = static_cast<size_t>(index);
        polygon_chart *chart = charts_.get() + at;
        if (!charted_[at]) {
            ::new (static_cast<void *>(chart)) polygon_chart(chart_polygon(record, pool_));
            charted_[at] = 1;
        }
        return *chart;
    }

    // The chart of polygon `index` when it has been made, else null.
    const polygon_chart *made(int32_t index) const {
        return charted_[static_cast<size_t>(index)] ? charts_.get() + index : nullptr;
    }

    // Asks the memory for the chart of polygon `index` ahead of its use.
    void prefetch(int32_t index) const {
        const char *chart = reinterpret_cast<const char *>(charts_.get() + index);
        for (size_t line = 0; line < sizeof(polygon_chart); line += 64) __builtin_prefetch(chart + line);
        __builtin_prefetch(charted_.data() + index);
    }

    // Where the local points of the polygons of more than four points are.
    const chart_point *pool() const { return pool_.data(); }

private:
    struct raw_delete {
        void operator()(polygon_chart *charts) const {
            ::operator delete[](charts, std::align_val_t{alignof(polygon_chart)});
        }
    };
    // Raw memory: a chart is written when first made, and the memory of
    // charts never made is never touched.
    std::unique_ptr<polygon_chart, raw_delete> charts_;
    std::vector<uint8_t> charted_;
    std::vector<chart_point> pool_;
};

}  // namespace sowfield
