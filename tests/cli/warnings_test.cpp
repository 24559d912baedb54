// Warnings before a surprising result: each case warns (on standard error and
// in --json), the run still goes ahead, a default run warns of nothing, and
// --no-warnings silences standard error only.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"
#include "tests/cli/tool_runner.h"

namespace sowfield::cli {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using testing::ToolResult;

class Warnings : public testing::ToolTest {
protected:
    // Runs with --json and --no-output; returns the summary's warnings.
    std::vector<std::string> warnings_of(std::vector<std::string> arguments) {
        arguments.insert(arguments.end(), {"--no-output", "--json", "-q"});
        last = run(arguments);
        EXPECT_EQ(last.exit_code, exit_ok) << last.err;
        return nlohmann::json::parse(last.out)["warnings"].get<std::vector<std::string>>();
    }
    std::vector<std::string> scatter_warnings(const std::vector<std::string> &settings) {
        std::vector<std::string> arguments{"scatter", data("ground.obj"), data("pebble.obj")};
        for (const std::string &setting : settings) arguments.insert(arguments.end(), {"--set", setting});
        return warnings_of(arguments);
    }

    ToolResult last;
};

TEST_F(Warnings, ADefaultRunHasNone) {
    EXPECT_THAT(scatter_warnings({}), IsEmpty());
    EXPECT_THAT(last.err, Not(HasSubstr("warning")));
    EXPECT_THAT(warnings_of({"demo"}), IsEmpty());
}

TEST_F(Warnings, EachSurprisingSettingWarns) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"Size Variations=120"}, "\"Size Variations\" is 120 %, above 100 %: sizes can be negative"},
        {{"independent_sizes=on", "Z=150"}, "\"Z\" is 150 %, above 100 %: sizes can be negative"},
        {{"clone_count=0"}, "\"Number of Clones\" is 0: no clone is made"},
        {{"Size Variations=0.4"}, "0.4 means 0.4 %; write 40 for 40 %"},
    };
    for (const auto &[settings, expected] : cases) {
        const std::vector<std::string> warnings = scatter_warnings(settings);
        ASSERT_EQ(warnings.size(), 1u) << expected;
        EXPECT_THAT(warnings[0], HasSubstr(expected));
        EXPECT_THAT(last.err, HasSubstr("sowfield: warning: " + warnings[0] + "\n"));
    }
}

TEST_F(Warnings, NoWarningsSilencesStandardErrorOnly) {
    const std::vector<std::string> warnings =
        warnings_of({"scatter", data("ground.obj"), data("pebble.obj"), "--set", "clone_count=-3", "--no-warnings"});
    EXPECT_THAT(warnings, ::testing::ElementsAre(HasSubstr("is -3")));
    EXPECT_THAT(last.err, Not(HasSubstr("warning")));
}

TEST_F(Warnings, PointsOfNoPolygonAreNamed) {
    std::ofstream(path("dots.obj")) << "v 0 0 0\nv 1 0 0\n";
    EXPECT_THAT(warnings_of({"scatter", data("ground.obj"), path("dots.obj").string()}),
                ::testing::ElementsAre(HasSubstr("background \"dots\": 2 of its 2 points belong to no polygon")));
}

TEST_F(Warnings, AWeightMapTheRuleCannotUseIsNamed) {
    // "height" lives on the demo's tree, not on the ground that receives clones.
    EXPECT_THAT(warnings_of({"demo", "--set", "Density WeightMap=height"}),
                ::testing::ElementsAre(HasSubstr("\"Density WeightMap\" \"height\" has no value on the polygons")));

    // A size weight of -1 at 250 % influence scales by -0.25.
    host::Scene scene;
    host::Layer &ground = scene.layer(io::read_mesh_file(data("ground.obj"), scene));
    host::VertexMap &low = ground.add_vmap(SF_VMAP_WGHT, "low", 1);
    const float minus_one = -1.0f;
    for (uint32_t p = 0; p < ground.point_count(); ++p) low.set_value(p, &minus_one);
    io::write_mesh_file(path("low.glb"), scene, 0);
    EXPECT_THAT(warnings_of({"scatter", path("low.glb").string(), data("pebble.obj"), "--set", "size_weightmap=low",
                             "--set", "size_weightmap_influence=250"}),
                ::testing::ElementsAre(HasSubstr("goes down to -1, which at an influence of 250 % gives clones of "
                                                 "zero or negative size")));
}

// A file read without part of itself (here its material library) warns
// like a setting does, in scatter and in info.
TEST_F(Warnings, WhatAFileWasReadWithoutIsNamed) {
    std::ofstream(path("bare.obj")) << "mtllib gone.mtl\nv 0 0 0\nv 1 0 0\nv 0 0 -1\nusemtl Moss\nf 1 2 3\n";
    const std::string expected = path("bare.obj").string() +
                                 ": line 1: the material library gone.mtl is not there; its materials come "
                                 "without their look";
    EXPECT_THAT(warnings_of({"scatter", path("bare.obj").string(), data("pebble.obj")}),
                ::testing::ElementsAre(expected));
    EXPECT_THAT(last.err, HasSubstr("sowfield: warning: " + expected + "\n"));
    warnings_of({"scatter", path("bare.obj").string(), data("pebble.obj"), "--no-warnings"});
    EXPECT_THAT(last.err, Not(HasSubstr("warning")));

    const ToolResult info = run({"info", path("bare.obj").string(), "--json"});
    EXPECT_EQ(info.exit_code, exit_ok);
    EXPECT_EQ(nlohmann::json::parse(info.out)["warnings"], nlohmann::json::array({expected}));
    EXPECT_THAT(info.err, HasSubstr("sowfield: warning: " + expected + "\n"));
}

}  // namespace
}  // namespace sowfield::cli
