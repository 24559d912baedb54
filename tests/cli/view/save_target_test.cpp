#include "cli/view/save_target.h"

#include <gtest/gtest.h>

#include "io/mesh_file.h"

namespace sowfield::cli::view {
namespace {

TEST(SaveTarget, ABareNameGoesBesideTheOutput) {
    const ViewFiles files{.surface = "in/ground.obj", .objects = {"in/rock.obj"}, .output = "out/rocks.glb"};
    EXPECT_EQ(save_path(files, "other.obj"), std::filesystem::path("out/other.obj"));
    EXPECT_EQ(save_path(ViewFiles{}, "here.gltf"), std::filesystem::path("here.gltf"));
}

TEST(SaveTarget, RefusesFoldersTraversalAndUnknownFormats) {
    ViewFiles files;
    files.output = "out/rocks.glb";
    for (const char *name : {"", ".", "..", "../up.glb", "sub/x.glb", "/abs.glb", "a\\b.glb", "tab\t.glb"})
        EXPECT_THROW(save_path(files, name), std::invalid_argument) << name;
    EXPECT_THROW(save_path(files, "notes.txt"), io::MeshFileError);
}

}  // namespace
}  // namespace sowfield::cli::view
