// The benchmark object of the clone benchmarks: a closed 2,000-point torus
// of 40 x 50 quads, every point on four of them, with one UV map, one weight
// map and one morph map; and the run state build_clone reads, set as a run
// sets it.
#pragma once

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "clone/clone_transform.h"
#include "clone/geometry_copy.h"
#include "numeric/point.h"
#include "numeric/random.h"
#include "plugin/host_services.h"
#include "settings/vmap_catalogue.h"
#include "surface/site_distribution.h"

namespace sowfield::bench {

constexpr int kRings = 40;
constexpr int kSegments = 50;
constexpr int kPoints = kRings * kSegments;

inline constexpr char kUvName[] = "uv";
inline constexpr char kWeightName[] = "w";
inline constexpr char kMorphName[] = "m";

struct torus {
    std::vector<Point> positions;
    std::vector<std::array<int, 4>> quads;
    std::vector<std::array<float, 2>> uv;
    std::vector<float> weight;
    std::vector<std::array<float, 3>> morph;

    torus() {
        constexpr double kTwoPi = 6.283185307179586;
        for (int i = 0; i < kRings; ++i) {
            for (int j = 0; j < kSegments; ++j) {
                const double u = kTwoPi * i / kRings, v = kTwoPi * j / kSegments;
                const double r = 2.0 + 0.5 * std::cos(v);
                positions.push_back({r * std::cos(u), 0.5 * std::sin(v), r * std::sin(u)});
                uv.push_back({static_cast<float>(i) / kRings, static_cast<float>(j) / kSegments});
                weight.push_back(static_cast<float>(j % 7) / 7.0f);
                morph.push_back({0.0f, 0.1f * static_cast<float>(std::sin(u)), 0.0f});
                const int i1 = (i + 1) % kRings, j1 = (j + 1) % kSegments;
                quads.push_back({i * kSegments + j, i1 * kSegments + j, i1 * kSegments + j1, i * kSegments + j1});
            }
        }
    }
};

// The run state build_clone reads, set as a run sets it and cleared after.
class clone_run {
public:
    explicit clone_run(sf_edit_session *session) {
        edit_session = session;
        txuv_maps = new vmap_name_node{kUvName, nullptr};
        wght_maps = new vmap_name_node{kWeightName, nullptr};
        morf_maps = new vmap_name_node{kMorphName, nullptr};
        site_.position = {3.0, 0.0, -1.0};
        site_.pitch = 0.3;
        site_.heading = 1.1;
        current_site = &site_;
        settings.jitter = 0.05;
        settings.auto_morph_maps = 3;
        generator.reseed(25);
    }
    ~clone_run() {
        release_point_map();
        release_name_list(txuv_maps);
        release_name_list(wght_maps);
        release_name_list(morf_maps);
        current_site = nullptr;
        edit_session = nullptr;
    }
    clone_run(const clone_run &) = delete;
    clone_run &operator=(const clone_run &) = delete;

    void build(int32_t clones) {
        settings.clone_count = clones;
        for (int32_t i = 0; i < clones; ++i) {
            settings.current_clone = i;
            build_clone(settings);
        }
    }

    params_typ settings;  // the defaults: angles of +-10 degrees, sizes +-25 %, both alignments

private:
    clone_site site_;
};

inline void report(benchmark::State &state, int64_t clones) {
    const auto made = static_cast<int64_t>(state.iterations()) * clones;
    state.SetItemsProcessed(made * kPoints);  // new points
    state.counters["clone"] = benchmark::Counter(static_cast<double>(made), benchmark::Counter::kIsRate |
                                                                                benchmark::Counter::kInvert);
}

}  // namespace sowfield::bench
