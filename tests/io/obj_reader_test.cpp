// OBJ from elsewhere: the statements other programs write, UV seams, and
// every kind of bad input stopped with the file, line and reason.
#include <gtest/gtest.h>

#include "sowfield_host.h"
#include "tests/io/io_fixture.h"

namespace sowfield::testing {
namespace {

std::vector<uint32_t> points_of(const host::Layer &layer, uint32_t polygon) {
    const auto points = layer.polygon_points(polygon);
    return {points.begin(), points.end()};
}

TEST(ObjReader, ReadsTheStatementsOtherProgramsWrite) {
    ReadBack back;
    read_back(std::filesystem::path(SOWFIELD_TEST_DATA) / "io" / "foreign.obj", back);
    const host::Layer &layer = back.get();
    EXPECT_EQ(layer.name, "foreign");
    ASSERT_EQ(layer.point_count(), 4u);
    EXPECT_EQ(layer.position(1), (host::Vec3{1.5, 0, 0})) << "leading '+', w and colour ignored";
    EXPECT_EQ(layer.position(2), (host::Vec3{1.5, 2, 0}));
    EXPECT_EQ(layer.position(3), (host::Vec3{0, 2, -0.25})) << "continued line";

    ASSERT_EQ(layer.polygon_count(), 6u);
    EXPECT_EQ(points_of(layer, 0), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(points_of(layer, 1), (std::vector<uint32_t>{0, 1, 2})) << "relative indices";
    EXPECT_EQ(points_of(layer, 2), (std::vector<uint32_t>{0, 1})) << "a polyline becomes its segments";
    EXPECT_EQ(points_of(layer, 3), (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(points_of(layer, 4), (std::vector<uint32_t>{3})) << "point elements";
    EXPECT_EQ(points_of(layer, 5), (std::vector<uint32_t>{0}));
    const char *surfaces[] = {"brick", "Default", "brick", "brick", "brick", "brick"};
    for (uint32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(back.scene.surface_name(layer.polygon_surface(i)), surfaces[i]) << "polygon " << i;
        EXPECT_EQ(layer.polygon_flags(i), SF_POLY_SELECTED);
    }

    ASSERT_EQ(layer.vmap_count(), 1u);
    const host::VertexMap &uv = layer.vmap(0);
    EXPECT_EQ(uv.type(), SF_VMAP_TXUV);
    EXPECT_EQ(uv.name(), "UV");
    ASSERT_TRUE(uv.has_value(2));
    EXPECT_EQ(uv.value(2)[0], 1.0f);
    EXPECT_EQ(uv.value(2)[1], 1.0f);
    EXPECT_FALSE(uv.has_value(3)) << "its corner has no texture coordinate";
}

// Two quads share the edge 2-3. Vertex 2's corners disagree (a seam), vertex
// 3's agree; a triangle agreeing with the seam's UV reuses its copy, and a
// corner naming another texture coordinate with the same value is no seam.
TEST(ObjReader, SplitsAPointOnlyWhereItsCornersDisagreeOnUv) {
    ScratchFolder folder;
    const auto file = folder.write("seam.obj",
                                   "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 2 1 0\n"
                                   "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0.5 0\nvt 1 0\n"
                                   "f 1/1 2/2 3/3 4/4\n"
                                   "f 2/5 5/1 6/4 3/3\n"
                                   "f 2/5 5/1 3/3\n"
                                   "f 2/6 5/1 6/4\n");
    ReadBack back;
    read_back(file, back);
    const host::Layer &layer = back.get();
    ASSERT_EQ(layer.point_count(), 7u) << "one copy of vertex 2 for the seam";
    EXPECT_EQ(layer.position(6), layer.position(1));
    const host::VertexMap &uv = layer.vmap(0);
    EXPECT_EQ(uv.value(6)[0], 0.5f);
    EXPECT_EQ(uv.value(1)[0], 1.0f);
    EXPECT_EQ(points_of(layer, 0), (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(points_of(layer, 1), (std::vector<uint32_t>{6, 4, 5, 2}));
    EXPECT_EQ(points_of(layer, 2), (std::vector<uint32_t>{6, 4, 2}));
    EXPECT_EQ(points_of(layer, 3), (std::vector<uint32_t>{1, 4, 5}));
}

// A vertex defined after a seam was split still finds its own point.
TEST(ObjReader, VerticesAfterASeamKeepTheirPoints) {
    ScratchFolder folder;
    const auto file = folder.write("late.obj",
                                   "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 1\n"
                                   "f 1/1 2/1 3/1\nf 1/2 2/1 3/1\n"
                                   "v 5 5 5\nf 4 1/2 2/1\n");
    ReadBack back;
    read_back(file, back);
    const host::Layer &layer = back.get();
    ASSERT_EQ(layer.point_count(), 5u);
    EXPECT_EQ(layer.position(4), (host::Vec3{5, 5, 5}));
    EXPECT_EQ(points_of(layer, 1), (std::vector<uint32_t>{3, 1, 2}));
    EXPECT_EQ(points_of(layer, 2), (std::vector<uint32_t>{4, 3, 1}));
}

TEST(ObjReader, NumbersTooSmallForTheTypeBecomeZero) {
    ScratchFolder folder;
    const auto file = folder.write("tiny.obj", "v 1e-400 -1e-330 4.9e-324\nvt 1e-50 2\np 1/1\n");
    ReadBack back;
    read_back(file, back);
    EXPECT_EQ(back.get().position(0), (host::Vec3{0.0, -0.0, 5e-324}));
    EXPECT_EQ(back.get().vmap(0).value(0)[0], 0.0f);
}

struct BadObj {
    const char *name;
    const char *text;
    const char *message;  // after "Error loading <file>: "
};

class ObjRejects : public ::testing::TestWithParam<BadObj> {};

TEST_P(ObjRejects, WithFileLineAndReason) {
    ScratchFolder folder;
    const auto file = folder.write("bad.obj", GetParam().text);
    host::Scene scene;
    EXPECT_EQ(error_of([&] { io::read_mesh_file(file, scene); }),
              "Error loading " + file.string() + ": " + GetParam().message);
    EXPECT_EQ(scene.layer_count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, ObjRejects,
    ::testing::Values(BadObj{"TooFewCoordinates", "v 1 2\n", "line 1: a vertex needs three coordinates"},
                      BadObj{"MalformedNumber", "# first\nv 1 x 2\n", "line 2: coordinate \"x\" is not a number"},
                      BadObj{"TrailingGarbage", "v 1 2.5z 2\n", "line 1: coordinate \"2.5z\" is not a number"},
                      BadObj{"NotFinite", "v 1 nan 2\n", "line 1: coordinate \"nan\" is not finite"},
                      BadObj{"Infinite", "v inf 0 0\n", "line 1: coordinate \"inf\" is not finite"},
                      BadObj{"OutOfRange", "v 1e999 0 0\n", "line 1: coordinate \"1e999\" is out of range"},
                      BadObj{"BadTextureCoordinate", "vt 0.5 -\n", "line 1: texture coordinate \"-\" is not a number"},
                      BadObj{"VertexOutOfRange", "v 0 0 0\nv 1 0 0\nv 0 1 0\n\nf 1 2 4\n",
                             "line 5: face refers to vertex 4, but only 3 exist"},
                      BadObj{"ForwardReference", "v 0 0 0\nv 1 0 0\nf 1 2 3\nv 0 1 0\n",
                             "line 3: face refers to vertex 3, but only 2 exist"},
                      BadObj{"RelativeOutOfRange", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf -4 -2 -1\n",
                             "line 4: face refers to vertex -4, but only 3 exist"},
                      BadObj{"IndexZero", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n",
                             "line 4: face refers to vertex 0, but indices start at 1"},
                      BadObj{"TextureOutOfRange", "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf 1/1 2/2 3/1\n",
                             "line 5: face refers to texture coordinate 2, but only 1 exist"},
                      BadObj{"NormalOutOfRange", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1//1 2//1 3//1\n",
                             "line 4: face refers to normal 1, but only 0 exist"},
                      BadObj{"LineOutOfRange", "v 0 0 0\nl 1 2\n", "line 2: line refers to vertex 2, but only 1 exist"},
                      BadObj{"EmptyFace", "v 0 0 0\nf\n", "line 2: face has no vertices"},
                      BadObj{"EmptyFaceWithSpaces", "v 0 0 0\nf   \t\n", "line 2: face has no vertices"},
                      BadObj{"MalformedCorner", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2.5 3\n",
                             "line 4: face has a malformed vertex \"2.5\""},
                      BadObj{"CarriageReturnInMaterialName", "v 0 0 0\nusemtl bri\rck\r\nf 1 1 1\n",
                             "line 2: the material name \"bri...\" contains a carriage return"},
                      BadObj{"ContinuedStatement", "v 0 0 0\nf 1 \\\n 2 3\n",
                             "line 2: face refers to vertex 2, but only 1 exist"}),
    [](const auto &param_info) { return std::string(param_info.param.name); });

TEST(ObjReader, RejectsFilesItCannotOpen) {
    ScratchFolder folder;
    host::Scene scene;
    const auto missing = folder / "missing.obj";
    EXPECT_EQ(error_of([&] { io::read_mesh_file(missing, scene); }),
              "Error loading " + missing.string() + ": No such file or directory");
    std::filesystem::create_directory(folder / "folder.obj");
    EXPECT_EQ(error_of([&] { io::read_mesh_file(folder / "folder.obj", scene); }),
              "Error loading " + (folder / "folder.obj").string() + ": is a directory");
}

}  // namespace
}  // namespace sowfield::testing
