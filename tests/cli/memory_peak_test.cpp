// The memory guard's estimate against what a run really takes: the tool, run
// in a child process, measures how far its resident memory rose above where
// it stood when the run began, and the estimate must be within 10 % of that,
// for many small clones, for a few clones of a large object and for many
// sites on a large surface, give or take 8 MiB: the rise of identical runs
// varies by several MiB (memory freed before the run and used again by it
// does not count), which only matters to small runs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>

#include "cli/exit_codes.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"
#include "tests/cli/tool_runner.h"

namespace sowfield::cli {
namespace {

using testing::ToolResult;

class MemoryPeak : public testing::ToolTest {
protected:
    void expect_estimate_near_peak(std::vector<std::string> arguments) {
#ifdef __SANITIZE_ADDRESS__
        // The sanitizer's shadow memory and quarantine are no part of what a
        // user's run takes, so the estimate is only held to a real build's peak.
        GTEST_SKIP() << "memory peaks are not a user's under AddressSanitizer";
#endif
        arguments.insert(arguments.end(), {"--no-output", "--json", "-q", "--clock", "1"});
        const ToolResult result = run(arguments);
        ASSERT_EQ(result.exit_code, exit_ok) << result.err;
        const nlohmann::json memory = nlohmann::json::parse(result.out)["memory"];
        ASSERT_TRUE(memory.contains("measured_peak")) << "the system did not say how much memory the run took";
        const auto estimate = memory["estimate"].get<double>();
        const auto peak = memory["measured_peak"].get<double>();
        constexpr double kJitter = 8.0 * 1024 * 1024;
        EXPECT_GE(estimate, 0.9 * peak - kJitter) << "estimate " << estimate << " bytes, peak " << peak << " bytes";
        EXPECT_LE(estimate, 1.1 * peak + kJitter) << "estimate " << estimate << " bytes, peak " << peak << " bytes";
    }
};

TEST_F(MemoryPeak, ManySmallClones) { expect_estimate_near_peak({"demo", "--set", "clone_count=3000"}); }

// A side x side grid of triangle pairs, written to `file`.
void write_triangle_grid(const std::filesystem::path &file, uint32_t side) {
    host::Scene scene;
    host::Layer &grid = scene.add_layer("grid");
    for (uint32_t j = 0; j <= side; ++j)
        for (uint32_t i = 0; i <= side; ++i) grid.add_point({i * 0.001, ((i * j) % 7) * 0.0005, j * 0.001});
    for (uint32_t j = 0; j < side; ++j)
        for (uint32_t i = 0; i < side; ++i) {
            const uint32_t a = j * (side + 1) + i, b = a + 1, c = a + side + 1, d = c + 1;
            const uint32_t first[3] = {a, c, b}, second[3] = {b, c, d};
            grid.add_polygon(SF_POLY_FACE, first);
            grid.add_polygon(SF_POLY_FACE, second);
        }
    io::write_mesh_file(file, scene, 0);
}

TEST_F(MemoryPeak, AFewClonesOfALargeObject) {
    write_triangle_grid(path("grid.obj"), 400);  // 161,201 points, 320,000 triangles
    expect_estimate_near_peak({"scatter", data("ground.obj"), path("grid.obj").string(), "--set", "clone_count=6"});
}

// The site search's charts of a large surface, held while the sites are
// chosen, make the peak of a run of small clones.
TEST_F(MemoryPeak, ManySitesOnALargeSurface) {
    write_triangle_grid(path("surface.obj"), 400);  // 320,000 triangles
    write_triangle_grid(path("triangle.obj"), 1);
    expect_estimate_near_peak(
        {"scatter", path("surface.obj").string(), path("triangle.obj").string(), "--set", "clone_count=160000"});
}

}  // namespace
}  // namespace sowfield::cli
