// `sowfield scatter` end to end: the built tool run on the small files of
// tests/data/cli, its exit status, what it wrote, and that a failure of any
// class writes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"
#include "tests/cli/tool_runner.h"

namespace sowfield::cli {
namespace {

using ::testing::HasSubstr;
using testing::ToolResult;

constexpr uint32_t kGroundPoints = 25, kGroundPolygons = 16;
constexpr uint32_t kPebblePoints = 5, kPebblePolygons = 5;

class Scatter : public testing::ToolTest {
protected:
    // scatter ground.obj pebble.obj plus the arguments.
    ToolResult scatter(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"scatter", data("ground.obj"), data("pebble.obj")});
        return run(arguments);
    }
};

TEST_F(Scatter, WritesTheSurfaceWithTheClones) {
    const ToolResult result = scatter({"-o", "out.obj", "--set", "clone_count=12", "-q"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    EXPECT_EQ(files(), (std::set<std::string>{"out.mtl", "out.obj"}));
    host::Scene scene;
    const host::Layer &out = scene.layer(io::read_mesh_file(path("out.obj"), scene));
    EXPECT_EQ(out.point_count(), kGroundPoints + 12 * kPebblePoints);
    EXPECT_EQ(out.polygon_count(), kGroundPolygons + 12 * kPebblePolygons);
}

TEST_F(Scatter, ClonesOnlyWritesWhatTheRunAdded) {
    const ToolResult result = scatter({"-o", "clones.glb", "--clones-only", "--json"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    const nlohmann::json summary = nlohmann::json::parse(result.out);
    EXPECT_EQ(summary["clones"], 30);  // the plug-in's default
    EXPECT_EQ(summary["added"]["points"], 30 * kPebblePoints);
    EXPECT_EQ(summary["output"]["path"], "clones.glb");
    EXPECT_EQ(summary["output"]["bytes"], std::filesystem::file_size(path("clones.glb")));

    host::Scene scene;
    const host::Layer &out = scene.layer(io::read_mesh_file(path("clones.glb"), scene));
    EXPECT_EQ(out.point_count(), 30 * kPebblePoints);
    EXPECT_EQ(out.polygon_count(), 30 * kPebblePolygons);
    // The clone index and the pebble's texture coordinates came along.
    EXPECT_NE(out.find_vmap(SF_VMAP_WGHT, "SF_index"), nullptr);
    EXPECT_NE(out.find_vmap(SF_VMAP_TXUV, "UV"), nullptr);
}

TEST_F(Scatter, SelectKeepsClonesOnTheNamedSurfaces) {
    const ToolResult result = scatter({"-o", "grass.obj", "--select", "Grass", "--clones-only", "--set",
                                       "clone_count=40", "--set", "distribution=10", "--set", "jitter=0", "-q"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    host::Scene scene;
    const host::Layer &out = scene.layer(io::read_mesh_file(path("grass.obj"), scene));
    ASSERT_EQ(out.point_count(), 40 * kPebblePoints);
    // Grass covers x < 0. Each pebble's first four points are its base, a
    // square centred on the clone's site whatever size and turn the clone
    // drew, so their mean is the site.
    for (uint32_t clone = 0; clone < 40; ++clone) {
        double x = 0.0;
        for (uint32_t k = 0; k < 4; ++k) x += out.position(clone * kPebblePoints + k)[0];
        EXPECT_LT(x / 4, 1e-9) << "clone " << clone;
    }

    const ToolResult unknown = scatter({"-o", "sand.obj", "--select", "Sand"});
    EXPECT_EQ(unknown.exit_code, exit_usage);
    EXPECT_THAT(unknown.err, HasSubstr("no polygons of that surface; its surfaces are:\n  Grass\n  Rock"));
}

TEST_F(Scatter, EveryFailureClassHasItsCodeAndWritesNothing) {
    {
        std::ofstream(path("existing.obj")) << "# an earlier result\n";
    }
    const std::string ground = data("ground.obj"), pebble = data("pebble.obj");
    struct Case {
        std::vector<std::string> arguments;
        int code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"scatter", ground, pebble, "-o", "out.obj", "--set", "clones=3"}, exit_usage, "unknown setting \"clones\""},
        {{"scatter", ground, pebble, "-o", "out.stl"}, exit_usage, "out.stl"},
        {{"scatter", ground, pebble}, exit_usage, "give the output file with -o FILE"},
        {{"scatter", ground, pebble, "-o", "out.obj", "--settings", "missing.json"}, exit_usage, "cannot be opened"},
        {{"scatter", ground, "-o", "out.obj"}, exit_usage, "OBJECT"},
        {{"scatter", ground, data("absent.obj"), "-o", "out.obj"}, exit_bad_input, "absent.obj"},
        {{"scatter", ground, data("broken.obj"), "-o", "out.obj"}, exit_bad_input, "broken.obj"},
        {{"scatter", ground, pebble, "-o", ground}, exit_bad_input, "inputs are never overwritten"},
        {{"scatter", ground, pebble, "-o", "out.obj", "--plugin", "/nonexistent/libsowfield.so"}, exit_plugin,
         "/nonexistent/libsowfield.so"},
        {{"scatter", ground, pebble, "-o", "out.obj", "--set", "clone_count=many"}, exit_refused, "\"many\""},
        {{"scatter", ground, pebble, "-o", "out.obj", "--set", "Y=10"}, exit_refused, "Size axes are linked"},
        {{"scatter", ground, pebble, "-o", "out.obj", "--cancel"}, exit_refused, "cancelled"},
        {{"scatter", ground, pebble, "-o", "out.obj", "--set", "slope_limits=on", "--set", "min_slope_angle=30"},
         exit_refused, "Change slope angle settings"},
        {{"scatter", ground, pebble, "-o", "out.obj", "--memory-limit", "64K"}, exit_memory, "--force"},
        {{"scatter", ground, pebble, "-o", "."}, exit_usage, "the output . is a directory"},
        // The output's folder is checked before anything is read or run.
        {{"scatter", ground, data("broken.obj"), "-o", "no/such/dir/out.obj"}, exit_write_failed,
         "cannot write no/such/dir/out.obj: the folder no/such/dir does not exist"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        const ToolResult result = run(c.arguments);
        EXPECT_EQ(result.exit_code, c.code) << result.err;
        EXPECT_THAT(result.err, HasSubstr(c.message));
        EXPECT_EQ(files(), (std::set<std::string>{"existing.obj"}));
    }
}

// An output's material library must not replace the one an input was read
// with (output shared.obj, input object.obj naming shared.mtl).
TEST_F(Scatter, CompanionFilesNeverReplaceAnInputsLibrary) {
    const std::string library = "newmtl Stone\nKd 0.5 0.5 0.5\n";
    std::ofstream(path("shared.mtl")) << library;
    std::ofstream(path("object.obj")) << "mtllib shared.mtl\nv 0 0 0\nv 0.1 0 0\nv 0 0.1 0\nusemtl Stone\nf 1 2 3\n";
    const ToolResult result = run({"scatter", data("ground.obj"), "object.obj", "-o", "shared.obj"});
    EXPECT_NE(result.exit_code, exit_ok);
    EXPECT_THAT(result.err, HasSubstr("inputs are never overwritten"));
    EXPECT_EQ(files(), (std::set<std::string>{"object.obj", "shared.mtl"}));
    std::ifstream in(path("shared.mtl"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), library);
}

TEST_F(Scatter, ForceRunsPastTheMemoryGuard) {
    const ToolResult result = scatter({"-o", "out.obj", "--memory-limit", "64K", "--force", "-q"});
    EXPECT_EQ(result.exit_code, exit_ok) << result.err;
    EXPECT_THAT(result.err, HasSubstr("Running anyway (--force)"));
    EXPECT_TRUE(std::filesystem::exists(path("out.obj")));
}

TEST_F(Scatter, QuietKeepsTheResultLineSilentHidesIt) {
    EXPECT_THAT(scatter({"--no-output", "-q"}).out, HasSubstr("30 clones: 150 points and 150 polygons added"));
    const ToolResult silent = scatter({"--no-output", "--silent"});
    EXPECT_EQ(silent.exit_code, exit_ok);
    EXPECT_EQ(silent.out, "");
}

TEST_F(Scatter, NoOutputRunsAndReports) {
    const ToolResult result = scatter({"--no-output", "--json", "--set", "clone_count=5"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    const nlohmann::json summary = nlohmann::json::parse(result.out);
    EXPECT_EQ(summary["added"]["points"], 5 * kPebblePoints);
    EXPECT_EQ(summary["added"]["polygons"], 5 * kPebblePolygons);
    EXPECT_TRUE(summary["output"].is_null());
    EXPECT_TRUE(files().empty());
}

TEST_F(Scatter, SetAndPressApplyInCommandLineOrder) {
    const auto h_min = [&](std::vector<std::string> answers) {
        answers.insert(answers.begin(), "--show-panel");
        const ToolResult result = scatter(answers);
        EXPECT_EQ(result.exit_code, exit_ok) << result.err;
        const size_t line = result.out.find("Random rotation H Min");
        return result.out.substr(line, result.out.find('\n', line) - line);
    };
    EXPECT_THAT(h_min({"--set", "h_min=-45", "--press", "Zero Angles"}), HasSubstr(" 0 deg"));
    EXPECT_THAT(h_min({"--press", "Zero Angles", "--set", "h_min=-45"}), HasSubstr(" -45 deg"));
    EXPECT_TRUE(files().empty());  // the panel was only shown
}

TEST_F(Scatter, SavedSettingsReadBack) {
    const ToolResult first = scatter({"--no-output", "-q", "--set", "clone_count=7", "--set", "independent_sizes=on",
                                      "--set", "Z=12.5%", "--set", "b_max=33", "--save-settings", "saved.json"});
    ASSERT_EQ(first.exit_code, exit_ok) << first.err;
    const nlohmann::json saved = nlohmann::json::parse(std::ifstream(path("saved.json")));
    EXPECT_EQ(saved["Number of Clones"], 7);
    EXPECT_EQ(saved["Independent Sizes"], true);
    EXPECT_EQ(saved["Z"], 12.5);
    EXPECT_EQ(saved["B Max"], 33);

    // Read back, the same settings give the same file again.
    const ToolResult second =
        scatter({"--no-output", "-q", "--settings", "saved.json", "--save-settings", "again.json", "--json"});
    ASSERT_EQ(second.exit_code, exit_ok) << second.err;
    EXPECT_EQ(nlohmann::json::parse(second.out)["clones"], 7);
    EXPECT_EQ(nlohmann::json::parse(std::ifstream(path("again.json"))), saved);
}

TEST_F(Scatter, InterruptedBeforeTheRunWritesNothing) {
    // The settings file is a FIFO: the tool waits there, before anything has
    // run, for text that never comes. Opening the writing end succeeds once
    // the tool has opened the reading end, so the interrupt comes when the
    // tool is surely reading its settings.
    ASSERT_EQ(::mkfifo(path("wait.json").c_str(), 0600), 0);
    const pid_t tool = start({"scatter", data("ground.obj"), data("pebble.obj"), "-o", "out.obj", "--settings",
                              "wait.json"});
    int writer = -1;
    for (int attempt = 0; attempt < 3000 && writer < 0; ++attempt) {
        writer = ::open(path("wait.json").c_str(), O_WRONLY | O_NONBLOCK);
        if (writer < 0) ::usleep(10 * 1000);
    }
    EXPECT_GE(writer, 0) << "the tool never opened its settings file";
    ::kill(tool, SIGINT);
    const ToolResult result = finish(tool);
    if (writer >= 0) ::close(writer);
    EXPECT_EQ(result.exit_code, exit_interrupted);
    EXPECT_EQ(result.err, "sowfield: interrupted: nothing written\n");
    EXPECT_EQ(files(), (std::set<std::string>{"wait.json"}));
}

}  // namespace
}  // namespace sowfield::cli
