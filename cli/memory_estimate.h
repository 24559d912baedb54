// The memory a run will take beyond what the process holds before it: the
// growth of the scene, the plug-in's records of the run and the writer's.
//
// The estimate follows how the stand-in host stores a layer (host/scene.h):
// 24 bytes a point, 12 bytes a polygon plus 4 a corner, and vertex maps in
// blocks of VertexMap::kBlockPoints points (a presence bit and the floats of
// every point of the block), allocated where a value is first written, so a
// map that every clone writes costs whole blocks over the clones' points.
// Each clone copies every point that a background polygon uses, with the
// values those points carry, and writes "SF_index" on each; with "Auto morph
// maps" N, a morph map is spread over up to N numbered maps, each holding the
// blocks its clones reach.
//
// Writers stream the layer into the file (io/), so they need a buffer, and
// glTF's description holds run-length records of polygon sizes and missing
// values, which cost the writer several hundred bytes per run while it
// builds the description (measured: 200,000 clones of a pyramid, two runs
// each, raised the peak by 270 MB).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/scene/scene.h"

namespace sowfield::cli {

// What one clone adds, measured on the background layers.
struct CloneFootprint {
    uint64_t points = 0;     // background points that some polygon uses
    uint64_t polygons = 0;   // background polygons
    uint64_t corners = 0;    // their corners
    // Runs of the per-polygon and per-point records a glTF file of ours
    // keeps in its description: runs of equal polygon sizes within each
    // surface, and points without a value in a carried map (counted one by
    // one: an upper bound on their runs).
    uint64_t record_runs = 0;
    struct Map {
        uint32_t type = 0;
        std::string name;
        int dimension = 0;
    };
    // Vertex maps (of the types the copy carries) in which some used
    // background point has a value, each (type, name) once.
    std::vector<Map> maps;
};

CloneFootprint measure_clone(const host::Scene &scene, std::span<const size_t> background);

// Which part of the result is written, and how.
enum class OutputPlan { none, obj, gltf, glb };

struct MemoryRequest {
    CloneFootprint clone;
    int64_t clones = 0;           // "Number of Clones" as the run will use it
    int32_t auto_morph_maps = 0;  // "Auto morph maps"
    const host::Layer *foreground = nullptr;  // the layer receiving the clones (its size and existing maps)
    uint64_t target_polygons = 0;  // selected foreground polygons (the plug-in copies each)
    uint64_t target_corners = 0;
    OutputPlan output = OutputPlan::none;
    bool clones_only = false;  // the writer writes only what the run adds
};

struct MemoryEstimate {
    // The growth the estimate assumes.
    uint64_t points = 0;
    uint64_t polygons = 0;
    uint64_t corners = 0;
    uint64_t scene_bytes = 0;   // growth of the foreground layer
    uint64_t plugin_bytes = 0;  // the plug-in's records of the run (sites, targets, point map)
    uint64_t writer_bytes = 0;  // the writer's buffers beyond the scene
    // The site search's charts of the target polygons, held only while the
    // sites are chosen, before the scene grows.
    uint64_t search_bytes = 0;
    // The larger of the two peaks, while the sites are chosen and at the
    // end, saturating at UINT64_MAX.
    uint64_t total() const;
};

MemoryEstimate estimate_memory(const MemoryRequest &request);

}  // namespace sowfield::cli
