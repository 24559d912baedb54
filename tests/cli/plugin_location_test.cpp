// Where the tool looks for the module: beside a build, inside an install, or
// where the user says; and what it says when there is none.
#include "cli/plugin_location.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace sowfield::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class PluginLocation : public ::testing::Test {
protected:
    PluginLocation()
        : root(fs::temp_directory_path() /
               ("sowfield_location_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        fs::create_directories(root / "bin");
    }
    ~PluginLocation() override { fs::remove_all(root); }

    void touch(const fs::path &path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "module";
    }

    fs::path root;
};

TEST_F(PluginLocation, BuildTreeFirstThenInstall) {
    const fs::path tool = root / "bin" / "sowfield";
    EXPECT_EQ(plugin_candidates(tool),
              (std::vector<fs::path>{root / "libsowfield.so", root / "lib" / "sowfield" / "libsowfield.so"}));

    touch(root / "lib" / "sowfield" / "libsowfield.so");
    EXPECT_EQ(locate_plugin(std::nullopt, tool), root / "lib" / "sowfield" / "libsowfield.so");
    touch(root / "libsowfield.so");
    EXPECT_EQ(locate_plugin(std::nullopt, tool), root / "libsowfield.so");
}

TEST_F(PluginLocation, GivenPathIsTakenAsIs) {
    // Even when missing: the loader's message then names the file.
    EXPECT_EQ(locate_plugin(fs::path("/no/such/module.so"), root / "bin" / "sowfield"), "/no/such/module.so");
}

TEST_F(PluginLocation, NoModuleNamesEveryPlaceLooked) {
    const fs::path tool = root / "bin" / "sowfield";
    fs::create_directories(root / "libsowfield.so");  // a directory is not a module
    try {
        locate_plugin(std::nullopt, tool);
        FAIL() << "found a module where there is none";
    } catch (const PluginNotFound &error) {
        EXPECT_EQ(error.looked(), plugin_candidates(tool));
        EXPECT_THAT(error.what(), HasSubstr((root / "libsowfield.so").string()));
        EXPECT_THAT(error.what(), HasSubstr((root / "lib" / "sowfield" / "libsowfield.so").string()));
        EXPECT_THAT(error.what(), HasSubstr("--plugin PATH"));
    }
    EXPECT_THROW(locate_plugin(std::nullopt, fs::path{}), PluginNotFound);
}

TEST_F(PluginLocation, KnowsItsOwnExecutable) {
    const fs::path self = current_executable();
    EXPECT_TRUE(self.is_absolute());
    EXPECT_EQ(self.filename(), "cli_plugin_location_test");
}

}  // namespace
}  // namespace sowfield::cli
