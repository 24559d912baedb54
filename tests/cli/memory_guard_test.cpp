// The memory guard: the clone footprint against what the real module adds,
// how the estimate responds to its inputs, the limit readers, and the
// refusal with its advice.
#include "cli/memory_guard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "host/loader/plugin_run.h"
#include "host/loader/plugin_loader.h"
#include "host/panel/scripted_face.h"
#include "tests/support/scene_builders.h"

namespace sowfield::cli {
namespace {

using ::testing::HasSubstr;
using testing::add_cube;
using testing::add_quad;
using testing::add_triangle;
using testing::set_morph;
using testing::set_uv;
using testing::set_weight;

// A background of a cube (8 shared points) and, in a second layer, a
// triangle and a point no polygon uses; maps on some points of each.
struct Background {
    testing::TwoLayerScene world;
    host::Layer &second;

    Background() : second(world.scene.add_layer("second")) {
        world.scene.background.push_back(2);
        add_quad(world.fg, {0, 0, 0}, {4, 0, 0}, {4, 0, -4}, {0, 0, -4});
        add_cube(world.bg, {0, 0.5, 0}, 1.0, {.selected = false});
        set_uv(world.bg, "UV", 0, 0.5f, 0.5f);
        set_morph(world.bg, "bend", 3, 0.1f, 0.0f, 0.0f);
        add_triangle(second, {0, 0, 0}, {0.2, 0, 0}, {0, 0.2, 0}, {.selected = false});
        const uint32_t lone = second.add_point({5, 5, 5});
        set_weight(second, "lonely", lone, 1.0f);  // only on the unused point: never copied
        set_uv(second, "UV", 1, 0.25f, 0.75f);     // the same map as the cube's
    }
};

TEST(MemoryGuard, FootprintCountsUsedPointsAndCarriedMapsOnce) {
    Background b;
    const CloneFootprint clone = measure_clone(b.world.scene, b.world.scene.background);
    EXPECT_EQ(clone.points, 8u + 3u);
    EXPECT_EQ(clone.polygons, 6u + 1u);
    EXPECT_EQ(clone.corners, 6u * 4u + 3u);
    // Records: one run of sizes per layer; points lacking "UV" (7 of the
    // cube's, 2 of the triangle's) and "bend" (7 and all 3).
    EXPECT_EQ(clone.record_runs, 2u + 9u + 10u);
    std::set<std::string> maps;
    for (const CloneFootprint::Map &map : clone.maps) maps.insert(map.name);
    EXPECT_EQ(maps, (std::set<std::string>{"UV", "bend"}));
}

TEST(MemoryGuard, FootprintPredictsWhatTheModuleAdds) {
    Background b;
    MemoryRequest request;
    request.clone = measure_clone(b.world.scene, b.world.scene.background);
    request.clones = 7;
    request.foreground = &b.world.fg;
    const MemoryEstimate estimate = estimate_memory(request);

    host::PluginLibrary library = host::PluginLibrary::open(SOWFIELD_MODULE_PATH);
    host::ScriptedFace face({{host::PanelAnswer::set("Number of Clones", "7")}});
    std::ostringstream silent;
    const host::PluginRun run = host::run_plugin(library.server(SF_MESH_EDIT_CLASS, "Sowfield"), b.world.scene,
                                                 {.host = {.info_out = &silent, .error_out = &silent}, .face = &face});
    ASSERT_TRUE(run.violations.empty()) << run.violations.front();
    EXPECT_EQ(static_cast<uint64_t>(run.points_added), estimate.points);
    EXPECT_EQ(static_cast<uint64_t>(run.polygons_added), estimate.polygons);
    // The maps the run created are the carried ones plus the clone index.
    std::set<std::string> created;
    for (size_t m = 0; m < b.world.fg.vmap_count(); ++m) created.insert(b.world.fg.vmap(m).name());
    EXPECT_EQ(created, (std::set<std::string>{"UV", "bend", "SF_index"}));
}

MemoryRequest sample_request(const Background &b, int64_t clones) {
    MemoryRequest request;
    request.clone = measure_clone(b.world.scene, b.world.scene.background);
    request.clones = clones;
    request.foreground = &b.world.fg;
    request.target_polygons = 1;
    request.target_corners = 4;
    return request;
}

TEST(MemoryGuard, EstimateFollowsClonesMapsAndOutput) {
    Background b;
    // Enough clones to fill many map blocks, so that doubling them doubles the blocks.
    const MemoryRequest base = sample_request(b, 100000);
    const MemoryEstimate one = estimate_memory(base);
    MemoryRequest twice = base;
    twice.clones = 200000;
    EXPECT_GT(estimate_memory(twice).scene_bytes, one.scene_bytes + one.scene_bytes * 9 / 10);
    MemoryRequest none = base;
    none.clones = 0;
    EXPECT_EQ(estimate_memory(none).scene_bytes, 0u);
    MemoryRequest negative = base;
    negative.clones = -5;
    EXPECT_EQ(estimate_memory(negative).scene_bytes, 0u);

    // Each numbered morph map holds its own blocks.
    MemoryRequest morphs = base;
    morphs.auto_morph_maps = 4;
    EXPECT_GT(estimate_memory(morphs).scene_bytes, one.scene_bytes);

    EXPECT_EQ(one.writer_bytes, 0u);  // no output
    MemoryRequest glb = base, gltf = base, obj = base, glb_clones = base;
    glb.output = glb_clones.output = OutputPlan::glb;
    gltf.output = OutputPlan::gltf;
    obj.output = OutputPlan::obj;
    glb_clones.clones_only = true;
    EXPECT_GT(estimate_memory(glb).writer_bytes, estimate_memory(glb_clones).writer_bytes);
    EXPECT_GT(estimate_memory(glb_clones).writer_bytes, estimate_memory(obj).writer_bytes);  // records per clone
    EXPECT_EQ(estimate_memory(gltf).writer_bytes, estimate_memory(glb).writer_bytes);  // both stream the data
    EXPECT_GT(estimate_memory(obj).writer_bytes, 0u);

    // From half as many clones as surface polygons on, the site search charts
    // every polygon, a peak of its own before the result grows, and says so.
    MemoryRequest charted = base;
    charted.target_polygons = 2 * static_cast<uint64_t>(base.clones) + 2;
    EXPECT_EQ(estimate_memory(charted).search_bytes, 0u);
    charted.target_polygons -= 1;
    const MemoryEstimate search = estimate_memory(charted);
    EXPECT_GT(search.search_bytes, 0u);
    EXPECT_GE(search.total(), search.plugin_bytes + search.search_bytes);
    EXPECT_THAT(check_memory(charted, {search.total() - 1, "test"}).message,
                HasSubstr(format_bytes(search.search_bytes) + " of charts while the sites are chosen"));

    // Counts beyond any machine saturate instead of wrapping round to small numbers.
    MemoryRequest huge = base;
    huge.clones = INT64_MAX;
    EXPECT_EQ(estimate_memory(huge).total(), UINT64_MAX);
}

TEST(MemoryGuard, RefusesBeyondTheLimitWithAdvice) {
    Background b;
    MemoryRequest request = sample_request(b, 100000);
    request.output = OutputPlan::glb;
    const uint64_t needed = estimate_memory(request).total();

    EXPECT_FALSE(check_memory(request, {needed, "test"}).refused);
    const MemoryLimit limit{needed - 1, "the test's limit"};
    const GuardVerdict verdict = check_memory(request, limit);
    ASSERT_TRUE(verdict.refused);
    EXPECT_THAT(verdict.message, HasSubstr("needs about " + format_bytes(needed)));
    EXPECT_THAT(verdict.message, HasSubstr("only " + format_bytes(limit.bytes) + " is available (the test's limit)"));
    EXPECT_THAT(verdict.message, HasSubstr("--set clone_count=" + std::to_string(verdict.clones_that_fit)));
    EXPECT_THAT(verdict.message, HasSubstr("--clones-only"));
    EXPECT_THAT(verdict.message, HasSubstr("--force"));

    // The count offered is the largest that fits.
    MemoryRequest fit = request;
    fit.clones = verdict.clones_that_fit;
    EXPECT_LE(estimate_memory(fit).total(), limit.bytes);
    fit.clones += 1;
    EXPECT_GT(estimate_memory(fit).total(), limit.bytes);

    // Writing only the clones saves nothing when the writer streams.
    request.output = OutputPlan::obj;
    const GuardVerdict obj = check_memory(request, {estimate_memory(request).total() - 1, "test"});
    ASSERT_TRUE(obj.refused);
    EXPECT_THAT(obj.message, ::testing::Not(HasSubstr("--clones-only")));
}

TEST(MemoryGuard, ReadsMemAvailable) {
    EXPECT_EQ(parse_mem_available("MemTotal:       16 kB\nMemFree:         8 kB\nMemAvailable:   12345 kB\n"),
              12345u * 1024u);
    EXPECT_EQ(parse_mem_available("MemAvailable: 1 kB"), 1024u);
    EXPECT_EQ(parse_mem_available("MemTotal: 16 kB\n"), std::nullopt);
    EXPECT_EQ(parse_mem_available("MemAvailable: lots\n"), std::nullopt);
    EXPECT_EQ(parse_mem_available("MemAvailable: 12 MB\n"), std::nullopt);
    EXPECT_EQ(parse_mem_available("XMemAvailable: 12 kB\n"), std::nullopt);
    // This machine has a /proc/meminfo.
    const std::optional<MemoryLimit> limit = available_memory();
    ASSERT_TRUE(limit.has_value());
    EXPECT_GT(limit->bytes, 0u);
}

TEST(MemoryGuard, ReadsAndWritesSizes) {
    EXPECT_EQ(parse_size("1500"), 1500u);
    EXPECT_EQ(parse_size("2K"), 2048u);
    EXPECT_EQ(parse_size("512M"), 512u << 20);
    EXPECT_EQ(parse_size("1.5G"), 3u << 29);
    EXPECT_EQ(parse_size("2GiB"), uint64_t{2} << 30);
    EXPECT_EQ(parse_size("1 TB"), uint64_t{1} << 40);
    for (const char *bad : {"", "G", "-1G", "12X", "1GG", "nan", "1e30T"}) EXPECT_EQ(parse_size(bad), std::nullopt) << bad;

    EXPECT_EQ(format_bytes(17), "17 bytes");
    EXPECT_EQ(format_bytes(1536), "1.5 KiB");
    EXPECT_EQ(format_bytes(uint64_t{820} << 20), "820 MiB");
    EXPECT_EQ(format_bytes(uint64_t{3} << 29), "1.5 GiB");
}

}  // namespace
}  // namespace sowfield::cli
