// Throughput of build_clone on the 2,000-point torus into the stand-in
// host's edit session: the cost a user sees, storage of the new geometry
// included. Each iteration starts from the same scene (the session is ended
// with a discard, untimed).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "clone_bench_fixture.h"
#include "host/edit/edit_session.h"
#include "host/scene/scene.h"
#include "host/services/contract_log.h"

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

}  // namespace
}  // namespace sowfield::bench

BENCHMARK_MAIN();
