#include "cli/memory_guard.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "sowfield_host.h"

namespace sowfield::cli {
namespace {

// The host's storage per element (host/scene/scene.h).
constexpr uint64_t kPointBytes = 24;          // three doubles
constexpr uint64_t kPolygonBytes = 12;        // corner span and attributes
constexpr uint64_t kCornerBytes = 4;          // one point index
constexpr uint64_t kMapBlockPoints = host::VertexMap::kBlockPoints;
// A map block: a presence bit and `dimension` floats per point.
constexpr uint64_t map_block_bytes(int dimension) {
    return kMapBlockPoints / 8 + kMapBlockPoints * static_cast<uint64_t>(dimension) * sizeof(float);
}
// The plug-in's records: a site and its grid entry per clone; a collected
// target polygon (record plus its point positions); a point-map slot per
// background point.
constexpr uint64_t kSiteBytes = 160;
constexpr uint64_t kTargetPolygonBytes = 64;
constexpr uint64_t kTargetCornerBytes = 24;
constexpr uint64_t kPointMapBytes = 32;
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

uint64_t MemoryEstimate::total() const { return add(add(scene_bytes, plugin_bytes), writer_bytes); }

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
    estimate.scene_bytes = add(add(mul(new_points, kPointBytes), mul(estimate.polygons, kPolygonBytes)),
                               mul(estimate.corners, kCornerBytes));

    // Maps hold whole blocks: one that every clone writes holds those over
    // the new points; the numbered morph maps share the clones out, each
    // holding the blocks its own clones reach (a clone's points span at most
    // one block more than they fill).
    const uint64_t range_blocks =
        new_points == 0 ? 0 : ((points_after - 1) / kMapBlockPoints) - (old_points / kMapBlockPoints) + 1;
    estimate.scene_bytes = add(estimate.scene_bytes, mul(range_blocks, map_block_bytes(1)));  // "SF_index"
    for (const CloneFootprint::Map &map : clone.maps) {
        uint64_t blocks = range_blocks;
        if (map.type == SF_VMAP_MORF && request.auto_morph_maps > 0 && new_points > 0)
            blocks = std::min(mul(static_cast<uint64_t>(request.auto_morph_maps), range_blocks),
                              mul(clones, clone.points / kMapBlockPoints + 2));
        estimate.scene_bytes = add(estimate.scene_bytes, mul(blocks, map_block_bytes(map.dimension)));
    }

    estimate.plugin_bytes = add(add(mul(clones, kSiteBytes), mul(request.target_polygons, kTargetPolygonBytes)),
                                add(mul(request.target_corners, kTargetCornerBytes), mul(clone.points, kPointMapBytes)));

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

std::optional<uint64_t> parse_mem_available(std::string_view meminfo) {
    constexpr std::string_view key = "MemAvailable:";
    for (size_t start = 0; start < meminfo.size();) {
        size_t end = meminfo.find('\n', start);
        if (end == std::string_view::npos) end = meminfo.size();
        std::string_view line = meminfo.substr(start, end - start);
        start = end + 1;
        if (!line.starts_with(key)) continue;
        line.remove_prefix(key.size());
        while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
        uint64_t kib = 0;
        const auto [rest, error] = std::from_chars(line.data(), line.data() + line.size(), kib);
        if (error != std::errc{}) return std::nullopt;
        const std::string_view unit(rest, static_cast<size_t>(line.data() + line.size() - rest));
        if (unit != " kB") return std::nullopt;
        return mul(kib, 1024);
    }
    return std::nullopt;
}

namespace {

std::optional<uint64_t> read_number_file(const char *path) {
    std::ifstream in(path);
    std::string text;
    if (!(in >> text)) return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;  // "max": no limit
    return value;
}

}  // namespace

std::optional<MemoryLimit> available_memory() {
    std::optional<MemoryLimit> limit;
    std::ifstream meminfo("/proc/meminfo");
    std::ostringstream text;
    text << meminfo.rdbuf();
    if (const auto available = parse_mem_available(text.str()))
        limit = MemoryLimit{*available, "MemAvailable in /proc/meminfo"};
    // A container's cgroup limit can be far below what the machine has free.
    const auto maximum = read_number_file("/sys/fs/cgroup/memory.max");
    const auto current = read_number_file("/sys/fs/cgroup/memory.current");
    if (maximum && current) {
        const uint64_t room = *maximum > *current ? *maximum - *current : 0;
        if (!limit || room < limit->bytes) limit = MemoryLimit{room, "the cgroup limit in /sys/fs/cgroup/memory.max"};
    }
    return limit;
}

std::optional<uint64_t> parse_size(std::string_view text) {
    double number = 0.0;
    const auto [rest, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc{} || !(number >= 0.0)) return std::nullopt;
    std::string_view unit(rest, static_cast<size_t>(text.data() + text.size() - rest));
    while (!unit.empty() && unit.front() == ' ') unit.remove_prefix(1);
    double scale = 1.0;
    if (!unit.empty()) {
        constexpr std::string_view letters = "KMGT";
        const size_t power = letters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(unit.front()))));
        if (power == std::string_view::npos) {
            if (unit != "B" && unit != "bytes") return std::nullopt;
        } else {
            unit.remove_prefix(1);
            if (!unit.empty() && unit != "B" && unit != "iB") return std::nullopt;
            for (size_t i = 0; i <= power; ++i) scale *= 1024.0;
        }
    }
    const double bytes = number * scale;
    if (!(bytes < 18446744073709551616.0)) return std::nullopt;
    return static_cast<uint64_t>(bytes);
}

std::string format_bytes(uint64_t bytes) {
    constexpr const char *units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 5) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 10.0 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

GuardVerdict check_memory(const MemoryRequest &request, const MemoryLimit &limit) {
    GuardVerdict verdict;
    verdict.estimate = estimate_memory(request);
    // The estimate grows with the clone count, so the largest count that fits
    // is found by bisection.
    int64_t low = 0, high = std::max<int64_t>(request.clones, 0);
    MemoryRequest trial = request;
    while (low < high) {
        trial.clones = low + (high - low + 1) / 2;
        if (estimate_memory(trial).total() <= limit.bytes)
            low = trial.clones;
        else
            high = trial.clones - 1;
    }
    verdict.clones_that_fit = low;
    if (verdict.estimate.total() <= limit.bytes) return verdict;

    verdict.refused = true;
    const MemoryEstimate &e = verdict.estimate;
    std::string message = "this run needs about " + format_bytes(e.total()) + " of memory (" +
                          std::to_string(request.clones) + " clones of " + std::to_string(request.clone.points) +
                          " points and " + std::to_string(request.clone.polygons) + " polygons: " +
                          format_bytes(e.scene_bytes) + " for the result, " + format_bytes(e.plugin_bytes) +
                          " for the plug-in's records";
    if (e.writer_bytes > 0) message += ", " + format_bytes(e.writer_bytes) + " to write the output";
    message += "), but only " + format_bytes(limit.bytes) + " is available (" + limit.source + ").\n";
    if (verdict.clones_that_fit > 0)
        message += "Use fewer clones (" + std::to_string(verdict.clones_that_fit) +
                   " fit: --set clone_count=" + std::to_string(verdict.clones_that_fit) + ")";
    else
        message += "Not even one clone fits beside the surface's records: free some memory or use a smaller surface";
    MemoryRequest clones_only = request;
    clones_only.clones_only = true;
    if (estimate_memory(clones_only).total() <= limit.bytes) message += ", write only the clones with --clones-only";
    message += ", or run anyway with --force.";
    verdict.message = std::move(message);
    return verdict;
}

}  // namespace sowfield::cli
