// A user's own scene through the tool: a glTF laid out as Blender writes it
// (tests/data/io/blender_style.gltf) with a painted 0..1 mask, used as the
// density weight map; what it brought (maps, materials with their images,
// normals, names) comes back from every glTF form we write. And an OBJ with
// its material library and a texture (tests/data/io/garden.obj), written
// back as OBJ and as GLB.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cli/exit_codes.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"
#include "tests/cli/tool_runner.h"
#include "tests/io/io_fixture.h"

namespace sowfield::cli {
namespace {

using ::testing::HasSubstr;
using testing::ToolResult;

constexpr uint32_t kPebblePoints = 5;

class OwnScene : public testing::ToolTest {
protected:
    static std::string field() { return data("../io/blender_style.gltf"); }
};

// The mask is 0 on "Grass" (world z above -1) and 1 on "Rock" (z below -1);
// remapped to -1..1, the 0s keep clones away. A pebble's points average to
// its site whatever its size and heading.
TEST_F(OwnScene, AMaskRemappedToWeightsKeepsClonesOffItsZeros) {
    const ToolResult result =
        run({"scatter", field(), data("pebble.obj"), "-o", "clones.glb", "--clones-only", "-q", "--weight-range",
             "rockiness=-1:1", "--set", "Density WeightMap=rockiness", "--set", "clone_count=20", "--set",
             "distribution=0.1", "--press", "Zero Angles"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    host::Scene scene;
    const host::Layer &clones = scene.layer(io::read_mesh_file(path("clones.glb"), scene));
    ASSERT_EQ(clones.point_count(), 20 * kPebblePoints);
    for (uint32_t first = 0; first < clones.point_count(); first += kPebblePoints) {
        double z = 0.0;
        for (uint32_t p = first; p < first + kPebblePoints; ++p) z += clones.position(p)[2] / kPebblePoints;
        EXPECT_LT(z, -1.0) << "clone " << first / kPebblePoints;
    }
}

std::vector<unsigned char> file_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const host::SurfaceLook &look_of(host::Scene &scene, const char *surface) {
    const auto &look = scene.surface_keeping(scene.surface_index(surface)).look;
    if (!look) throw std::runtime_error(std::string("no look on ") + surface);
    return *look;
}

TEST_F(OwnScene, MapsMaterialsNormalsAndNamesComeBackFromEveryGltfForm) {
    std::vector<std::filesystem::path> written;
    for (const char *output : {"field.glb", "field.gltf"}) {
        SCOPED_TRACE(output);
        const ToolResult result = run({"scatter", field(), data("pebble.obj"), "-o", output, "-q", "--clock", "7",
                                       "--weight-range", "rockiness=-1:1", "--set", "Density WeightMap=rockiness",
                                       "--set", "clone_count=5", "--set", "distribution=0.1"});
        ASSERT_EQ(result.exit_code, exit_ok) << result.err;
        written.push_back(path(output));
        host::Scene scene;
        const host::Layer &layer = scene.layer(io::read_mesh_file(path(output), scene));
        EXPECT_EQ(layer.name, "Ground");
        EXPECT_EQ(layer.mesh_name, "GroundMesh");
        ASSERT_EQ(layer.point_count(), 8 + 5 * kPebblePoints);
        const host::VertexMap *rockiness = layer.find_vmap(SF_VMAP_WGHT, "ROCKINESS");
        ASSERT_NE(rockiness, nullptr);
        EXPECT_EQ(rockiness->value_count(), 8u) << "the field's points only: clones copy no map of the surface";
        EXPECT_EQ(*rockiness->value(0), -1.0f) << "painted 0, remapped";
        ASSERT_NE(layer.find_vmap(SF_VMAP_WGHT, "SF_index"), nullptr);

        const host::SurfaceLook &grass = look_of(scene, "Grass");
        EXPECT_EQ(grass.base_colour, (std::array<double, 4>{0.2, 0.6, 0.1, 1}));
        EXPECT_EQ(grass.roughness, 0.8);
        ASSERT_TRUE(grass.base_colour_texture);
        EXPECT_EQ(grass.base_colour_texture->image->bytes, file_bytes(data("../io/grass.png")));
        const host::SurfaceLook &rock = look_of(scene, "Rock");
        EXPECT_TRUE(rock.double_sided);
        EXPECT_EQ(rock.roughness, 0.4);
        ASSERT_TRUE(rock.base_colour_texture);
        EXPECT_EQ(rock.base_colour_texture->image->bytes, file_bytes(data("../io/rock.png")));
        EXPECT_EQ(rock.base_colour_texture->extensions_json, R"({"KHR_texture_transform":{"scale":[2,2]}})");
        EXPECT_EQ(rock.extensions_json, R"({"EXT_example_unknown":{"grain":3}})");

        EXPECT_TRUE(scene.surface_keeping(scene.surface_index("Grass")).smooth);
        EXPECT_TRUE(scene.surface_keeping(scene.surface_index("Rock")).smooth);
        EXPECT_FALSE(scene.surface_keeping(scene.surface_index("Stone")).smooth) << "the pebble came flat";
    }
    EXPECT_EQ(files(), (std::set<std::string>{"field.bin", "field.glb", "field.gltf", "grass.png", "rock.png"}));
    std::string report;
    const int status = sowfield::testing::validate(written, report);
    SKIP_WITHOUT_VALIDATOR(status);
    EXPECT_EQ(status, 0) << report;
}

// What --clones-only writes is copies of the object: it carries the
// object's name, not the surface's.
TEST_F(OwnScene, ClonesOnlyOutputIsNamedAfterTheObject) {
    const ToolResult result = run({"scatter", field(), data("pebble.obj"), "-o", "clones.gltf", "--clones-only", "-q",
                                   "--set", "clone_count=3"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    host::Scene scene;
    EXPECT_EQ(scene.layer(io::read_mesh_file(path("clones.gltf"), scene)).name, "pebble");
    EXPECT_EQ(files(), (std::set<std::string>{"clones.bin", "clones.gltf"})) << "no image the clones do not use";
}

TEST_F(OwnScene, APopUpNamingNoMapListsTheScenesWeightMaps) {
    const ToolResult result = run({"scatter", field(), data("pebble.obj"), "-o", "out.glb", "--set",
                                   "Size WeightMap=moss"});
    EXPECT_EQ(result.exit_code, exit_usage);
    EXPECT_THAT(result.err, HasSubstr("\"Size WeightMap\": the scene has no weight map \"moss\"; its weight maps are "
                                      "\"ROCKINESS\""));
    EXPECT_TRUE(files().empty());
}

// The garden's two materials (a texture on "Grass", a colour on "Stone
// path") reach the OBJ and the GLB output, the clones keep the pebble's
// surface, the texture's bytes come back from both (beside the OBJ as a
// file), and the GLB passes the validator.
TEST_F(OwnScene, AnObjsMaterialsAndTextureSurviveTheTrip) {
    const std::string garden = data("../io/garden.obj");
    const std::string png = sowfield::testing::read_text(data("../io/grass.png"));
    for (const std::string output : {"out.obj", "out.glb"}) {
        SCOPED_TRACE(output);
        const ToolResult result =
            run({"scatter", garden, data("pebble.obj"), "-o", output, "-q", "--set", "clone_count=12"});
        ASSERT_EQ(result.exit_code, exit_ok) << result.err;
        EXPECT_THAT(result.err, ::testing::Not(HasSubstr("warning"))) << "the library and its image were found";

        host::Scene scene;
        const host::Layer &out = scene.layer(io::read_mesh_file(path(output), scene));
        EXPECT_EQ(out.polygon_count(), 2u + 12u * 5u);
        EXPECT_EQ(scene.surface_name(out.polygon_surface(out.polygon_count() - 1)), "Stone") << "the pebble's";
        const host::SurfaceLook *stone = scene.surface_keeping(scene.surface_index("Stone path")).look.get();
        const host::SurfaceLook *grass = scene.surface_keeping(scene.surface_index("Grass")).look.get();
        ASSERT_TRUE(stone && grass);
        const std::array<float, 4> stone_colour{0.4f, 0.35f, 0.3f, 0.5f};  // glTF keeps single precision
        for (size_t c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(static_cast<float>(stone->base_colour[c]), stone_colour[c]);
        EXPECT_EQ(stone->alpha_mode, host::AlphaMode::blend);
        ASSERT_TRUE(grass->base_colour_texture.has_value());
        EXPECT_EQ(grass->base_colour_texture->image->bytes, std::vector<unsigned char>(png.begin(), png.end()));
    }
    EXPECT_EQ(files(), (std::set<std::string>{"grass.png", "out.glb", "out.mtl", "out.obj"}));

    std::string report;
    const int status = sowfield::testing::validate({path("out.glb")}, report);
    SKIP_WITHOUT_VALIDATOR(status);
    EXPECT_EQ(status, 0) << report;
}

}  // namespace
}  // namespace sowfield::cli
