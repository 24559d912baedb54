// Throughput of build_clone on the 2,000-point torus, cloned with the default
// angles and sizes, jitter and numbered morph maps, into the stand-in host's
// edit session: the cost a user sees, storage of the new geometry included.
// Each iteration starts from the same scene (the session is ended with a
// discard, untimed); a flat cost per clone from 100 to 1,000 clones shows
// that nothing grows with the number of clones made. The point map is also
// timed alone, against the list it replaces.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "clone/point_map.h"
#include "clone_bench_fixture.h"
#include "host/services/contract_log.h"
#include "host/edit/edit_session.h"
#include "host/scene/scene.h"

namespace sowfield::bench {
namespace {

void BM_build_clone_host_session(benchmark::State &state) {
    const torus shape;
    host::Scene scene;
    scene.add_layer("foreground");
    host::Layer &background = scene.add_layer("background");
    scene.foreground = {0};
    scene.background = {1};
    host::VertexMap &uv = background.add_vmap(SF_VMAP_TXUV, kUvName, 2);
    host::VertexMap &weight = background.add_vmap(SF_VMAP_WGHT, kWeightName, 1);
    host::VertexMap &morph = background.add_vmap(SF_VMAP_MORF, kMorphName, 3);
    for (int k = 0; k < kPoints; ++k) {
        const Point &p = shape.positions[static_cast<size_t>(k)];
        const uint32_t point = background.add_point({p.x, p.y, p.z});
        uv.set_value(point, shape.uv[static_cast<size_t>(k)].data());
        weight.set_value(point, &shape.weight[static_cast<size_t>(k)]);
        morph.set_value(point, shape.morph[static_cast<size_t>(k)].data());
    }
    for (const auto &quad : shape.quads) {
        const uint32_t corners[4] = {static_cast<uint32_t>(quad[0]), static_cast<uint32_t>(quad[1]),
                                     static_cast<uint32_t>(quad[2]), static_cast<uint32_t>(quad[3])};
        background.add_polygon(SF_POLY_FACE, corners);
    }
    host::ContractLog log;
    host::EditSession session(scene, log);
    const auto clones = static_cast<int32_t>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        sf_edit_session *edit = session.begin();
        clone_run run(edit);
        state.ResumeTiming();
        run.build(clones);
        state.PauseTiming();
        edit->end_edit(edit->state, 1, 0);  // discard, so every iteration starts from the same scene
        state.ResumeTiming();
    }
    if (!log.entries().empty()) state.SkipWithError(log.entries().front().c_str());
    report(state, clones);
}
BENCHMARK(BM_build_clone_host_session)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

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
