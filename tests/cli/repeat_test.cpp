// Repeating a run: the same inputs, settings and --clock give the same bytes;
// the clock changes what "Random Seed" does not fix (sizes), never the sites;
// every run says which clock repeats it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "io/mesh_file.h"
#include "tests/cli/tool_runner.h"

namespace sowfield::cli {
namespace {

using testing::ToolResult;

constexpr uint32_t kPebblePoints = 5;  // four base corners around the origin, then the apex

std::string bytes_of(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The JSON chunk of a GLB file.
nlohmann::json glb_json(const std::filesystem::path &path) {
    const std::string bytes = bytes_of(path);
    uint32_t length = 0;
    if (bytes.size() < 20) return {};
    std::memcpy(&length, bytes.data() + 12, sizeof length);
    return nlohmann::json::parse(bytes.substr(20, length));
}

struct Clone {
    host::Vec3 site;  // the middle of the base, where the pebble's origin went
    double height;     // from the base to the apex: 0.2 times the clone's size
};

std::vector<Clone> clones_in(const std::filesystem::path &path) {
    host::Scene scene;
    const host::Layer &layer = scene.layer(io::read_mesh_file(path, scene));
    std::vector<Clone> clones;
    for (uint32_t first = 0; first + kPebblePoints <= layer.point_count(); first += kPebblePoints) {
        host::Vec3 site{0, 0, 0};
        for (uint32_t corner = 0; corner < 4; ++corner)
            for (int axis = 0; axis < 3; ++axis) site[axis] += layer.position(first + corner)[axis] / 4;
        const host::Vec3 apex = layer.position(first + 4);
        double height = 0;
        for (int axis = 0; axis < 3; ++axis) height += (apex[axis] - site[axis]) * (apex[axis] - site[axis]);
        clones.push_back({site, std::sqrt(height)});
    }
    return clones;
}

class Repeat : public testing::ToolTest {
protected:
    ToolResult scatter(const std::string &output, std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"scatter", data("ground.obj"), data("pebble.obj"), "-o", output, "-q"});
        return run(arguments);
    }
};

TEST_F(Repeat, TheSameClockGivesTheSameBytes) {
    for (const std::string extension : {".obj", ".glb"}) {
        ASSERT_EQ(scatter("a" + extension, {"--clock", "1234"}).exit_code, exit_ok);
        ASSERT_EQ(scatter("b" + extension, {"--clock", "1234"}).exit_code, exit_ok);
        std::string second = bytes_of(path("b" + extension));
        if (extension == ".obj") {  // each names its own material library
            second.replace(second.find("mtllib b.mtl"), 12, "mtllib a.mtl");
            EXPECT_EQ(bytes_of(path("a.mtl")), bytes_of(path("b.mtl")));
        }
        EXPECT_EQ(bytes_of(path("a" + extension)), second) << extension;
    }
    // The file says how it was made.
    const nlohmann::json made = glb_json(path("a.glb"))["asset"]["extras"]["sowfield"];
    EXPECT_EQ(made["clock"], 1234);
    EXPECT_EQ(made["command"], "scatter");
    EXPECT_EQ(made["settings"]["Number of Clones"], 30);
}

TEST_F(Repeat, AnotherClockChangesSizesButNotSites) {
    ASSERT_EQ(scatter("a.obj", {"--clock", "1", "--clones-only"}).exit_code, exit_ok);
    ASSERT_EQ(scatter("b.obj", {"--clock", "2", "--clones-only"}).exit_code, exit_ok);
    const std::vector<Clone> a = clones_in(path("a.obj")), b = clones_in(path("b.obj"));
    ASSERT_EQ(a.size(), 30u);
    ASSERT_EQ(b.size(), a.size());
    size_t resized = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int axis = 0; axis < 3; ++axis) EXPECT_NEAR(a[i].site[axis], b[i].site[axis], 1e-9) << i;
        if (std::abs(a[i].height - b[i].height) > 1e-6) ++resized;
    }
    EXPECT_GT(resized, a.size() / 2);
}

TEST_F(Repeat, ARunSaysWhichClockRepeatsIt) {
    const ToolResult first = run({"scatter", data("ground.obj"), data("pebble.obj"), "-o", "a.glb"});
    ASSERT_EQ(first.exit_code, exit_ok) << first.err;
    // std::regex is avoided: GCC 12 warns inside its own header in the sanitizer build.
    const std::string marker = "repeat with --clock ";
    const size_t at = first.out.find(marker);
    ASSERT_NE(at, std::string::npos) << first.out;
    const size_t digits = at + marker.size();
    const std::string clock = first.out.substr(digits, first.out.find_first_not_of("0123456789", digits) - digits);
    ASSERT_FALSE(clock.empty()) << first.out;

    const ToolResult again = scatter("b.glb", {"--clock", clock, "--json"});
    ASSERT_EQ(again.exit_code, exit_ok) << again.err;
    EXPECT_EQ(nlohmann::json::parse(again.out)["clock"], std::stoll(clock));
    EXPECT_EQ(bytes_of(path("a.glb")), bytes_of(path("b.glb")));
}

}  // namespace
}  // namespace sowfield::cli
