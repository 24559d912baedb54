// Reading and writing a scatter-sized result: 10,000 copies of the 2,002-point
// benchmark object with its UV, weight and morph maps (20 million points,
// 20.5 million polygons), as OBJ and as GLB. Reports the file's bytes per
// second. Each benchmark runs once: one pass is seconds long.
//
// Files go to $SOWFIELD_BENCH_DIR, by default /dev/shm when present, so the
// figures are those of our code rather than of the disk (writing still syncs
// the file; on tmpfs that costs nothing). Set SOWFIELD_BENCH_IO_COPIES for a
// smaller layer. Only one layer is held at a time: the readers free the
// written layer first, and the writers rebuild it.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/workloads/workloads.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"

namespace {

using sowfield::host::Layer;
using sowfield::host::Scene;

std::filesystem::path bench_folder() {
    if (const char *dir = std::getenv("SOWFIELD_BENCH_DIR")) return dir;
    if (std::filesystem::is_directory("/dev/shm")) return "/dev/shm";
    return std::filesystem::temp_directory_path();
}

int copies() {
    const char *text = std::getenv("SOWFIELD_BENCH_IO_COPIES");
    return text ? std::max(1, std::atoi(text)) : 10000;
}

std::unique_ptr<Scene> written;  // the layer to write, built on demand

// The copies side by side on a 100 x 100 grid, each a little larger than the
// last so that no two share a coordinate.
const Scene &scatter_result() {
    if (written) return *written;
    Scene object_scene;
    Layer &object = object_scene.add_layer("object");
    sowfield::bench::build_object(object);
    written = std::make_unique<Scene>();
    Layer &layer = written->add_layer("scatter");
    const int n = copies();
    const uint32_t points = object.point_count();
    uint64_t corners = 0;
    for (uint32_t i = 0; i < object.polygon_count(); ++i) corners += object.polygon_points(i).size();
    layer.reserve(uint64_t{points} * n, uint64_t{object.polygon_count()} * n, corners * n);
    std::vector<sowfield::host::VertexMap *> maps;
    for (size_t m = 0; m < object.vmap_count(); ++m)
        maps.push_back(&layer.add_vmap(object.vmap(m).type(), object.vmap(m).name(), object.vmap(m).dimension()));
    std::vector<uint32_t> polygon;
    for (int c = 0; c < n; ++c) {
        const double scale = 1.0 + c * 1e-5;
        const double x = (c % 100) * 1.5;
        const double z = (c / 100) * 1.5;
        const uint32_t base = layer.point_count();
        for (uint32_t p = 0; p < points; ++p) {
            const auto &q = object.position(p);
            layer.add_point({x + q[0] * scale, q[1] * scale, z + q[2] * scale});
            for (size_t m = 0; m < maps.size(); ++m) maps[m]->set_value(base + p, object.vmap(m).value(p));
        }
        for (uint32_t i = 0; i < object.polygon_count(); ++i) {
            polygon.clear();
            for (uint32_t p : object.polygon_points(i)) polygon.push_back(base + p);
            layer.add_polygon(SF_POLY_FACE, polygon, 0, SF_POLY_SELECTED);
        }
    }
    return *written;
}

void report(benchmark::State &state, const std::filesystem::path &file, uint64_t points) {
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(file));
    state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["points"] = static_cast<double>(points);
}

void write_file(benchmark::State &state, const char *name) {
    const Scene &scene = scatter_result();
    const std::filesystem::path file = bench_folder() / name;
    for (auto _ : state) sowfield::io::write_mesh_file(file, scene, 0);
    report(state, file, scene.layer(0).point_count());
}

void read_file(benchmark::State &state, const char *name) {
    written.reset();  // one layer in memory at a time
    const std::filesystem::path file = bench_folder() / name;
    if (!std::filesystem::exists(file)) {
        state.SkipWithError("run the matching write benchmark first");
        return;
    }
    uint64_t points = 0;
    for (auto _ : state) {
        Scene scene;
        sowfield::io::read_mesh_file(file, scene);
        points = scene.layer(0).point_count();
        state.PauseTiming();  // freeing the layer is no part of reading
        scene = Scene();
        state.ResumeTiming();
    }
    report(state, file, points);
    std::filesystem::remove(file);
}

void BM_WriteObj(benchmark::State &state) { write_file(state, "sowfield_bench.obj"); }
void BM_ReadObj(benchmark::State &state) { read_file(state, "sowfield_bench.obj"); }
void BM_WriteGlb(benchmark::State &state) { write_file(state, "sowfield_bench.glb"); }
void BM_ReadGlb(benchmark::State &state) { read_file(state, "sowfield_bench.glb"); }

// In this order: each read uses the file its write left.
BENCHMARK(BM_WriteObj)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadObj)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteGlb)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadGlb)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
