// Site distribution with the default settings over a 512 x 512 grid of quads
// covering a 100 x 100 square, for growing clone counts, against the list walk
// it replaced. Time per clone should stay flat as the count grows.
#include <benchmark/benchmark.h>

#include "plugin/run_data.h"
#include "settings/params.h"
#include "settings/vmap_catalogue.h"
#include "site_list_reference.h"
#include "surface/site_distribution.h"
#include "surface/target_polygons.h"

namespace sowfield {
namespace {

constexpr int32_t kGrid = 512;
constexpr double kSide = 100.0;

// Fills target_polygons with the quad grid, once per process.
void install_ground() {
    if (target_polygons && target_count == kGrid * kGrid) return;
    allocate_target_polygons(kGrid * kGrid);
    target_count = 0;
    const double step = kSide / kGrid;
    for (int32_t i = 0; i < kGrid; ++i)
        for (int32_t k = 0; k < kGrid; ++k) {
            face6_typ &quad = target_polygons[static_cast<size_t>(target_count++)];
            quad.allocate_points(4);
            quad.points[0] = {i * step, 0, k * step};
            quad.points[1] = {(i + 1) * step, 0, k * step};
            quad.points[2] = {(i + 1) * step, 0, (k + 1) * step};
            quad.points[3] = {i * step, 0, (k + 1) * step};
            quad.normal = {0, 1, 0};
        }
}

void report_per_clone(benchmark::State &state, int64_t clones) {
    state.SetItemsProcessed(state.iterations() * clones);
    state.counters["ns_per_clone"] =
        benchmark::Counter(static_cast<double>(clones) * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                                    benchmark::Counter::kInvert);
}

// Attempts per clone of one untimed run: what the search is asked to do.
double attempts_per_clone(const vmap_catalogue &catalogue, const params_typ &settings) {
    int64_t attempts = 0;
    set_site_attempt_observer([](void *count, const site_attempt &) { ++*static_cast<int64_t *>(count); },
                              &attempts);
    distribute_sites(catalogue, settings);
    set_site_attempt_observer(nullptr, nullptr);
    release_site_list();
    return static_cast<double>(attempts) / settings.clone_count;
}

void BM_DistributeSites(benchmark::State &state) {
    install_ground();
    params_typ settings;
    settings.clone_count = static_cast<int32_t>(state.range(0));
    vmap_catalogue catalogue(nullptr);
    for (auto _ : state) {
        distribute_sites(catalogue, settings);
        benchmark::DoNotOptimize(site_list);
        state.PauseTiming();
        release_site_list();
        state.ResumeTiming();
    }
    report_per_clone(state, settings.clone_count);
    state.counters["attempts_per_clone"] = attempts_per_clone(catalogue, settings);
}
BENCHMARK(BM_DistributeSites)->Arg(10000)->Arg(20000)->Arg(50000)->Arg(100000)->Arg(300000)->Arg(1000000)->MeasureProcessCPUTime()->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ReferenceListWalk(benchmark::State &state) {
    install_ground();
    params_typ settings;
    settings.clone_count = static_cast<int32_t>(state.range(0));
    vmap_catalogue catalogue(nullptr);
    for (auto _ : state) {
        testing::reference_run run = testing::reference_distribute_sites(catalogue, settings);
        benchmark::DoNotOptimize(run.sites.data());
    }
    report_per_clone(state, settings.clone_count);
}
BENCHMARK(BM_ReferenceListWalk)->Arg(10000)->Arg(20000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sowfield

BENCHMARK_MAIN();
