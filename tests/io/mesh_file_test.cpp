// The dispatcher: formats by extension, a failed read leaves the scene as it
// was, and telling whether two paths are one file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include "sowfield_host.h"
#include "tests/io/io_fixture.h"

namespace sowfield::testing {
namespace {

TEST(MeshFile, FormatFollowsTheExtensionInAnyCase) {
    EXPECT_EQ(io::format_for("a/b/surface.obj"), io::Format::obj);
    EXPECT_EQ(io::format_for("SURFACE.OBJ"), io::Format::obj);
    EXPECT_EQ(io::format_for("scene.gltf"), io::Format::gltf);
    EXPECT_EQ(io::format_for("scene.GlB"), io::Format::glb);
    EXPECT_EQ(error_of([] { io::format_for("mesh.ply"); }),
              "Cannot tell the format of mesh.ply from \".ply\": use a .obj, .gltf or .glb file");
    EXPECT_EQ(error_of([] { io::format_for("mesh"); }),
              "Cannot tell the format of mesh: use a .obj, .gltf or .glb file");
}

TEST(MeshFile, WhatCannotBeAMeshFileIsNamedBeforeParsing) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "folder");  // no extension: the format cannot be told either
    const std::vector<std::pair<std::filesystem::path, std::string>> cases{
        {folder / "folder", "is a directory"},
        {folder.write("empty.glb", ""), "the file is empty"},
        {folder.write("notes.glb", "hello\n"), "named .glb but holds text, not glTF"},
        {folder.write("binary.gltf", std::string("\x01\0\x02", 3)), "named .gltf but holds binary data, not glTF"},
        {folder.write("scene.obj", "glTF\x02\0\0\0"), "named .obj but holds binary glTF (.glb)"},
        {folder.write("scene2.obj", "  {\"asset\": {}}"), "named .obj but holds JSON"},
    };
    for (const auto &[path, expected] : cases) {
        host::Scene scene;
        EXPECT_THAT(error_of([&] { io::read_mesh_file(path, scene); }),
                    ::testing::StartsWith("Error loading " + path.string() + ": " + expected));
        EXPECT_EQ(scene.layer_count(), 0u);
    }
}

TEST(MeshFile, EachFileBecomesANewLayerNamedAfterIt) {
    ScratchFolder folder;
    const auto a = folder.write("ground.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl grass\nf 1 2 3\n");
    const auto b = folder.write("rock.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl grass\nf 3 2 1\n");
    host::Scene scene;
    EXPECT_EQ(io::read_mesh_file(a, scene), 0u);
    EXPECT_EQ(io::read_mesh_file(b, scene), 1u);
    EXPECT_EQ(scene.layer(0).name, "ground");
    EXPECT_EQ(scene.layer(1).name, "rock");
    EXPECT_EQ(scene.surface_count(), 2u) << "\"grass\" is one surface of the scene";
    EXPECT_EQ(scene.layer(1).polygon_surface(0), scene.surface_index("grass"));
}

TEST(MeshFile, AFailedReadAddsNothingToTheScene) {
    ScratchFolder folder;
    // New surfaces and maps come before the fault.
    const auto obj =
        folder.write("late_fault.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nusemtl fresh\nf 1/1 2/1 3/1\nf 1 2 9\n");
    host::Scene scene;
    add_triangle(scene.add_layer("kept"), {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    scene.surface_index("old");
    EXPECT_EQ(error_of([&] { io::read_mesh_file(obj, scene); }),
              "Error loading " + obj.string() + ": line 7: face refers to vertex 9, but only 3 exist");
    EXPECT_EQ(scene.layer_count(), 1u);
    EXPECT_EQ(scene.surface_count(), 2u);
    EXPECT_EQ(scene.surface_name(1), "old");
    EXPECT_EQ(scene.layer(0).point_count(), 3u);
}

TEST(MeshFile, WritingAMissingLayerIsRefused) {
    ScratchFolder folder;
    host::Scene scene;
    const auto out = folder / "out.glb";
    EXPECT_EQ(error_of([&] { io::write_mesh_file(out, scene, 0); }),
              "Error writing " + out.string() + ": the scene has no layer 0");
    EXPECT_TRUE(folder.files().empty());
}

TEST(SameFile, ByPathLinkOrLocation) {
    ScratchFolder folder;
    const auto input = folder.write("input.obj", "v 0 0 0\n");
    const auto other = folder.write("other.obj", "v 0 0 0\n");
    EXPECT_TRUE(io::same_file(input, input));
    EXPECT_TRUE(io::same_file(input, folder.path / "." / "sub" / ".." / "input.obj"));
    std::filesystem::create_symlink(input, folder / "link.obj");
    EXPECT_TRUE(io::same_file(folder / "link.obj", input));
    std::filesystem::create_hard_link(input, folder / "hard.obj");
    EXPECT_TRUE(io::same_file(folder / "hard.obj", input));
    EXPECT_FALSE(io::same_file(input, other));
    EXPECT_FALSE(io::same_file(input, folder / "new.obj")) << "an output that does not exist yet";
    EXPECT_TRUE(io::same_file(folder / "new.obj", folder.path / "." / "new.obj"));

    // A relative spelling of the same file.
    const auto here = std::filesystem::current_path();
    std::filesystem::current_path(folder.path);
    EXPECT_TRUE(io::same_file("input.obj", input));
    std::filesystem::current_path(here);
}

}  // namespace
}  // namespace sowfield::testing
