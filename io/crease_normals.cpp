#include "io/crease_normals.h"

#include <bit>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "host/scene/normals.h"

namespace sowfield::io::detail {

namespace {

struct PositionKey {
    uint64_t x, y, z;
    bool operator==(const PositionKey &) const = default;
};

struct PositionHash {
    size_t operator()(const PositionKey &k) const {
        return static_cast<size_t>(k.x * 0x9E3779B97F4A7C15ull ^ (k.y + 0x632BE59BD9B4E019ull) * 0x85EBCA77C2B2AE63ull ^
                                   k.z * 0xC2B2AE3D27D4EB4Full);
    }
};

// The smooth polygons around each position: positions numbered in order of
// first use, and for each the polygons (selection offsets) touching it.
struct PositionFan {
    std::vector<uint32_t> group_of_corner;  // per smooth corner, in CornerNormals order
    std::vector<uint64_t> fan_start;        // per group, into fan; one more at the end
    std::vector<uint32_t> fan;
};

host::Vec3 unit(const host::Vec3 &v) {
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(length > 0.0) || !std::isfinite(length)) return {0.0, 0.0, 0.0};
    return {v[0] / length, v[1] / length, v[2] / length};
}

double dot(const host::Vec3 &a, const host::Vec3 &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Which selected polygons are written with normals; numbers their corners.
CornerNormals plan_corners(const host::Scene &scene, const host::Layer &layer, const WriteSelection &selection) {
    CornerNormals corners;
    uint64_t count = 0;
    for (uint32_t polygon = selection.first_polygon; polygon < selection.polygon_end; ++polygon) {
        const uint32_t surface = layer.polygon_surface(polygon);
        const size_t size = layer.polygon_points(polygon).size();
        const bool smooth = surface < scene.surface_count() && scene.surface_keeping(surface).smooth && size >= 3;
        if (smooth && corners.first.empty()) corners.first.assign(selection.polygon_end - selection.first_polygon, CornerNormals::kFlat);
        if (!smooth) continue;
        corners.first[polygon - selection.first_polygon] = count;
        count += size;
    }
    corners.normals.resize(count);
    return corners;
}

PositionFan fan_positions(const host::Layer &layer, const WriteSelection &selection, const CornerNormals &corners) {
    PositionFan fans;
    fans.group_of_corner.resize(corners.normals.size());
    std::unordered_map<PositionKey, uint32_t, PositionHash> group_of;
    std::vector<uint32_t> group_size;
    for (uint32_t offset = 0; offset < corners.first.size(); ++offset) {
        if (!corners.smooth(offset)) continue;
        uint64_t corner = corners.first[offset];
        for (const uint32_t point : layer.polygon_points(selection.first_polygon + offset)) {
            const host::Vec3 &p = layer.position(point);
            // +0.0 so that -0 and 0 meet.
            const PositionKey key{std::bit_cast<uint64_t>(p[0] + 0.0), std::bit_cast<uint64_t>(p[1] + 0.0),
                                  std::bit_cast<uint64_t>(p[2] + 0.0)};
            const auto [at, added] = group_of.try_emplace(key, static_cast<uint32_t>(group_size.size()));
            if (added) group_size.push_back(0);
            ++group_size[at->second];
            fans.group_of_corner[corner++] = at->second;
        }
    }
    fans.fan_start.assign(group_size.size() + 1, 0);
    for (size_t g = 0; g < group_size.size(); ++g) fans.fan_start[g + 1] = fans.fan_start[g] + group_size[g];
    fans.fan.resize(fans.fan_start.back());
    std::vector<uint64_t> filled(fans.fan_start.begin(), fans.fan_start.end() - 1);
    for (uint32_t offset = 0; offset < corners.first.size(); ++offset) {
        if (!corners.smooth(offset)) continue;
        const uint64_t first = corners.first[offset];
        const size_t size = layer.polygon_points(selection.first_polygon + offset).size();
        for (uint64_t corner = first; corner < first + size; ++corner)
            fans.fan[filled[fans.group_of_corner[corner]]++] = offset;
    }
    return fans;
}

}  // namespace

CornerNormals crease_normals(const host::Scene &scene, const host::Layer &layer, const WriteSelection &selection,
                             double crease_degrees) {
    CornerNormals corners = plan_corners(scene, layer, selection);
    if (corners.empty()) return corners;
    // Each smooth polygon's Newell sums (area-weighted) and unit normal.
    std::vector<host::Vec3> area(corners.first.size()), facing(corners.first.size());
    for (uint32_t offset = 0; offset < corners.first.size(); ++offset) {
        if (!corners.smooth(offset)) continue;
        area[offset] = host::newell_sums(layer, layer.polygon_points(selection.first_polygon + offset));
        facing[offset] = unit(area[offset]);
    }
    const PositionFan fans = fan_positions(layer, selection, corners);
    const double limit = std::cos(crease_degrees * std::numbers::pi / 180.0);
    for (uint32_t offset = 0; offset < corners.first.size(); ++offset) {
        if (!corners.smooth(offset)) continue;
        const uint64_t first = corners.first[offset];
        const size_t size = layer.polygon_points(selection.first_polygon + offset).size();
        for (uint64_t corner = first; corner < first + size; ++corner) {
            const uint32_t group = fans.group_of_corner[corner];
            host::Vec3 sum{0.0, 0.0, 0.0};
            for (uint64_t i = fans.fan_start[group]; i < fans.fan_start[group + 1]; ++i) {
                const uint32_t other = fans.fan[i];
                if (other != offset && dot(facing[offset], facing[other]) < limit) continue;
                for (size_t axis = 0; axis < 3; ++axis) sum[axis] += area[other][axis];
            }
            host::Vec3 n = unit(sum);
            if (n == host::Vec3{0.0, 0.0, 0.0}) n = facing[offset];
            // A polygon of no area has no front: any unit vector will do.
            if (n == host::Vec3{0.0, 0.0, 0.0}) n = {0.0, 1.0, 0.0};
            corners.normals[corner] = {static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])};
        }
    }
    return corners;
}

}  // namespace sowfield::io::detail
