// Throughput of build_clone on the 2,000-point torus, cloned with the default
// angles and sizes, jitter and numbered morph maps, into a lean edit session
// that only counts what it is given: the plug-in's own cost. A flat cost per
// clone from 100 to 10,000 clones shows that nothing grows with the number of
// clones made. The point map is also timed alone, against the list it
// replaces.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "clone/point_map.h"
#include "clone_bench_fixture.h"

namespace sowfield::bench {
namespace {

// An edit session that serves the torus and counts what the clones add.
class lean_session {
public:
    explicit lean_session(const torus &shape) : shape_(shape) {
        record_.state = this;
        record_.scan_polygons = scan;
        record_.point_info = point_info;
        record_.add_point = add_point;
        record_.set_point_vmap = set_point_vmap;
        record_.add_polygon = add_polygon;
        record_.select_vmap = select_vmap;
        record_.get_point_vmap = get_point_vmap;
        for (const auto &quad : shape.quads)
            polygons_.push_back({id_of(quad[0]), id_of(quad[1]), id_of(quad[2]), id_of(quad[3])});
    }
    sf_edit_session *session() { return &record_; }
    int64_t points_added = 0;
    int64_t polygons_added = 0;
    int64_t values_written = 0;

private:
    enum class map { none, uv, weight, morph };
    static constexpr uintptr_t kBase = 0x7f3000;
    static constexpr uintptr_t kStride = 0x40;
    static sf_point_id id_of(int index) {
        return reinterpret_cast<sf_point_id>(kBase + kStride * (static_cast<uintptr_t>(index) + 1));
    }
    static size_t index_of(sf_point_id id) { return (reinterpret_cast<uintptr_t>(id) - kBase) / kStride - 1; }
    static lean_session &of(void *state) { return *static_cast<lean_session *>(state); }

    static int32_t scan(void *state, sf_polygon_visitor_fn visitor, void *context, int32_t) {
        lean_session &self = of(state);
        for (size_t k = 0; k < self.polygons_.size(); ++k) {
            const sf_polygon_record record{reinterpret_cast<sf_polygon_id>(kBase + k * 8 + 8), 0, 4,
                                           self.polygons_[k].data(), SF_POLY_FACE};
            if (const int result = visitor(context, &record); result != 0) return result;
        }
        return 0;
    }
    static const sf_point_record *point_info(void *state, sf_point_id point) {
        lean_session &self = of(state);
        const Point &p = self.shape_.positions[index_of(point)];
        self.point_record_ = {point, {p.x, p.y, p.z}, nullptr};
        return &self.point_record_;
    }
    static sf_point_id add_point(void *state, const double position[3]) {
        lean_session &self = of(state);
        benchmark::DoNotOptimize(position[0] + position[1] + position[2]);
        return reinterpret_cast<sf_point_id>(0x100000000ull + static_cast<uintptr_t>(++self.points_added) * 0x20);
    }
    static int32_t set_point_vmap(void *state, sf_point_id, uint32_t, const char *, int32_t, const float *values) {
        benchmark::DoNotOptimize(values[0]);
        ++of(state).values_written;
        return 1;
    }
    static sf_polygon_id add_polygon(void *state, uint32_t, sf_polygon_id, const char *, int32_t,
                                     const sf_point_id *) {
        return reinterpret_cast<sf_polygon_id>(++of(state).polygons_added);
    }
    static void *select_vmap(void *state, void *, uint32_t type, const char *name) {
        lean_session &self = of(state);
        self.selected_ = type == SF_VMAP_TXUV && std::strcmp(name, kUvName) == 0     ? map::uv
                         : type == SF_VMAP_WGHT && std::strcmp(name, kWeightName) == 0 ? map::weight
                         : type == SF_VMAP_MORF && std::strcmp(name, kMorphName) == 0  ? map::morph
                                                                                       : map::none;
        return self.selected_ == map::none ? nullptr : state;
    }
    static int32_t get_point_vmap(void *state, sf_point_id point, float *values) {
        lean_session &self = of(state);
        const size_t k = index_of(point);
        switch (self.selected_) {
            case map::uv: std::memcpy(values, self.shape_.uv[k].data(), 2 * sizeof(float)); return 1;
            case map::weight: values[0] = self.shape_.weight[k]; return 1;
            case map::morph: std::memcpy(values, self.shape_.morph[k].data(), 3 * sizeof(float)); return 1;
            case map::none: break;
        }
        return 0;
    }

    const torus &shape_;
    sf_edit_session record_{};
    std::vector<std::array<sf_point_id, 4>> polygons_;
    map selected_ = map::none;
    sf_point_record point_record_{};
};

void BM_build_clone_lean_session(benchmark::State &state) {
    const torus shape;
    lean_session session(shape);
    clone_run run(session.session());
    const auto clones = static_cast<int32_t>(state.range(0));
    for (auto _ : state) run.build(clones);
    if (session.points_added != static_cast<int64_t>(state.iterations()) * clones * kPoints)
        state.SkipWithError("the clones made the wrong number of points");
    report(state, clones);
}
BENCHMARK(BM_build_clone_lean_session)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

// The point map alone, as one clone of the torus uses it: four lookups per
// point, one insert per point; against the list searched from its oldest
// entry that the map replaces.
void BM_point_map_one_clone(benchmark::State &state) {
    const torus shape;
    point_id_map map;
    auto id = [](int k) { return reinterpret_cast<sf_point_id>(0x7f3000 + 0x40 * (static_cast<uintptr_t>(k) + 1)); };
    for (auto _ : state) {
        map.reset();
        for (const auto &quad : shape.quads)
            for (int k : quad)
                if (map.find(id(k)) == nullptr) map.insert(id(k), id(k + 1));
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kPoints);
}
BENCHMARK(BM_point_map_one_clone);

void BM_point_list_one_clone(benchmark::State &state) {
    const torus shape;
    std::vector<std::pair<sf_point_id, sf_point_id>> list;
    auto id = [](int k) { return reinterpret_cast<sf_point_id>(0x7f3000 + 0x40 * (static_cast<uintptr_t>(k) + 1)); };
    for (auto _ : state) {
        list.clear();
        for (const auto &quad : shape.quads) {
            for (int k : quad) {
                bool found = false;
                for (const auto &entry : list)
                    if (entry.first == id(k)) {
                        found = true;
                        break;
                    }
                if (!found) list.emplace_back(id(k), id(k + 1));
            }
        }
        benchmark::DoNotOptimize(list.size());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kPoints);
}
BENCHMARK(BM_point_list_one_clone);

}  // namespace
}  // namespace sowfield::bench

BENCHMARK_MAIN();
