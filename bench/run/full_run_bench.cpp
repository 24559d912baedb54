// The whole command through the loaded module, as a host runs it: the site
// distribution and every clone, with default settings, over a 512 x 512 quad
// terrain, cloning a 2,002-point closed object that carries a UV map, a
// weight map and a morph map.
//
// Counters: new points per second, and the process's peak resident memory
// divided by the points the run added (run one size at a time, e.g.
// --benchmark_filter=FullRun/10000, for a clean peak).
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdint>
#include <memory>
#include <string>

#include "bench/workloads/workloads.h"
#include "host/loader/plugin_run.h"
#include "host/loader/plugin_loader.h"
#include "host/panel/scripted_face.h"

namespace {

using namespace sowfield;

double peak_resident_bytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

void FullRun(benchmark::State &state) {
    const auto clones = static_cast<int32_t>(state.range(0));
    host::PluginLibrary library = host::PluginLibrary::open(SOWFIELD_MODULE_PATH);
    const sf_server_record &server = library.server(SF_MESH_EDIT_CLASS, "Sowfield");
    int64_t new_points = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto workload = std::make_unique<bench::Workload>();
        bench::build_workload(*workload);
        host::ScriptedFace face({{host::PanelAnswer::set("Number of Clones", std::to_string(clones))}});
        state.ResumeTiming();

        const host::PluginRun run = host::run_plugin(server, workload->scene, {.host = {.strict = false}, .face = &face});
        if (run.result != SF_AFUNC_OK) state.SkipWithError("the run failed");
        new_points += run.points_added;

        state.PauseTiming();
        workload.reset();
        state.ResumeTiming();
    }
    state.counters["new_points/s"] = benchmark::Counter(static_cast<double>(new_points), benchmark::Counter::kIsRate);
    state.counters["new_points"] = static_cast<double>(new_points) / static_cast<double>(state.iterations());
    state.counters["peak_bytes/new_point"] =
        peak_resident_bytes() / (static_cast<double>(new_points) / static_cast<double>(state.iterations()));
    state.counters["seconds/clone"] = benchmark::Counter(static_cast<double>(clones) * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(FullRun)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
