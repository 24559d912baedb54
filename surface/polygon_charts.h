// The charts of the target polygons, made the first time a run draws on each
// polygon and kept while the run's sites are chosen.
//
// A run of a million clones makes about three million attempts on a few
// hundred thousand polygons, so most polygons are drawn on many times: then
// every polygon has a place of its own. A run of few clones on many polygons
// rarely comes back to one; its charts share a small table, polygon i in
// place i modulo the table size, so that its memory stays in the caches and
// the look-ahead can still chart a coming draw before it is needed.
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
    // Forgets every chart. `polygons` is the number of target polygons;
    // `places`, a power of two, the size of the shared table, used when it
    // is smaller than `polygons`.
    void reset(int32_t polygons, int32_t places);

    // Gives back the memory.
    void clear();

    // The chart of target polygon `index`, made from `record` unless kept.
    const polygon_chart &chart(int32_t index, const face6_typ &record) {
        const size_t at = place(index);
        polygon_chart *chart = charts_.get() + at;
        if (owners_[at] != index) make(index, record, chart);
        return *chart;
    }

    // The chart of polygon `index` when it is kept, else null.
    const polygon_chart *made(int32_t index) const {
        const size_t at = place(index);
        return owners_[at] == index ? charts_.get() + at : nullptr;
    }

    // Asks the memory for the place of polygon `index` ahead of its use.
    void prefetch(int32_t index) const {
        const size_t at = place(index);
        const char *chart = reinterpret_cast<const char *>(charts_.get() + at);
        for (size_t line = 0; line < sizeof(polygon_chart); line += 64) __builtin_prefetch(chart + line);
        __builtin_prefetch(owners_.data() + at);
    }

    // Where the local points of the polygons of more than four points are.
    const chart_point *pool() const { return pool_.data(); }

private:
    size_t place(int32_t index) const { return static_cast<size_t>(index) & mask_; }
    void make(int32_t index, const face6_typ &record, polygon_chart *chart);

    struct raw_delete {
        void operator()(polygon_chart *charts) const {
            ::operator delete[](charts, std::align_val_t{alignof(polygon_chart)});
        }
    };
    // Raw memory: a chart is written when first made, and the memory of
    // places never used is never touched.
    std::unique_ptr<polygon_chart, raw_delete> charts_;
    std::vector<int32_t> owners_;  // the polygon charted in each place, or -1
    std::vector<chart_point> pool_;
    size_t mask_ = 0;  // all ones when every polygon has its own place
    bool shared_ = false;
};

}  // namespace sowfield
