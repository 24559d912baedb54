// The --json summary: well-formed whatever the plug-in said, with the keys
// scripts read.
#include "cli/json_summary.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"

namespace sowfield::cli {
namespace {

using nlohmann::json;

TEST(JsonSummary, ReadsBackWithEveryPart) {
    RunSummary summary;
    summary.command = "scatter";
    summary.exit_code = exit_ok;
    summary.inputs = {"ground.obj", "rock.obj"};
    summary.clones = 30;
    summary.points_added = 240;
    summary.polygons_added = 180;
    summary.maps_added = 2;
    summary.values_written = 480;
    summary.messages = {{host::Message::Kind::info, "About", std::nullopt},
                        {host::Message::Kind::error, "Change slope angle settings", "There are no valid polys"}};
    summary.output = "out.glb";
    summary.output_bytes = 4096;
    summary.memory = MemoryEstimate{.scene_bytes = 10, .plugin_bytes = 20, .writer_bytes = 30};
    summary.memory_limit = MemoryLimit{1000, "MemAvailable in /proc/meminfo"};
    summary.run_seconds = 0.25;

    const json out = json::parse(summary_json(summary));
    EXPECT_EQ(out["status"], "ok");
    EXPECT_EQ(out["inputs"], json({"ground.obj", "rock.obj"}));
    EXPECT_EQ(out["added"], json({{"points", 240}, {"polygons", 180}, {"maps", 2}, {"values", 480}}));
    ASSERT_EQ(out["messages"].size(), 2u);
    EXPECT_EQ(out["messages"][0]["kind"], "info");
    EXPECT_TRUE(out["messages"][0]["line2"].is_null());
    EXPECT_EQ(out["messages"][1]["line2"], "There are no valid polys");
    EXPECT_EQ(out["output"]["bytes"], 4096);
    EXPECT_EQ(out["memory"]["estimate"], 60);
    EXPECT_EQ(out["memory"]["limit"], 1000);
    EXPECT_EQ(out["seconds"]["run"], 0.25);
    EXPECT_TRUE(out["error"].is_null());
}

TEST(JsonSummary, FailuresAndOddTextStayValidJson) {
    RunSummary summary;
    summary.command = "demo";
    summary.exit_code = exit_memory;
    summary.error = "needs \"more\" memory";
    summary.messages = {{host::Message::Kind::error, std::string("map \xff\xfe name"), std::nullopt}};
    const json out = json::parse(summary_json(summary));
    EXPECT_EQ(out["status"], "memory");
    EXPECT_EQ(out["exit_code"], 7);
    EXPECT_EQ(out["error"], "needs \"more\" memory");
    EXPECT_TRUE(out["output"].is_null());
    EXPECT_TRUE(out["memory"].is_null());
    EXPECT_NE(out["messages"][0]["line1"].get<std::string>().find("name"), std::string::npos);

    for (const int code : {exit_usage, exit_bad_input, exit_plugin, exit_refused, exit_write_failed, exit_interrupted})
        EXPECT_STRNE(status_word(code), "failed") << code;
    EXPECT_STREQ(status_word(1), "failed");
}

}  // namespace
}  // namespace sowfield::cli
