// `sowfield info`: what a file holds, as a user reads it before choosing
// surfaces and weight maps.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/exit_codes.h"
#include "tests/cli/tool_runner.h"

namespace sowfield::cli {
namespace {

using ::testing::HasSubstr;
using testing::ToolResult;

class Info : public testing::ToolTest {};

TEST_F(Info, ListsCountsTypesSurfacesAndMaps) {
    const ToolResult ground = run({"info", data("ground.obj")});
    ASSERT_EQ(ground.exit_code, exit_ok) << ground.err;
    EXPECT_THAT(ground.out, HasSubstr(": 25 points, 16 polygons\n"));
    EXPECT_THAT(ground.out, HasSubstr("polygon types:  FACE 16\n"));
    EXPECT_THAT(ground.out, HasSubstr("polygon sizes:  4 points x16\n"));
    EXPECT_THAT(ground.out, HasSubstr("\"Grass\"  8 polygons\n"));
    EXPECT_THAT(ground.out, HasSubstr("\"Rock\"  8 polygons\n"));
    EXPECT_THAT(ground.out, HasSubstr("vertex maps: none\n"));

    const ToolResult pebble = run({"info", data("pebble.obj")});
    ASSERT_EQ(pebble.exit_code, exit_ok) << pebble.err;
    EXPECT_THAT(pebble.out, HasSubstr("polygon sizes:  3 points x4  4 points x1\n"));
    EXPECT_THAT(pebble.out, HasSubstr("TXUV  \"UV\"  2 per point, 5 points with a value\n"));
}

TEST_F(Info, ShowsWhatAScatterAdded) {
    ASSERT_EQ(run({"scatter", data("ground.obj"), data("pebble.obj"), "-o", "out.glb", "--set", "clone_count=3",
                   "-q"})
                  .exit_code,
              exit_ok);
    const ToolResult out = run({"info", "out.glb"});
    ASSERT_EQ(out.exit_code, exit_ok) << out.err;
    EXPECT_THAT(out.out, HasSubstr(": 40 points, 31 polygons\n"));
    EXPECT_THAT(out.out, HasSubstr("WGHT  \"SF_index\"  1 per point, 15 points with a value\n"));
    EXPECT_THAT(out.out, HasSubstr("\"Stone\"  15 polygons\n"));
}

TEST_F(Info, BadFilesAreReportedByName) {
    const ToolResult missing = run({"info", "absent.obj"});
    EXPECT_EQ(missing.exit_code, exit_bad_input);
    EXPECT_THAT(missing.err, HasSubstr("absent.obj"));
    const ToolResult broken = run({"info", data("broken.obj")});
    EXPECT_EQ(broken.exit_code, exit_bad_input);
    EXPECT_THAT(broken.err, HasSubstr("broken.obj"));
    EXPECT_TRUE(broken.out.empty());
}

}  // namespace
}  // namespace sowfield::cli
