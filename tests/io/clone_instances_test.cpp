// Clones written as instances of one mesh: recognised from the real
// plug-in's output (turned, normal-aligned, mirrored by negative sizes, with
// UVs, weights and morphs), refused with the right reason when they are not
// exact copies, and read back as the realized output within the stated bound;
// the files pass the validator and load in three.js as instanced meshes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/demo_scene.h"
#include "cli/setting_names.h"
#include "host/loader/plugin_run.h"
#include "host/loader/plugin_loader.h"
#include "host/panel/scripted_face.h"
#include "io/clone_instances.h"
#include "io/gltf_instancing.h"
#include "sowfield_host.h"
#include "tests/io/io_fixture.h"
#include "tests/support/module_fixture.h"

namespace sowfield::testing {
namespace {

using host::Vec3;

// The demo scene after one run of the real plug-in with `settings`
// (NAME=VALUE as the tool's --set takes them).
struct DemoRun {
    explicit DemoRun(const std::vector<std::string> &settings) {
        cli::build_demo_scene(scene);
        const host::Layer &terrain = scene.layer(scene.foreground.front());
        first_point = terrain.point_count();
        first_polygon = terrain.polygon_count();
        std::vector<host::PanelAnswer> answers{host::PanelAnswer::set("Number of Clones", "40")};
        for (const std::string &setting : settings) answers.push_back(cli::parse_set(setting));
        const host::PluginLibrary library = host::PluginLibrary::open(module_path());
        host::ScriptedFace face({answers});
        std::ostringstream silent;
        host::run_plugin(library.server(SF_MESH_EDIT_CLASS, "Sowfield"), scene,
                         {.host = {.info_out = &silent, .error_out = &silent}, .face = &face});
    }
    io::CloneInstances find() const {
        return io::find_clone_instances(scene, scene.foreground.front(), scene.background, first_point, first_polygon);
    }

    host::Scene scene;
    uint32_t first_point = 0;
    uint32_t first_polygon = 0;
};

double max_norm(const Vec3 &a) { return std::max({std::fabs(a[0]), std::fabs(a[1]), std::fabs(a[2])}); }
Vec3 minus(const Vec3 &a, const Vec3 &b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }

// Expects the instanced file's geometry to be the realized file's: polygons
// and map values alike, clone positions and morphs within the stated bound
// of each clone (the rest exactly).
void expect_same_within_bound(const host::Scene &realized_scene, const host::Layer &realized,
                              const host::Scene &instanced_scene, const host::Layer &instanced,
                              const io::CloneInstances &found) {
    ASSERT_EQ(instanced.point_count(), realized.point_count());
    ASSERT_EQ(instanced.polygon_count(), realized.polygon_count());
    for (uint32_t q = 0; q < realized.polygon_count(); ++q) {
        const auto a = realized.polygon_points(q), b = instanced.polygon_points(q);
        ASSERT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << "polygon " << q;
        ASSERT_EQ(instanced.polygon_type(q), realized.polygon_type(q));
        ASSERT_EQ(instanced_scene.surface_name(instanced.polygon_surface(q)),
                  realized_scene.surface_name(realized.polygon_surface(q)));
    }
    // Per clone: the bound's scale |t| + r, and the largest morph displacement.
    std::vector<double> scale(found.clones, 0.0);
    for (const io::ClonePlacement &placement : found.placed) {
        const Vec3 t{placement.translation[0], placement.translation[1], placement.translation[2]};
        double r = 0;
        for (uint32_t i = 0; i < found.clone_points; ++i)
            r = std::max(r, max_norm(minus(realized.position(found.first_point + placement.clone * found.clone_points + i), t)));
        scale[placement.clone] = max_norm(t) + r;
    }
    const auto clone_of = [&](uint32_t point) {
        return point < found.first_point ? UINT64_MAX : (point - found.first_point) / found.clone_points;
    };
    for (uint32_t p = 0; p < realized.point_count(); ++p) {
        const uint64_t clone = clone_of(p);
        const double bound = clone == UINT64_MAX ? 0.0 : io::kPlacementBound * scale[clone];
        ASSERT_LE(max_norm(minus(instanced.position(p), realized.position(p))), bound) << "point " << p;
    }
    for (size_t m = 0; m < realized.vmap_count(); ++m) {
        const host::VertexMap &want = realized.vmap(m);
        const host::VertexMap *got = instanced.find_vmap(want.type(), want.name());
        ASSERT_NE(got, nullptr) << want.name();
        std::vector<double> largest(found.clones, 0.0);
        for (uint32_t p = found.first_point; p < realized.point_count() && want.type() == SF_VMAP_MORF; ++p)
            if (const float *v = want.value(p)) largest[clone_of(p)] = std::max(largest[clone_of(p)], max_norm({v[0], v[1], v[2]}));
        for (uint32_t p = 0; p < realized.point_count(); ++p) {
            const float *a = want.value(p), *b = got->value(p);
            ASSERT_EQ(a == nullptr, b == nullptr) << want.name() << " point " << p;
            if (a == nullptr) continue;
            if (want.type() == SF_VMAP_MORF && clone_of(p) != UINT64_MAX) {
                ASSERT_LE(max_norm({a[0] - b[0], a[1] - b[1], a[2] - b[2]}), io::kPlacementBound * largest[clone_of(p)]);
            } else {
                ASSERT_EQ(std::memcmp(a, b, sizeof(float) * static_cast<size_t>(want.dimension())), 0)
                    << want.name() << " point " << p;
            }
        }
    }
}

// The "meshes" array of a GLB file's JSON.
size_t glb_mesh_count(const std::filesystem::path &path) {
    const std::string bytes = read_text(path);
    uint32_t length = 0;
    std::memcpy(&length, bytes.data() + 12, 4);
    return nlohmann::json::parse(bytes.substr(20, length))["meshes"].size();
}

TEST(CloneInstances, PlacedClonesReadBackAsTheRealizedOutput) {
    // Default (normal-aligned, turned) and per-axis sizes that turn negative (mirrors).
    for (const std::vector<std::string> &settings :
         {std::vector<std::string>{}, {"independent_sizes=on", "size_variation_x=150%", "size_variation_y=150%",
                                       "size_variation_z=150%", "b_max=90", "b_min=-90"}}) {
        SCOPED_TRACE(settings.empty() ? "defaults" : "mirrored");
        const DemoRun run(settings);
        const io::CloneInstances found = run.find();
        ASSERT_EQ(found.clones, 40u);
        ASSERT_EQ(found.placed.size(), 40u);
        EXPECT_TRUE(found.not_placed.empty());
        const bool mirrors = std::any_of(found.placed.begin(), found.placed.end(), [](const io::ClonePlacement &p) {
            return p.scale[0] * p.scale[1] * p.scale[2] < 0;
        });
        EXPECT_EQ(mirrors, !settings.empty());

        ScratchFolder folder;
        const size_t layer = run.scene.foreground.front();
        io::write_mesh_file(folder / "realized.glb", run.scene, layer);
        io::write_instanced_gltf(folder / "gpu.glb", run.scene, layer, {}, found, io::InstanceMode::gpu);
        io::write_instanced_gltf(folder / "nodes.gltf", run.scene, layer, {}, found, io::InstanceMode::nodes);
        EXPECT_EQ(glb_mesh_count(folder / "gpu.glb"), 2u);  // the terrain and the tree, once

        ReadBack realized, gpu, nodes;
        read_back(folder / "realized.glb", realized);
        read_back(folder / "gpu.glb", gpu);
        read_back(folder / "nodes.gltf", nodes);
        expect_same_within_bound(realized.scene, realized.get(), gpu.scene, gpu.get(), found);
        expect_same_within_bound(realized.scene, realized.get(), nodes.scene, nodes.get(), found);

        std::string report;
        const int status = validate({folder / "gpu.glb", folder / "nodes.gltf"}, report);
        SKIP_WITHOUT_VALIDATOR(status);
        EXPECT_EQ(status, 0) << report;
    }
}

TEST(CloneInstances, ThreeLoadsGpuFilesAsInstancedMeshes) {
    const DemoRun run({});
    ScratchFolder folder;
    io::write_instanced_gltf(folder / "gpu.glb", run.scene, run.scene.foreground.front(), {run.first_point, run.first_polygon},
                             run.find(), io::InstanceMode::gpu);
    std::string output;
    const int status = run_node_tool("three-instances.mjs", "three", {(folder / "gpu.glb").string()}, output);
    SKIP_WITHOUT_NODE_TOOL(status);
    ASSERT_EQ(status, 0) << output;
    // The tree's two surfaces are two primitives: one instanced mesh each.
    const nlohmann::json loaded = nlohmann::json::parse(output);
    EXPECT_EQ(loaded["meshes"], 0);
    ASSERT_EQ(loaded["instanced"].size(), 2u);
    const uint32_t tree_points = run.scene.layer(run.scene.background.front()).point_count();
    for (const auto &mesh : loaded["instanced"]) {
        EXPECT_EQ(mesh["count"], 40);
        EXPECT_EQ(mesh["vertices"], tree_points);
    }
}

TEST(CloneInstances, ClonesThatAreNotCopiesAreWrittenAsGeometryWithTheReason) {
    const DemoRun jittered({"jitter=0.05"});
    const io::CloneInstances found = jittered.find();
    EXPECT_TRUE(found.placed.empty());
    ASSERT_EQ(found.not_placed.size(), 1u);
    EXPECT_NE(found.not_placed[0].first.find("jitter"), std::string::npos);
    EXPECT_EQ(found.not_placed[0].second, 40u);

    const DemoRun numbered({"auto_morph_maps=3"});
    const io::CloneInstances morphs = numbered.find();
    EXPECT_TRUE(morphs.placed.empty());
    ASSERT_EQ(morphs.not_placed.size(), 1u);
    EXPECT_NE(morphs.not_placed[0].first.find("numbered morph maps"), std::string::npos);
}

// A flat object (one quad in the x-z plane) placed by hand: turned and
// mirrored, only moved, and once with one point off its place.
TEST(CloneInstances, FlatObjectsAndMixedFilesKeepEveryClone) {
    TwoLayerScene world;
    add_triangle(world.fg, {0, 0, 0}, {10, 0, 0}, {0, 0, 10});
    add_quad(world.bg, {0, 0, 0}, {1, 0, 0}, {1, 0, -2}, {0, 0, -2});
    for (uint32_t p = 0; p < 4; ++p) set_uv(world.bg, "UV", p, 0.25f * static_cast<float>(p), 0.5f);
    const uint32_t first_point = world.fg.point_count();
    const double c = std::cos(0.7), s = std::sin(0.7);
    const std::vector<std::function<Vec3(const Vec3 &)>> placements{
        [&](const Vec3 &p) { return Vec3{c * -2 * p[0] + s * 0.5 * p[2] + 3, 0.0, -s * -2 * p[0] + c * 0.5 * p[2] + 1}; },
        [](const Vec3 &p) { return Vec3{p[0] + 5, p[1] + 1, p[2] + 2}; },
        [](const Vec3 &p) { return Vec3{p[0] + 7 + (p[0] > 0.5 && p[2] < -1 ? 1e-3 : 0.0), p[1], p[2]}; },
    };
    for (size_t clone = 0; clone < placements.size(); ++clone) {
        const uint32_t base = world.fg.point_count();
        for (uint32_t p = 0; p < 4; ++p) {
            world.fg.add_point(placements[clone](world.bg.position(p)));
            set_uv(world.fg, "UV", base + p, 0.25f * static_cast<float>(p), 0.5f);
            set_weight(world.fg, "SF_index", base + p, static_cast<float>(clone) / 3.0f);
        }
        const std::vector<uint32_t> corners{base, base + 1, base + 2, base + 3};
        world.fg.add_polygon(SF_POLY_FACE, corners);
    }
    const io::CloneInstances found =
        io::find_clone_instances(world.scene, 0, world.scene.background, first_point, 1);
    ASSERT_EQ(found.placed.size(), 2u);
    for (size_t k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(found.placed[1].scale[k], 1.0f);
    EXPECT_FLOAT_EQ(found.placed[1].translation[0], 5.0f);
    ASSERT_EQ(found.not_placed.size(), 1u);
    EXPECT_EQ(found.not_placed[0].second, 1u);

    // The file holds the surface and the third clone as geometry, then the
    // two instances: the same points, in that order.
    ScratchFolder folder;
    io::write_instanced_gltf(folder / "mixed.glb", world.scene, 0, {}, found, io::InstanceMode::gpu);
    ReadBack back;
    read_back(folder / "mixed.glb", back);
    const host::Layer &read = back.get();
    ASSERT_EQ(read.point_count(), world.fg.point_count());
    const std::vector<uint32_t> order{0, 1, 2, 11, 12, 13, 14, 3, 4, 5, 6, 7, 8, 9, 10};
    for (uint32_t p = 0; p < read.point_count(); ++p)
        EXPECT_LE(max_norm(minus(read.position(p), world.fg.position(order[p]))), 1e-6) << "point " << p;
    EXPECT_EQ(read.find_vmap(SF_VMAP_WGHT, "SF_index")->value(7)[0], 0.0f);
    EXPECT_EQ(read.find_vmap(SF_VMAP_WGHT, "SF_index")->value(11)[0], 1.0f / 3.0f);
    EXPECT_EQ(read.find_vmap(SF_VMAP_TXUV, "UV")->value(14)[0], 0.75f);
}

}  // namespace
}  // namespace sowfield::testing
