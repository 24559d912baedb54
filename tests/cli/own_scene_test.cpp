// A user's own scene through the tool: a glTF laid out as Blender writes it
// (tests/data/io/blender_style.gltf) with a painted 0..1 mask, used as the
// density weight map; an OBJ with its material library and a texture
// (tests/data/io/garden.obj) written back as OBJ and as GLB.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST_F(OwnScene, APopUpNamingNoMapListsTheScenesWeightMaps) {
    const ToolResult result = run({"scatter", field(), data("pebble.obj"), "-o", "out.glb", "--set",
                                   "Size WeightMap=moss"});
    EXPECT_EQ(result.exit_code, exit_usage);
    EXPECT_THAT(result.err, HasSubstr("\"Size WeightMap\": the scene has no weight map \"moss\"; its weight maps are "
                                      "\"ROCKINESS\""));
    EXPECT_TRUE(files().empty());
}

// The garden's two materials (a texture on "Grass", a colour on "Stone
// path") reach the OBJ output, the clones keep the pebble's surface, and the
// texture arrives beside it with the same bytes; the same run as GLB keeps
// the surfaces and passes the validator.
TEST_F(OwnScene, AnObjsMaterialsAndTextureSurviveTheTrip) {
    const std::string garden = data("../io/garden.obj");
    for (const std::string output : {"out.obj", "out.glb"}) {
        const ToolResult result =
            run({"scatter", garden, data("pebble.obj"), "-o", output, "-q", "--set", "clone_count=12"});
        ASSERT_EQ(result.exit_code, exit_ok) << result.err;
        EXPECT_THAT(result.err, ::testing::Not(HasSubstr("warning"))) << "the library and its image were found";
    }
    EXPECT_EQ(files(), (std::set<std::string>{"grass.png", "out.glb", "out.mtl", "out.obj"}));

    host::Scene scene;
    const host::Layer &out = scene.layer(io::read_mesh_file(path("out.obj"), scene));
    EXPECT_EQ(out.polygon_count(), 2u + 12u * 5u);
    EXPECT_EQ(scene.surface_name(out.polygon_surface(out.polygon_count() - 1)), "Stone") << "the pebble's surface";
    const host::SurfaceLook *stone = scene.surface_keeping(scene.surface_index("Stone path")).look.get();
    const host::SurfaceLook *grass = scene.surface_keeping(scene.surface_index("Grass")).look.get();
    ASSERT_TRUE(stone && grass);
    EXPECT_EQ(stone->base_colour, (std::array<double, 4>{0.4, 0.35, 0.3, 0.5}));
    EXPECT_EQ(stone->alpha_mode, host::AlphaMode::blend);
    ASSERT_TRUE(grass->base_colour_texture.has_value());
    const std::string png = sowfield::testing::read_text(data("../io/grass.png"));
    EXPECT_EQ(grass->base_colour_texture->image->bytes, std::vector<unsigned char>(png.begin(), png.end()));

    host::Scene binary;
    const host::Layer &glb = binary.layer(io::read_mesh_file(path("out.glb"), binary));
    EXPECT_EQ(glb.polygon_count(), 2u + 12u * 5u);
    std::set<std::string> surfaces;
    for (uint32_t p = 0; p < glb.polygon_count(); ++p) surfaces.insert(binary.surface_name(glb.polygon_surface(p)));
    EXPECT_EQ(surfaces, (std::set<std::string>{"Grass", "Stone path", "Stone"}));
    std::string report;
    const int status = sowfield::testing::validate({path("out.glb")}, report);
    SKIP_WITHOUT_VALIDATOR(status);
    EXPECT_EQ(status, 0) << report;
}

}  // namespace
}  // namespace sowfield::cli
