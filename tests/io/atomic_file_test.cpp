// Writing is all or nothing: a failure at any point leaves the target as it
// was and no temporary file behind.
#include <gtest/gtest.h>

#include <limits>

#include "io/atomic_file.h"
#include "sowfield_host.h"
#include "tests/io/io_fixture.h"

namespace sowfield::testing {
namespace {

// A layer whose last point cannot be written: in OBJ the failure comes after
// several buffers of the file have gone to disk.
void build_layer_failing_late(host::Scene &scene) {
    host::Layer &layer = scene.add_layer("late");
    for (int i = 0; i < 200000; ++i) layer.add_point({i * 0.1, 1.0 / (i + 1), -i * 3.25});
    layer.add_point({0, std::numeric_limits<double>::infinity(), 0});
}

class AtomicWrite : public ::testing::TestWithParam<const char *> {};

TEST_P(AtomicWrite, AFailureLeavesTheOldFileUntouched) {
    ScratchFolder folder;
    const std::string name = std::string("out") + GetParam();
    const auto out = folder.write(name, "the previous contents");
    host::Scene scene;
    build_layer_failing_late(scene);
    EXPECT_EQ(error_of([&] { io::write_mesh_file(out, scene, 0); }),
              "Error writing " + out.string() + ": point 200000 has a coordinate that is not finite");
    EXPECT_EQ(read_text(out), "the previous contents");
    EXPECT_EQ(folder.files(), std::vector<std::string>{name}) << "no temporary file left";
}

TEST_P(AtomicWrite, SuccessReplacesTheFileAndLeavesNothingElse) {
    ScratchFolder folder;
    const std::string name = std::string("out") + GetParam();
    const auto out = folder.write(name, "the previous contents");
    host::Scene scene;
    add_triangle(scene.add_layer("t"), {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    io::write_mesh_file(out, scene, 0);
    EXPECT_NE(read_text(out), "the previous contents");
    EXPECT_EQ(folder.files(), std::vector<std::string>{name});
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, AtomicWrite, ::testing::Values(".obj", ".gltf", ".glb"),
                         [](const auto &param_info) { return std::string(param_info.param + 1); });

TEST(AtomicFile, NamesTheTargetWhenItCannotCreateTheFile) {
    ScratchFolder folder;
    const auto out = folder / "no such folder" / "out.obj";
    host::Scene scene;
    scene.add_layer("empty");
    EXPECT_EQ(error_of([&] { io::write_mesh_file(out, scene, 0); }),
              "Error writing " + out.string() + ": cannot create a file in " + (folder / "no such folder").string() +
                  ": No such file or directory");
    EXPECT_TRUE(folder.files().empty());
}

TEST(AtomicFile, ATargetThatIsAFolderIsNotReplaced) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "taken.obj");
    host::Scene scene;
    add_triangle(scene.add_layer("t"), {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    const std::string message = error_of([&] { io::write_mesh_file(folder / "taken.obj", scene, 0); });
    EXPECT_EQ(message.rfind("Error writing " + (folder / "taken.obj").string() + ": cannot replace the file: ", 0), 0u)
        << message;
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.obj"));
    EXPECT_EQ(folder.files(), std::vector<std::string>{"taken.obj"});
}

TEST(AtomicFile, UncommittedBytesNeverReachTheTarget) {
    ScratchFolder folder;
    const auto out = folder / "never.bin";
    {
        io::AtomicFile file(out);
        file.write(std::string(io::AtomicFile::kBufferSize + 10, 'x'));  // more than one buffer: some is flushed
        EXPECT_EQ(file.size(), io::AtomicFile::kBufferSize + 10);
        EXPECT_TRUE(std::filesystem::exists(file.temporary()));
    }
    EXPECT_TRUE(folder.files().empty());
}

}  // namespace
}  // namespace sowfield::testing
