// A test fixture that runs the real plug-in module the way a host does: the
// library opened through PluginLibrary, its "Sowfield" server run by a strict
// Host over a two-layer scene, messages captured instead of printed.
//
//     TEST_F(ModuleTest, EmptyForegroundIsRefused) {
//         add_cube(world.bg, {0, 0, 0}, 1.0);
//         EXPECT_EQ(run(), SF_AFUNC_OK);
//         EXPECT_EQ(errors(), (std::vector<Lines>{{"Need some polys to clone on them", std::nullopt}}));
//     }
#pragma once

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/loader/host.h"
#include "host/loader/plugin_loader.h"
#include "host/panel/raw_values_face.h"
#include "tests/support/scene_builders.h"

namespace sowfield::testing {

// The built module, as the build names it.
std::filesystem::path module_path();

// The two lines of a message, the second absent when the plug-in gave none.
using Lines = std::pair<std::string, std::optional<std::string>>;

class ModuleTest : public ::testing::Test {
protected:
    ModuleTest();

    // Runs the module's server once; returns activate's result.
    int run();

    // The error messages of the last run, in order.
    std::vector<Lines> errors() const;

    // The next runs' panels are given these stored values (exact labels),
    // then answered OK, or Cancel when `accept` is false.
    using Values = std::vector<std::pair<std::string, host::PanelValue>>;
    void answer(Values values, bool accept = true);

    // The last run's panel as it opened, or null when none was posted.
    const host::PanelSnapshot *last_opening() const;

    TwoLayerScene world;
    std::ostringstream info_text;
    std::ostringstream error_text;
    host::PluginLibrary library;
    host::Host host;
    std::optional<host::RawValuesFace> face;
};

}  // namespace sowfield::testing
