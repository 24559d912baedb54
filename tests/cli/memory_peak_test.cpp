// The memory guard's estimate against what a run really takes: the tool, run
// in a child process, measures how far its resident memory rose above where
// it stood when the run began, and the estimate must be within 10 % of that,
// for many small clones and for a few clones of a large object, give or take
// 8 MiB: the rise of identical runs varies by several MiB (memory freed
// before the run and used again by it does not count), which only matters
// to small runs.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

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

TEST_F(MemoryPeak, AFewClonesOfALargeObject) {
    // A 400 x 400 grid of triangles: 161,201 points, 320,000 triangles.
    constexpr uint32_t kSide = 400;
    host::Scene scene;
    host::Layer &grid = scene.add_layer("grid");
    for (uint32_t j = 0; j <= kSide; ++j)
        for (uint32_t i = 0; i <= kSide; ++i) grid.add_point({i * 0.001, ((i * j) % 7) * 0.0005, j * 0.001});
    for (uint32_t j = 0; j < kSide; ++j)
        for (uint32_t i = 0; i < kSide; ++i) {
            const uint32_t a = j * (kSide + 1) + i, b = a + 1, c = a + kSide + 1, d = c + 1;
            const uint32_t first[3] = {a, c, b}, second[3] = {b, c, d};
            grid.add_polygon(SF_POLY_FACE, first);
            grid.add_polygon(SF_POLY_FACE, second);
        }
    io::write_mesh_file(path("grid.obj"), scene, 0);
    expect_estimate_near_peak({"scatter", data("ground.obj"), path("grid.obj").string(), "--set", "clone_count=6"});
}

}  // namespace
}  // namespace sowfield::cli
