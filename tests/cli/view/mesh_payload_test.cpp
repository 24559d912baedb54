#include "cli/view/mesh_payload.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sowfield_host.h"

namespace sowfield::cli::view {
namespace {

struct Decoded {
    uint32_t vertices = 0;
    uint32_t triangles = 0;
    std::vector<float> positions, values;
    std::vector<uint32_t> indices;
};

Decoded decode(const std::string &bytes) {
    Decoded d;
    std::memcpy(&d.vertices, bytes.data(), 4);
    std::memcpy(&d.triangles, bytes.data() + 4, 4);
    const char *at = bytes.data() + 8;
    const auto take = [&](auto &out, size_t count) {
        out.resize(count);
        std::memcpy(out.data(), at, count * 4);
        at += count * 4;
    };
    take(d.positions, size_t{d.vertices} * 3);
    take(d.values, d.vertices);
    take(d.indices, size_t{d.triangles} * 3);
    EXPECT_EQ(at, bytes.data() + bytes.size());
    return d;
}

// `clones` copies of a unit quad (4 points, 1 polygon each) side by side
// along x, after one line polygon that carries no triangle.
host::Layer quads(int clones) {
    host::Layer layer;
    const uint32_t a = layer.add_point({0, 0, 0});
    const uint32_t b = layer.add_point({0, 0, 1});
    layer.add_polygon(SF_POLY_FACE, std::vector<uint32_t>{a, b});
    host::VertexMap &index = layer.add_vmap(SF_VMAP_WGHT, "index", 1);
    for (int c = 0; c < clones; ++c) {
        std::vector<uint32_t> corners;
        for (const auto &[x, z] : {std::pair{0, 0}, {1, 0}, {1, 1}, {0, 1}}) {
            corners.push_back(layer.add_point({double(c * 2 + x), 5.0, double(z)}));
            const float value = float(c) / float(clones);
            index.set_value(corners.back(), &value);
        }
        layer.add_polygon(SF_POLY_FACE, corners);
    }
    return layer;
}

TEST(MeshPayload, FanTriangulatesSharesPointsAndSendsPositionsFromTheOrigin) {
    const host::Layer layer = quads(2);
    const Decoded mesh = decode(encode_mesh(layer, {0, layer.polygon_count(), 1, 1}, {1, 5, 0}, &layer.vmap(0)));
    EXPECT_EQ(mesh.triangles, 4u);  // two quads; the line has none
    EXPECT_EQ(mesh.vertices, 8u);   // only the points the triangles use
    EXPECT_EQ(mesh.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7}));
    EXPECT_EQ(std::vector<float>(mesh.positions.begin(), mesh.positions.begin() + 6),
              (std::vector<float>{-1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(mesh.values, (std::vector<float>{0, 0, 0, 0, 0.5f, 0.5f, 0.5f, 0.5f}));
}

TEST(MeshPayload, SamplesWholeClonesEvenlyWithinTheBudget) {
    const host::Layer layer = quads(10);
    const PolygonSelection all = sample_clones(layer, 1, 10, 100);
    EXPECT_EQ(all.keep_every, 1u);
    EXPECT_EQ(groups_kept(all), 10u);

    const PolygonSelection some = sample_clones(layer, 1, 10, 5);  // 20 triangles over a budget of 5
    EXPECT_EQ(some.keep_every, 4u);
    EXPECT_EQ(groups_kept(some), 3u);  // clones 0, 4 and 8
    const Decoded mesh = decode(encode_mesh(layer, some, {0, 0, 0}, &layer.vmap(0)));
    EXPECT_EQ(mesh.triangles, 6u);
    EXPECT_EQ(mesh.values, (std::vector<float>{0, 0, 0, 0, 0.4f, 0.4f, 0.4f, 0.4f, 0.8f, 0.8f, 0.8f, 0.8f}));
}

TEST(MeshPayload, LayersJoinIntoOneMeshWithoutValues) {
    host::Scene scene;
    scene.add_layer("one") = quads(1);
    scene.add_layer("two") = quads(2);
    const Decoded mesh = decode(encode_layers(scene, {0, 1}, {0, 0, 0}));
    EXPECT_EQ(mesh.triangles, 6u);
    EXPECT_EQ(mesh.vertices, 12u);
    EXPECT_EQ(mesh.indices[6], 4u);  // the second layer's points follow the first's
    EXPECT_EQ(mesh.values, std::vector<float>(12, 0.0f));
}

}  // namespace
}  // namespace sowfield::cli::view
