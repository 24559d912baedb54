#include "cli/memory_estimate.h"

#include <algorithm>
#include <map>

#include "host/scene/block_pool.h"
#include "sowfield_host.h"

namespace sowfield::cli {
namespace {

// The plug-in's records of a run, measured (peak resident memory of runs
// over objects of 2,000 to 1,000,000 points, with and without maps):
// - per site: the site record and its entry in the site index;
// - per collected target polygon: the record and its point positions;
// - per background point that a clone copies: the point map's hash slot
//   (at most half the slots used, the table doubled as it grows) and its
//   record, and the background point table's entry (position and id) with
//   one value per carried map, both grown by doubling;
// - per background corner: the point map's walk, one step per corner asked
//   about, grown by doubling.
constexpr uint64_t kSiteBytes = 104;
constexpr uint64_t kTargetPolygonBytes = 64;
constexpr uint64_t kTargetCornerBytes = 24;
constexpr uint64_t kBackgroundPointBytes = 128;
constexpr uint64_t kBackgroundValueBytes = 24;
constexpr uint64_t kBackgroundCornerBytes = 18;
// The site search charts every target polygon (three cache lines and an
// owner each) once there are half as many clones as polygons; with fewer it
// keeps a small table.
constexpr uint64_t kChartBytes = 196;
// Counts beyond this saturate the estimate: no machine holds them.
constexpr uint64_t kCountLimit = uint64_t{1} << 48;
// Writers: a bounded output buffer, and for glTF the description's records.
constexpr uint64_t kStreamBufferBytes = uint64_t{8} << 20;
constexpr uint64_t kRecordRunBytes = 768;

uint64_t add(uint64_t a, uint64_t b) {
    uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}
uint64_t mul(uint64_t a, uint64_t b) {
    uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

bool carried_by_copy(uint32_t type) {
    return type == SF_VMAP_TXUV || type == SF_VMAP_WGHT || type == SF_VMAP_MORF || type == SF_VMAP_MNVW ||
           type == SF_VMAP_SPOT;
}

// Runs of equal polygon sizes within each surface, over the layer's polygons
// in order: what a glTF description of ours records for them.
uint64_t size_runs(const host::Layer &layer, std::span<const uint32_t> polygons) {
    std::map<uint32_t, size_t> last_size;  // by surface
    uint64_t runs = 0;
    for (const uint32_t p : polygons) {
        const size_t size = layer.polygon_points(p).size();
        const auto [last, first] = last_size.try_emplace(layer.polygon_surface(p), size);
        if (first || last->second != size) ++runs;
        last->second = size;
    }
    return runs;
}

uint64_t size_runs(const host::Layer &layer) {
    std::vector<uint32_t> all(layer.polygon_count());
    for (uint32_t p = 0; p < layer.polygon_count(); ++p) all[p] = p;
    return size_runs(layer, all);
}

}  // namespace

uint64_t MemoryEstimate::total() const {
    return std::max(add(add(scene_bytes, plugin_bytes), writer_bytes), add(plugin_bytes, search_bytes));
}

CloneFootprint measure_clone(const host::Scene &scene, std::span<const size_t> background) {
    CloneFootprint footprint;
    // The points some polygon uses, per layer: only those are copied.
    std::vector<std::vector<bool>> used(background.size());
    for (size_t b = 0; b < background.size(); ++b) {
        const host::Layer &layer = scene.layer(background[b]);
        used[b].assign(layer.point_count(), false);
        for (uint32_t p = 0; p < layer.polygon_count(); ++p) {
            const std::span<const uint32_t> points = layer.polygon_points(p);
            ++footprint.polygons;
            footprint.corners += points.size();
            for (const uint32_t point : points) {
                if (!used[b][point]) ++footprint.points;
                used[b][point] = true;
            }
        }
        footprint.record_runs += size_runs(layer);
    }
    // The maps some copied point has a value in, each (type, name) once.
    for (size_t b = 0; b < background.size(); ++b) {
        const host::Layer &layer = scene.layer(background[b]);
        for (size_t m = 0; m < layer.vmap_count(); ++m) {
            const host::VertexMap &map = layer.vmap(m);
            if (!carried_by_copy(map.type())) continue;
            const bool listed = std::any_of(footprint.maps.begin(), footprint.maps.end(), [&](const auto &known) {
                return known.type == map.type() && known.name == map.name();
            });
            bool carried = false;
            for (uint32_t point = 0; point < layer.point_count() && !carried && !listed; ++point)
                carried = used[b][point] && map.has_value(point);
            if (carried) footprint.maps.push_back({map.type(), map.name(), map.dimension()});
        }
    }
    // Copied points without a value in a carried map, wherever they come from.
    for (const CloneFootprint::Map &carried : footprint.maps)
        for (size_t b = 0; b < background.size(); ++b) {
            const host::Layer &layer = scene.layer(background[b]);
            const host::VertexMap *map = layer.find_vmap(carried.type, carried.name);
            for (uint32_t point = 0; point < layer.point_count(); ++point)
                if (used[b][point] && (map == nullptr || !map->has_value(point))) ++footprint.record_runs;
        }
    return footprint;
}

namespace {

// The corners of a layer's polygons.
uint64_t corner_count(const host::Layer &layer) {
    uint64_t corners = 0;
    for (uint32_t p = 0; p < layer.polygon_count(); ++p) corners += layer.polygon_points(p).size();
    return corners;
}

// What the foreground's storage grows by, in the host's own blocks, when the
// clones are added to what it holds.
uint64_t layer_growth(const host::Layer *foreground, const MemoryEstimate &added) {
    if (added.points > kCountLimit || added.polygons > kCountLimit || added.corners > kCountLimit) return UINT64_MAX;
    const uint64_t points = foreground != nullptr ? foreground->point_count() : 0;
    const uint64_t polygons = foreground != nullptr ? foreground->polygon_count() : 0;
    const uint64_t corners = foreground != nullptr ? corner_count(*foreground) : 0;
    return host::Layer::storage_bytes(points + added.points, polygons + added.polygons, corners + added.corners) -
           host::Layer::storage_bytes(points, polygons, corners);
}

// The storage the host keeps ready ahead of need: a few blocks of each size
// the run's arrays and maps use (host/block_pool.h).
uint64_t blocks_kept_ready(const CloneFootprint &clone) {
    uint64_t bytes = add(host::Layer::storage_bytes(1, 1, 1), host::VertexMap::block_bytes(1));  // "SF_index"
    for (const CloneFootprint::Map &map : clone.maps) bytes = add(bytes, host::VertexMap::block_bytes(map.dimension));
    return mul(bytes, host::block_pool::kReadyPerSize);
}

}  // namespace

MemoryEstimate estimate_memory(const MemoryRequest &request) {
    const CloneFootprint &clone = request.clone;
    const uint64_t clones = request.clones > 0 ? static_cast<uint64_t>(request.clones) : 0;
    const uint64_t new_points = mul(clones, clone.points);
    const uint64_t old_points = request.foreground != nullptr ? request.foreground->point_count() : 0;
    const uint64_t points_after = add(old_points, new_points);

    MemoryEstimate estimate;
    estimate.points = new_points;
    estimate.polygons = mul(clones, clone.polygons);
    estimate.corners = mul(clones, clone.corners);
    estimate.scene_bytes = clones == 0 ? 0 : add(layer_growth(request.foreground, estimate), blocks_kept_ready(clone));

    // Maps hold whole blocks: one that every clone writes holds those over
    // the new points; the numbered morph maps share the clones out, each
    // holding the blocks its own clones reach (a clone's points span at most
    // one block more than they fill).
    constexpr uint64_t kMapBlockPoints = host::VertexMap::kBlockPoints;
    const uint64_t range_blocks =
        new_points == 0 ? 0 : ((points_after - 1) / kMapBlockPoints) - (old_points / kMapBlockPoints) + 1;
    estimate.scene_bytes = add(estimate.scene_bytes, mul(range_blocks, host::VertexMap::block_bytes(1)));  // "SF_index"
    for (const CloneFootprint::Map &map : clone.maps) {
        uint64_t blocks = range_blocks;
        if (map.type == SF_VMAP_MORF && request.auto_morph_maps > 0 && new_points > 0)
            blocks = std::min(mul(static_cast<uint64_t>(request.auto_morph_maps), range_blocks),
                              mul(clones, clone.points / kMapBlockPoints + 2));
        estimate.scene_bytes = add(estimate.scene_bytes, mul(blocks, host::VertexMap::block_bytes(map.dimension)));
    }

    const uint64_t per_background_point = kBackgroundPointBytes + kBackgroundValueBytes * clone.maps.size();
    estimate.plugin_bytes = add(add(mul(clones, kSiteBytes), mul(request.target_polygons, kTargetPolygonBytes)),
                                mul(request.target_corners, kTargetCornerBytes));
    if (clones > 0)
        estimate.plugin_bytes = add(estimate.plugin_bytes, add(mul(clone.points, per_background_point),
                                                               mul(clone.corners, kBackgroundCornerBytes)));

    if (clones >= request.target_polygons / 2)
        estimate.search_bytes = mul(request.target_polygons, kChartBytes);

    switch (request.output) {
    case OutputPlan::none:
        break;
    case OutputPlan::obj:
        estimate.writer_bytes = kStreamBufferBytes;
        break;
    case OutputPlan::gltf:
    case OutputPlan::glb: {
        uint64_t runs = mul(clones, clone.record_runs);
        if (!request.clones_only && request.foreground != nullptr)
            runs = add(runs, add(size_runs(*request.foreground), request.foreground->vmap_count() + clone.maps.size()));
        estimate.writer_bytes = add(kStreamBufferBytes, mul(runs, kRecordRunBytes));
        break;
    }
    }
    return estimate;
}

}  // namespace sowfield::cli
