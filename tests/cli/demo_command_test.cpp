// `sowfield demo`: the README's first command writes a file that reads back
// with the built-in scene's surface and its clones.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>

#include "cli/demo_scene.h"
#include "cli/exit_codes.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"
#include "tests/cli/tool_runner.h"

namespace sowfield::cli {
namespace {

using testing::ToolResult;

class Demo : public testing::ToolTest {
protected:
    Demo() { build_demo_scene(scene); }

    const host::Layer &terrain() const { return scene.layer(scene.foreground.front()); }
    const host::Layer &tree() const { return scene.layer(scene.background.front()); }

    host::Scene scene;
};

TEST_F(Demo, WritesTheDefaultFileWithEveryMap) {
    const ToolResult result = run({"demo", "-q"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    EXPECT_EQ(files(), (std::set<std::string>{"sowfield-demo.glb"}));

    host::Scene written;
    const host::Layer &out = written.layer(io::read_mesh_file(path("sowfield-demo.glb"), written));
    EXPECT_EQ(out.point_count(), terrain().point_count() + kDemoClones * tree().point_count());
    EXPECT_EQ(out.polygon_count(), terrain().polygon_count() + kDemoClones * tree().polygon_count());
    EXPECT_NE(out.find_vmap(SF_VMAP_WGHT, "meadow"), nullptr);
    EXPECT_NE(out.find_vmap(SF_VMAP_WGHT, "SF_index"), nullptr);
    EXPECT_NE(out.find_vmap(SF_VMAP_WGHT, "height"), nullptr);
    EXPECT_NE(out.find_vmap(SF_VMAP_TXUV, "UV"), nullptr);
    EXPECT_NE(out.find_vmap(SF_VMAP_MORF, "wind"), nullptr);
}

TEST_F(Demo, WritesExactClonesAsInstancesAndSaysWhyOthersAreNot) {
    const ToolResult placed = run({"demo", "-o", "wood.glb", "--instances", "gpu", "--set", "clone_count=20"});
    ASSERT_EQ(placed.exit_code, exit_ok) << placed.err;
    EXPECT_THAT(placed.out, ::testing::HasSubstr("; 20 clones instanced (gpu); "));
    const ToolResult jittered =
        run({"demo", "-o", "wood.gltf", "--instances", "nodes", "--set", "clone_count=20", "--set", "jitter=0.1"});
    ASSERT_EQ(jittered.exit_code, exit_ok) << jittered.err;
    EXPECT_THAT(jittered.out, ::testing::HasSubstr("; 0 clones instanced (nodes), 20 written as geometry: their points "
                                                   "are not one placed copy of the object (jitter"));
    const ToolResult obj = run({"demo", "-o", "wood.obj", "--instances", "gpu"});
    EXPECT_EQ(obj.exit_code, exit_usage);
    EXPECT_THAT(obj.err, ::testing::HasSubstr("--instances gpu: OBJ has no instancing"));
    EXPECT_EQ(files(), (std::set<std::string>{"wood.bin", "wood.glb", "wood.gltf"}));
}

TEST_F(Demo, TakesTheSettingsAndOutputOfScatter) {
    const ToolResult result =
        run({"demo", "-o", "wood.obj", "--clones-only", "--set", "clone_count=25", "--set", "density_weightmap=meadow",
             "-q"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    EXPECT_EQ(files(), (std::set<std::string>{"wood.mtl", "wood.obj"}));
    host::Scene written;
    const host::Layer &out = written.layer(io::read_mesh_file(path("wood.obj"), written));
    // OBJ splits a point where its polygons disagree on texture coordinates;
    // the tree has none of those, so its points come back one for one.
    EXPECT_EQ(out.point_count(), 25 * tree().point_count());
}

// True once the process has mapped the plug-in module.
bool module_loaded(pid_t process) {
    std::ifstream maps("/proc/" + std::to_string(process) + "/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libsowfield.so") != std::string::npos) return true;
    return false;
}

TEST_F(Demo, InterruptedRunWritesNothing) {
    // Thousands of clones take seconds; the interrupt comes as soon as the
    // module is loaded, while the panel is asked or the clones are built.
    const pid_t tool = start({"demo", "-q", "--set", "clone_count=5000"});
    bool loaded = false;
    for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
         !loaded && std::chrono::steady_clock::now() < deadline;) {
        loaded = module_loaded(tool);
        if (!loaded) ::usleep(500);
    }
    ::kill(tool, SIGINT);
    const ToolResult result = finish(tool);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(result.exit_code, exit_interrupted);
    EXPECT_TRUE(files().empty());
}

TEST_F(Demo, InterruptedWriteWritesNothing) {
    // The writer's temporary file appears beside the output once the run is
    // done; interrupted then, the tool finishes the file and takes it away.
    const pid_t tool = start({"demo", "-q", "-o", "wood.obj", "--set", "clone_count=5000"});
    bool writing = false;
    for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
         !writing && std::chrono::steady_clock::now() < deadline;) {
        for (const std::string &name : files()) writing = writing || name.starts_with(".wood.obj.tmp");
        if (!writing) ::usleep(500);
    }
    ::kill(tool, SIGTERM);
    const ToolResult result = finish(tool);
    ASSERT_TRUE(writing) << "never saw the write begin";
    EXPECT_EQ(result.exit_code, exit_interrupted);
    EXPECT_TRUE(files().empty());
}

}  // namespace
}  // namespace sowfield::cli
