// Writing is all or nothing: a failure at any point leaves the target as it
// was and no temporary file behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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
    const std::vector<std::filesystem::path> returned = io::write_mesh_file(out, scene, 0);
    EXPECT_NE(read_text(out), "the previous contents");
    std::vector<std::string> written{name};
    if (GetParam() == std::string(".gltf")) written.insert(written.begin(), "out.bin");  // its buffer, beside it
    if (GetParam() == std::string(".obj")) written.insert(written.begin(), "out.mtl");   // its materials
    EXPECT_EQ(folder.files(), written);
    std::vector<std::string> said;
    for (const std::filesystem::path &file : returned) said.push_back(file.filename().string());
    EXPECT_EQ(said, written) << "the writer names every file it wrote, its own last";
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

// Large files go out in whole blocks from alternating buffers, the last
// block padded and cut back: the file must hold exactly the bytes given, in
// order, however the writes were split.
TEST(AtomicFile, CommittedBytesArriveExactlyAcrossBuffers) {
    ScratchFolder folder;
    const auto out = folder / "exact.bin";
    std::string expected;
    {
        io::AtomicFile file(out);
        uint32_t state = 12345;
        for (size_t piece : {size_t{1}, size_t{4095}, io::AtomicFile::kBufferSize - 3, size_t{7}, size_t{8193},
                             io::AtomicFile::kBufferSize, size_t{100}}) {
            std::string bytes(piece, '\0');
            for (char &c : bytes) c = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
            if (piece % 2 == 0) {
                file.write(bytes);
            } else {  // the writers' way: reserve, fill, advance, a little at a time
                for (size_t at = 0; at < piece; at += 1000) {
                    const size_t n = std::min<size_t>(1000, piece - at);
                    std::memcpy(file.reserve(n), bytes.data() + at, n);
                    file.advance(n);
                }
            }
            expected += bytes;
        }
        EXPECT_EQ(file.size(), expected.size());
        file.commit();
    }
    EXPECT_EQ(std::filesystem::file_size(out), expected.size());
    EXPECT_TRUE(read_text(out) == expected) << "the file's bytes differ from those written";
    EXPECT_EQ(folder.files(), std::vector<std::string>{"exact.bin"});
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
