// OK in the page is refused when the run would not fit, with advice in the
// panel's own words.
#include "cli/view/memory_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/memory_guard.h"
#include "tests/support/scene_builders.h"

namespace sowfield::cli::view {
namespace {

using ::testing::HasSubstr;

TEST(ViewMemoryCheck, RefusesOnlyWhatDoesNotFit) {
    testing::TwoLayerScene world;
    testing::add_quad(world.fg, {0, 0, 0}, {4, 0, 0}, {4, 0, -4}, {0, 0, -4});
    testing::add_cube(world.bg, {0, 0.5, 0}, 1.0, {.selected = false});
    host::PanelSnapshot accepted;
    host::ControlSnapshot clones;
    clones.label = "Number of Clones";
    clones.value = host::PanelValue(int32_t{1000000});
    accepted.controls.push_back(clones);

    const MemoryRequest request = run_memory_request(world.scene, accepted, OutputPlan::none, false);
    ASSERT_EQ(request.clones, 1000000);
    EXPECT_EQ(request.target_polygons, 1u);
    const uint64_t needed = estimate_memory(request).total();

    EXPECT_EQ(memory_refusal(world.scene, accepted, MemoryLimit{needed, "test"}), "");
    EXPECT_EQ(memory_refusal(world.scene, accepted, std::nullopt), "");
    const GuardVerdict verdict = check_memory(request, {needed / 2, "test"});
    const std::string refusal = memory_refusal(world.scene, accepted, MemoryLimit{needed / 2, "test"});
    EXPECT_THAT(refusal, HasSubstr("This run needs about"));
    EXPECT_THAT(refusal, HasSubstr("Lower \"Number of Clones\" to " + std::to_string(verdict.clones_that_fit)));
    EXPECT_THAT(refusal, ::testing::Not(HasSubstr("--")));  // no command-line advice in the page
}

}  // namespace
}  // namespace sowfield::cli::view
