#include "cli/demo_scene.h"

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "sowfield_host.h"

namespace sowfield::cli {
namespace {

constexpr int kTerrainQuads = 80;
constexpr double kTerrainSide = 60.0;

double terrain_height(double x, double z) {
    return 2.2 * std::sin(0.13 * x) * std::cos(0.11 * z) + 0.9 * std::sin(0.05 * (x - 2.0 * z)) +
           0.25 * std::sin(0.7 * x + 0.3) * std::sin(0.6 * z);
}

void build_terrain(host::Scene &scene, host::Layer &layer) {
    const uint32_t ground = scene.surface_index("Ground");
    const int n = kTerrainQuads + 1;
    const double step = kTerrainSide / kTerrainQuads;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double x = -0.5 * kTerrainSide + i * step;
            const double z = 0.5 * kTerrainSide - j * step;
            layer.add_point({x, terrain_height(x, z), z});
        }
    // Row j runs along +x at decreasing z: (i, j), (i+1, j), (i+1, j+1),
    // (i, j+1) turns counter-clockwise seen from above, so normals face up.
    for (int j = 0; j < kTerrainQuads; ++j)
        for (int i = 0; i < kTerrainQuads; ++i) {
            const auto a = static_cast<uint32_t>(j * n + i);
            const uint32_t corners[4] = {a, a + 1, a + 1 + static_cast<uint32_t>(n), a + static_cast<uint32_t>(n)};
            layer.add_polygon(SF_POLY_FACE, corners, ground, SF_POLY_SELECTED);
        }
    host::VertexMap &meadow = layer.add_vmap(SF_VMAP_WGHT, "meadow", 1);
    for (uint32_t p = 0; p < layer.point_count(); ++p) {
        const double low = 0.5 - layer.position(p)[1] / 6.0;
        const float weight = static_cast<float>(std::fmin(1.0, std::fmax(0.0, low)));
        meadow.set_value(p, &weight);
    }
}

// The tree's profile from foot to tip: ring radius and height. Bands between
// rings 0 and 1 are bark, the rest foliage.
struct Ring {
    double radius;
    double height;
};
constexpr std::array<Ring, 8> kProfile{{
    {0.12, 0.0}, {0.10, 0.5}, {0.80, 0.55}, {0.35, 1.2}, {0.62, 1.25}, {0.22, 1.85}, {0.42, 1.9}, {0.08, 2.45}}};
constexpr double kTipHeight = 2.6;
constexpr int kSegments = 12;

void build_tree(host::Scene &scene, host::Layer &layer) {
    const uint32_t bark = scene.surface_index("Bark");
    const uint32_t leaves = scene.surface_index("Leaves");
    // Each ring has one point more than it has segments: the seam's two
    // points share a position but not a texture coordinate.
    constexpr uint32_t kRingPoints = kSegments + 1;
    const uint32_t foot = layer.add_point({0.0, 0.0, 0.0});
    for (const Ring &ring : kProfile)
        for (int s = 0; s <= kSegments; ++s) {
            const double angle = 2.0 * std::numbers::pi * (s % kSegments) / kSegments;
            layer.add_point({ring.radius * std::cos(angle), ring.height, ring.radius * std::sin(angle)});
        }
    const uint32_t tip = layer.add_point({0.0, kTipHeight, 0.0});
    const auto at = [&](size_t ring, uint32_t s) { return foot + 1 + static_cast<uint32_t>(ring) * kRingPoints + s; };

    // Corners run counter-clockwise seen from outside.
    for (uint32_t s = 0; s < kSegments; ++s) {
        const uint32_t cap[3] = {foot, at(0, s), at(0, s + 1)};
        layer.add_polygon(SF_POLY_FACE, cap, bark);
    }
    for (size_t k = 0; k + 1 < kProfile.size(); ++k)
        for (uint32_t s = 0; s < kSegments; ++s) {
            const uint32_t quad[4] = {at(k, s), at(k + 1, s), at(k + 1, s + 1), at(k, s + 1)};
            layer.add_polygon(SF_POLY_FACE, quad, k == 0 ? bark : leaves);
        }
    for (uint32_t s = 0; s < kSegments; ++s) {
        const uint32_t cap[3] = {tip, at(kProfile.size() - 1, s + 1), at(kProfile.size() - 1, s)};
        layer.add_polygon(SF_POLY_FACE, cap, leaves);
    }

    host::VertexMap &uv = layer.add_vmap(SF_VMAP_TXUV, "UV", 2);
    host::VertexMap &height = layer.add_vmap(SF_VMAP_WGHT, "height", 1);
    host::VertexMap &wind = layer.add_vmap(SF_VMAP_MORF, "wind", 3);
    for (uint32_t p = foot; p <= tip; ++p) {
        const double t = layer.position(p)[1] / kTipHeight;
        const uint32_t column = p == foot || p == tip ? kSegments / 2 : (p - foot - 1) % kRingPoints;
        const float texcoord[2] = {static_cast<float>(column) / kSegments, static_cast<float>(t)};
        uv.set_value(p, texcoord);
        const float weight = static_cast<float>(t);
        height.set_value(p, &weight);
        const float bend[3] = {static_cast<float>(0.35 * t * t), 0.0f, static_cast<float>(0.12 * t * t)};
        wind.set_value(p, bend);
    }
}

}  // namespace

void build_demo_scene(host::Scene &scene) {
    const size_t terrain = scene.layer_count();
    build_terrain(scene, scene.add_layer("terrain"));
    const size_t tree = scene.layer_count();
    build_tree(scene, scene.add_layer("tree"));
    scene.foreground = {terrain};
    scene.background = {tree};
}

}  // namespace sowfield::cli
