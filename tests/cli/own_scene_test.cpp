// A user's own scene through the tool: a glTF laid out as Blender writes it
// (tests/data/io/blender_style.gltf) with a painted 0..1 mask, used as the
// density weight map.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/exit_codes.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"
#include "tests/cli/tool_runner.h"

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

}  // namespace
}  // namespace sowfield::cli
