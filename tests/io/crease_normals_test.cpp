// Normals for surfaces that came with them: flat where polygons meet at more
// than the crease angle, smooth elsewhere, unit length, on each polygon's
// front; written to glTF (points split per normal) and OBJ ("vn") and read
// back as the same layer.
#include "io/crease_normals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <nlohmann/json.hpp>

#include "host/scene/normals.h"
#include "sowfield_host.h"
#include "tests/io/io_fixture.h"

namespace sowfield::testing {
namespace {

using io::detail::CornerNormals;

// A globe of `rings` bands and `segments` slices: quads, with triangles at
// the poles, every polygon counter-clockwise seen from outside.
void add_sphere(host::Layer &layer, uint32_t surface, int rings, int segments) {
    const uint32_t north = layer.add_point({0, 1, 0});
    std::vector<uint32_t> ring_start;
    for (int r = 1; r < rings; ++r) {
        ring_start.push_back(layer.point_count());
        const double theta = std::numbers::pi * r / rings;
        for (int s = 0; s < segments; ++s) {
            const double phi = 2 * std::numbers::pi * s / segments;
            // Floats, which glTF keeps exactly.
            const auto f = [](double v) { return static_cast<double>(static_cast<float>(v)); };
            layer.add_point({f(std::sin(theta) * std::cos(phi)), f(std::cos(theta)), f(-std::sin(theta) * std::sin(phi))});
        }
    }
    const uint32_t south = layer.add_point({0, -1, 0});
    const auto at = [&](size_t ring, int s) { return ring_start[ring] + static_cast<uint32_t>(s % segments); };
    for (int s = 0; s < segments; ++s) {
        const uint32_t top[3] = {north, at(0, s), at(0, s + 1)};
        layer.add_polygon(SF_POLY_FACE, top, surface);
        for (size_t r = 0; r + 1 < ring_start.size(); ++r) {
            const uint32_t quad[4] = {at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s + 1)};
            layer.add_polygon(SF_POLY_FACE, quad, surface);
        }
        const uint32_t bottom[3] = {at(ring_start.size() - 1, s), south, at(ring_start.size() - 1, s + 1)};
        layer.add_polygon(SF_POLY_FACE, bottom, surface);
    }
}

struct Shapes {
    Shapes() {
        smooth = scene.surface_index("smooth");
        scene.set_surface_keeping(smooth, {nullptr, true});
        add_cube(scene.add_layer("cube"), {0, 0, 0}, 1.0, {.surface = smooth});
        add_sphere(scene.add_layer("sphere"), smooth, 12, 24);
    }
    host::Scene scene;
    uint32_t smooth = 0;
    const host::Layer &cube() const { return scene.layer(0); }
    const host::Layer &sphere() const { return scene.layer(1); }
};

CornerNormals normals_of(const host::Scene &scene, const host::Layer &layer) {
    const io::detail::WriteSelection all{0, layer.point_count(), 0, layer.polygon_count()};
    return io::detail::crease_normals(scene, layer, all, 60.0);
}

double dot(const io::detail::Normal &a, const host::Vec3 &b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Every corner normal is unit length and on its polygon's front; `check`
// sees each with its polygon, corner and point.
template <class Check>
void for_each_corner(const host::Layer &layer, const CornerNormals &normals, Check check) {
    for (uint32_t polygon = 0; polygon < layer.polygon_count(); ++polygon) {
        ASSERT_TRUE(normals.smooth(polygon));
        host::Vec3 face;
        ASSERT_TRUE(host::newell_normal(layer, layer.polygon_points(polygon), face));
        const auto points = layer.polygon_points(polygon);
        for (size_t k = 0; k < points.size(); ++k) {
            const io::detail::Normal &n = normals.normals[normals.first[polygon] + k];
            EXPECT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0, 1e-6);
            EXPECT_GT(dot(n, face), 0.0) << "polygon " << polygon;
            check(n, face, points[k]);
        }
    }
}

TEST(CreaseNormals, ACubeStaysFlatAndASphereComesBackSmooth) {
    const Shapes shapes;
    for_each_corner(shapes.cube(), normals_of(shapes.scene, shapes.cube()),
                    [](const io::detail::Normal &n, const host::Vec3 &face, uint32_t) {
                        EXPECT_NEAR(dot(n, face), 1.0, 1e-6) << "a 90 degree edge is sharper than 60";
                    });
    const host::Layer &sphere = shapes.sphere();
    for_each_corner(sphere, normals_of(shapes.scene, sphere),
                    [&](const io::detail::Normal &n, const host::Vec3 &, uint32_t point) {
                        EXPECT_GT(dot(n, sphere.position(point)), 0.995) << "point " << point;
                    });
    const io::detail::WriteSelection all{0, sphere.point_count(), 0, sphere.polygon_count()};
    for_each_corner(sphere, io::detail::crease_normals(shapes.scene, sphere, all, 1.0),
                    [](const io::detail::Normal &n, const host::Vec3 &face, uint32_t) {
                        EXPECT_NEAR(dot(n, face), 1.0, 1e-6) << "neighbours at least 2 degrees apart, beyond a 1 degree crease";
                    });

    host::Scene plain;
    add_cube(plain.add_layer("cube"), {0, 0, 0}, 1.0);
    EXPECT_TRUE(normals_of(plain, plain.layer(0)).empty()) << "a surface that came flat stays flat";
}

// The vertices of a file's first primitive that has normals, or 0.
size_t normal_vertices(const nlohmann::json &gltf) {
    for (const auto &primitive : gltf["meshes"][0]["primitives"])
        if (primitive["attributes"].contains("NORMAL"))
            return gltf["accessors"][primitive["attributes"]["NORMAL"].get<size_t>()]["count"];
    return 0;
}

TEST(CreaseNormals, FilesCarryThemAndReadBackAsTheSameLayer) {
    const Shapes shapes;
    ScratchFolder folder;
    for (size_t layer = 0; layer < 2; ++layer) {
        for (const char *extension : {".gltf", ".obj"}) {
            const auto file = folder / (shapes.scene.layer(layer).name + extension);
            io::write_mesh_file(file, shapes.scene, layer);
            ReadBack back;
            read_back(file, back);
            expect_same_layer(shapes.scene, shapes.scene.layer(layer), back.scene, back.get(),
                              extension == std::string(".obj") ? Kept::obj : Kept::everything);
            EXPECT_TRUE(back.scene.surface_keeping(back.get().polygon_surface(0)).smooth) << file;
        }
    }
    const nlohmann::json cube = nlohmann::json::parse(read_text(folder / "cube.gltf"));
    EXPECT_EQ(normal_vertices(cube), 24u) << "each corner of the cube its own normal";
    const nlohmann::json sphere = nlohmann::json::parse(read_text(folder / "sphere.gltf"));
    EXPECT_EQ(normal_vertices(sphere), shapes.sphere().point_count()) << "one normal per point";
    const std::string obj = read_text(folder / "cube.obj");
    size_t vn = 0;
    for (size_t at = obj.find("\nvn "); at != std::string::npos; at = obj.find("\nvn ", at + 1)) ++vn;
    EXPECT_EQ(vn, 6u);
}

}  // namespace
}  // namespace sowfield::testing
