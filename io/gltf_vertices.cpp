#include "io/gltf_vertices.h"

#include <bit>
#include <unordered_map>

namespace sowfield::io::detail {

namespace {

// A point and a normal, by their bits.
struct VertexKey {
    uint32_t point;
    uint32_t x, y, z;
    bool operator==(const VertexKey &) const = default;
};

struct VertexHash {
    size_t operator()(const VertexKey &k) const {
        uint64_t h = k.point * 0x9E3779B97F4A7C15ull;
        for (const uint32_t part : {k.x, k.y, k.z}) h = (h ^ part) * 0xC2B2AE3D27D4EB4Full;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

VertexKey key_of(uint32_t point, const Normal &n) {
    return {point, std::bit_cast<uint32_t>(n[0]), std::bit_cast<uint32_t>(n[1]), std::bit_cast<uint32_t>(n[2])};
}

}  // namespace

GltfVertices split_vertices(const CornerNormals &corners, const host::Layer &layer, const WriteSelection &selection) {
    GltfVertices vertices;
    vertices.points = selection.point_count();
    if (corners.empty()) return vertices;
    // A point's own vertex takes the normal of its first corner; points of no
    // smooth corner get any unit normal (no primitive that has them reads it).
    constexpr Normal kUnset = {0.0f, 0.0f, 0.0f};
    vertices.normals.assign(vertices.points, kUnset);
    vertices.corner_vertex.resize(corners.normals.size());
    std::unordered_map<VertexKey, uint32_t, VertexHash> extra;
    for (uint32_t offset = 0; offset < corners.first.size(); ++offset) {
        if (!corners.smooth(offset)) continue;
        uint64_t corner = corners.first[offset];
        for (const uint32_t point : layer.polygon_points(selection.first_polygon + offset)) {
            const uint32_t own = point - selection.first_point;
            const Normal &n = corners.normals[corner];
            Normal &own_normal = vertices.normals[own];
            if (own_normal == kUnset) own_normal = n;
            uint32_t vertex = own;
            if (key_of(own, own_normal) != key_of(own, n)) {
                const auto [at, added] = extra.try_emplace(key_of(own, n), static_cast<uint32_t>(vertices.count()));
                if (added) {
                    if (vertices.count() >= UINT32_MAX) throw std::length_error("too many vertices for the normals");
                    vertices.extra_points.push_back(own);
                    vertices.normals.push_back(n);
                }
                vertex = at->second;
            }
            vertices.corner_vertex[corner++] = vertex;
        }
    }
    for (Normal &n : vertices.normals)
        if (n == kUnset) n = {0.0f, 1.0f, 0.0f};
    return vertices;
}

}  // namespace sowfield::io::detail
