// `sowfield settings`: every setting with the names --set takes and the
// defaults a freshly loaded plug-in opens its panel with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "cli/setting_names.h"
#include "tests/cli/tool_runner.h"

namespace sowfield::cli {
namespace {

using ::testing::HasSubstr;
using testing::ToolResult;

class Settings : public testing::ToolTest {};

TEST_F(Settings, ListsEverySettingWithItsDefault) {
    const ToolResult result = run({"settings", "--json"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    const nlohmann::json list = nlohmann::json::parse(result.out);

    std::map<std::string, nlohmann::json> by_field;
    for (const nlohmann::json &setting : list) by_field[setting["field"]] = setting;
    for (const SettingName &name : setting_names())
        if (!name.button) {
            ASSERT_EQ(by_field.count(std::string(name.field)), 1u) << name.field;
            EXPECT_EQ(by_field[std::string(name.field)]["label"], name.label);
        }
    EXPECT_EQ(list.size(), 28u);

    const auto default_of = [&](const char *field) { return by_field.at(field)["default"].get<std::string>(); };
    // One default of each kind of control, in the form the panel shows it.
    EXPECT_EQ(default_of("clone_count"), "30");
    EXPECT_EQ(default_of("distribution"), "80");
    EXPECT_EQ(default_of("h_align_normals"), "on");
    EXPECT_EQ(default_of("density_weightmap"), "none");
    // The angle bounds are 10 degrees as computed with 3.1415 for pi, shown in real degrees.
    EXPECT_NEAR(std::stod(default_of("b_max")) * std::numbers::pi / 180.0, 10.0 * 3.1415 / 180.0, 1e-15);
    EXPECT_EQ(by_field.at("b_max")["unit"], "degrees");
    EXPECT_EQ(by_field.at("size_variation_y")["unit"], "%");
    EXPECT_EQ(by_field.at("size_variation_y")["tab"], "Basic");
    EXPECT_EQ(by_field.at("jitter")["tab"], "Advanced");
    EXPECT_EQ(by_field.at("size_variation_y")["enabled"], false);
}

TEST_F(Settings, TableNamesTheButtons) {
    const ToolResult result = run({"settings"});
    ASSERT_EQ(result.exit_code, exit_ok) << result.err;
    EXPECT_THAT(result.out, HasSubstr("Number of Clones           clone_count"));
    // Kinds in words, defaults rounded for reading.
    EXPECT_THAT(result.out, HasSubstr("Independent Sizes          independent_sizes         on/off "));
    EXPECT_THAT(result.out, HasSubstr("Size WeightMap             size_weightmap            choice "));
    EXPECT_THAT(result.out, HasSubstr("degrees             Basic     -10\n"));
    EXPECT_THAT(result.out, HasSubstr("degrees             Advanced  179.995\n"));
    EXPECT_THAT(result.out, HasSubstr("Buttons (--press LABEL): \"About\", \"Reset Values\", \"Zero Angles\""));

    const ToolResult missing = run({"settings", "--plugin", "/nonexistent/libsowfield.so"});
    EXPECT_EQ(missing.exit_code, exit_plugin);
    EXPECT_THAT(missing.err, HasSubstr("/nonexistent/libsowfield.so"));
}

}  // namespace
}  // namespace sowfield::cli
