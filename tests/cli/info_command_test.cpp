// `sowfield info`: what a file holds, as a user reads it before choosing
// surfaces and weight maps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "tests/cli/tool_runner.h"

namespace sowfield::cli {
namespace {

using ::testing::HasSubstr;
using testing::ToolResult;

class Info : public testing::ToolTest {};

TEST_F(Info, ListsCountsTypesSurfacesAndMaps) {
    const ToolResult ground = run({"info", data("ground.obj")});
    ASSERT_EQ(ground.exit_code, exit_ok) << ground.err;
    EXPECT_THAT(ground.out, HasSubstr(": 25 points, 16 polygons\n"));
    EXPECT_THAT(ground.out, HasSubstr("polygon types:  FACE 16\n"));
    EXPECT_THAT(ground.out, HasSubstr("polygon sizes:  4 points x16\n"));
    EXPECT_THAT(ground.out, HasSubstr("\"Grass\"  8 polygons, flat\n"));
    EXPECT_THAT(ground.out, HasSubstr("\"Rock\"  8 polygons, flat\n"));
    EXPECT_THAT(ground.out, HasSubstr("vertex maps: none\n"));

    const ToolResult pebble = run({"info", data("pebble.obj")});
    ASSERT_EQ(pebble.exit_code, exit_ok) << pebble.err;
    EXPECT_THAT(pebble.out, HasSubstr("polygon sizes:  3 points x4  4 points x1\n"));
    EXPECT_THAT(pebble.out, HasSubstr("TXUV  \"UV\"  2 per point, 5 points with a value\n"));
}

TEST_F(Info, ShowsWhatAScatterAdded) {
    ASSERT_EQ(run({"scatter", data("ground.obj"), data("pebble.obj"), "-o", "out.glb", "--set", "clone_count=3",
                   "-q"})
                  .exit_code,
              exit_ok);
    const ToolResult out = run({"info", "out.glb"});
    ASSERT_EQ(out.exit_code, exit_ok) << out.err;
    EXPECT_THAT(out.out, HasSubstr(": 40 points, 31 polygons\n"));
    EXPECT_THAT(out.out, HasSubstr("WGHT  \"SF_index\"  1 per point, 15 points with a value\n"));
    EXPECT_THAT(out.out, HasSubstr("\"Stone\"  15 polygons, flat\n"));
}

// The Blender-style field: its turned node's box, normals and materials on
// both surfaces, the painted weight map; the same facts as JSON.
TEST_F(Info, ShowsBoundsNormalsAndMapsAlsoAsJson) {
    const std::string field = data("../io/blender_style.gltf");
    const ToolResult text = run({"info", field});
    ASSERT_EQ(text.exit_code, exit_ok) << text.err;
    EXPECT_THAT(text.out, HasSubstr("\"Grass\"  2 polygons, with normals; base colour 0.2 0.6 0.1, metallic 0, "
                                    "roughness 0.8, 1 texture\n"));
    EXPECT_THAT(text.out, HasSubstr("WGHT  \"ROCKINESS\"  1 per point, 8 points with a value\n"));
    EXPECT_THAT(text.out, HasSubstr("  bounding box: ("));

    const ToolResult json_run = run({"info", field, "--json"});
    ASSERT_EQ(json_run.exit_code, exit_ok) << json_run.err;
    const nlohmann::json json = nlohmann::json::parse(json_run.out);
    const nlohmann::json &layer = json["layers"][0];
    EXPECT_EQ(layer["points"], 8);
    EXPECT_NEAR(layer["bounding_box"]["min"][2].get<double>(), -2.0, 1e-6) << "x 0..2 turned onto z 0..-2";
    EXPECT_NEAR(layer["bounding_box"]["max"][0].get<double>(), 0.0, 1e-6);
    EXPECT_EQ(layer["surfaces"][1]["name"], "Rock");
    EXPECT_EQ(layer["surfaces"][1]["normals"], true);
    EXPECT_EQ(layer["surfaces"][1]["material"],
              "base colour 0.5 0.5 0.55, metallic 0, roughness 0.4, 1 texture, double-sided, with extensions");
    const nlohmann::json rockiness = {{"type", "WGHT"}, {"name", "ROCKINESS"}, {"dimension", 1}, {"points", 8}};
    EXPECT_NE(std::find(layer["maps"].begin(), layer["maps"].end(), rockiness), layer["maps"].end());
}

TEST_F(Info, BadFilesAreReportedByName) {
    const ToolResult missing = run({"info", "absent.obj"});
    EXPECT_EQ(missing.exit_code, exit_bad_input);
    EXPECT_THAT(missing.err, HasSubstr("absent.obj"));
    const ToolResult broken = run({"info", data("broken.obj")});
    EXPECT_EQ(broken.exit_code, exit_bad_input);
    EXPECT_THAT(broken.err, HasSubstr("broken.obj"));
    EXPECT_TRUE(broken.out.empty());
}

}  // namespace
}  // namespace sowfield::cli
