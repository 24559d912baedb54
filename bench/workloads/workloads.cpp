#include "bench/workloads/workloads.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "sowfield_host.h"

namespace sowfield::bench {

namespace {

// Rolling hills a few units high, and one ridge whose sides rise at about 60
// degrees, so the slope limits have something to refuse.
double terrain_height(double x, double z) {
    const double hills = 1.5 * std::sin(0.11 * x) * std::cos(0.07 * z) + 0.6 * std::sin(0.031 * (x + z));
    const double ridge_distance = std::abs(z - 0.4 * x - 20.0);
    const double ridge = ridge_distance < 4.0 ? (4.0 - ridge_distance) * 1.7 : 0.0;
    return hills + ridge;
}

}  // namespace

void build_terrain(host::Layer &layer, int quads, double side) {
    const uint32_t first = layer.point_count();
    const int n = quads + 1;
    const double step = side / quads;
    layer.reserve(static_cast<uint64_t>(n) * n, static_cast<uint64_t>(quads) * quads,
                  4ull * static_cast<uint64_t>(quads) * quads);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const double x = -0.5 * side + i * step;
            const double z = 0.5 * side - j * step;
            layer.add_point({x, terrain_height(x, z), z});
        }
    }
    // Row j runs along +x at z decreasing with j: (i, j), (i+1, j), (i+1, j+1),
    // (i, j+1) is counter-clockwise seen from +y.
    for (int j = 0; j < quads; ++j) {
        for (int i = 0; i < quads; ++i) {
            const uint32_t a = first + static_cast<uint32_t>(j * n + i);
            const uint32_t corners[4] = {a, a + 1, a + 1 + static_cast<uint32_t>(n), a + static_cast<uint32_t>(n)};
            layer.add_polygon(SF_POLY_FACE, corners, 0, SF_POLY_SELECTED);
        }
    }
}

void build_object(host::Layer &layer, int rings, int segments) {
    const uint32_t bottom = layer.add_point({0.0, 0.0, 0.0});
    std::vector<uint32_t> ring_start;
    for (int k = 1; k <= rings; ++k) {
        const double t = static_cast<double>(k) / (rings + 1);
        const double radius = 0.35 * std::sin(std::numbers::pi * t) * (1.0 + 0.3 * t);
        ring_start.push_back(layer.point_count());
        for (int s = 0; s < segments; ++s) {
            const double a = 2.0 * std::numbers::pi * s / segments;
            layer.add_point({radius * std::cos(a), 1.4 * t, radius * std::sin(a)});
        }
    }
    const uint32_t top = layer.add_point({0.0, 1.4, 0.0});

    const auto seg = static_cast<uint32_t>(segments);
    auto at = [&](int ring, uint32_t s) { return ring_start[static_cast<size_t>(ring)] + s % seg; };
    // Outward-facing: seen from outside, corners run counter-clockwise.
    for (uint32_t s = 0; s < seg; ++s) {
        const uint32_t tri[3] = {bottom, at(0, s), at(0, s + 1)};
        layer.add_polygon(SF_POLY_FACE, tri);
    }
    for (int k = 0; k + 1 < rings; ++k) {
        for (uint32_t s = 0; s < seg; ++s) {
            const uint32_t quad[4] = {at(k, s), at(k + 1, s), at(k + 1, s + 1), at(k, s + 1)};
            layer.add_polygon(SF_POLY_FACE, quad);
        }
    }
    for (uint32_t s = 0; s < seg; ++s) {
        const uint32_t tri[3] = {top, at(rings - 1, s + 1), at(rings - 1, s)};
        layer.add_polygon(SF_POLY_FACE, tri);
    }

    host::VertexMap &uv = layer.add_vmap(SF_VMAP_TXUV, "UV", 2);
    host::VertexMap &height = layer.add_vmap(SF_VMAP_WGHT, "height", 1);
    host::VertexMap &bulge = layer.add_vmap(SF_VMAP_MORF, "bulge", 3);
    for (uint32_t p = bottom; p <= top; ++p) {
        const host::Vec3 &q = layer.position(p);
        const double around = std::atan2(q[2], q[0]);
        const float texcoord[2] = {static_cast<float>(around / (2.0 * std::numbers::pi) + 0.5),
                                   static_cast<float>(q[1] / 1.4)};
        uv.set_value(p, texcoord);
        const float w = static_cast<float>(q[1] / 1.4);
        height.set_value(p, &w);
        const float d[3] = {static_cast<float>(0.1 * q[0]), 0.0f, static_cast<float>(0.1 * q[2])};
        bulge.set_value(p, d);
    }
}

void build_workload(Workload &workload, int terrain_quads, double side) {
    host::Layer &surface = workload.scene.add_layer("surface");
    host::Layer &object = workload.scene.add_layer("object");
    workload.scene.foreground = {0};
    workload.scene.background = {1};
    build_terrain(surface, terrain_quads, side);
    build_object(object);
    workload.object_points = object.point_count();
    workload.object_polygons = object.polygon_count();
}

}  // namespace sowfield::bench
