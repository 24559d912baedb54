// glTF and GLB written by us and read back: every map type with its name and
// missing values, polygons of every size in order with their types and
// surfaces; and every file we write passes the Khronos validator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <limits>
#include <nlohmann/json.hpp>

#include "sowfield_host.h"
#include "tests/io/io_fixture.h"

namespace sowfield::testing {
namespace {

class GltfRoundTrip : public ::testing::TestWithParam<const char *> {};

TEST_P(GltfRoundTrip, RichLayerComesBackWhole) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("rich");
    build_rich_layer(scene, layer, /*floats_only=*/true);
    const std::filesystem::path file = folder / (std::string("rich") + GetParam());
    io::write_mesh_file(file, scene, 0);

    ReadBack back;
    read_back(file, back);
    expect_same_layer(scene, layer, back.scene, back.get(), Kept::everything);
}

TEST_P(GltfRoundTrip, PolygonsComeBackWithoutAnyMap) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("cubes");
    add_cube(layer, {0, 0.5, 0}, 1.0);
    add_triangle(layer, {0, 2, 0}, {1, 2, 0}, {0, 3, 0}, {.surface = scene.surface_index("top")});
    add_cube(layer, {3, 0.5, 0}, 1.0);
    const std::filesystem::path file = folder / (std::string("cubes") + GetParam());
    io::write_mesh_file(file, scene, 0);
    ReadBack back;
    read_back(file, back);
    expect_same_layer(scene, layer, back.scene, back.get(), Kept::everything);
}

TEST_P(GltfRoundTrip, PositionsAreRoundedToSinglePrecision) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("thirds");
    add_triangle(layer, {1.0 / 3.0, 0.1, -0.0}, {1e-50, 2.0, 3.0}, {16777217.0, 0, 0});
    const std::filesystem::path file = folder / (std::string("thirds") + GetParam());
    io::write_mesh_file(file, scene, 0);

    ReadBack back;
    read_back(file, back);
    for (uint32_t p = 0; p < 3; ++p)
        for (size_t axis = 0; axis < 3; ++axis)
            EXPECT_EQ(back.get().position(p)[axis], static_cast<double>(static_cast<float>(layer.position(p)[axis])));
    EXPECT_TRUE(std::signbit(back.get().position(0)[2])) << "-0 keeps its sign";
}

TEST_P(GltfRoundTrip, LayerOfPointsOnlyAndEmptyLayer) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &points = scene.add_layer("points");
    points.add_point({1, 2, 3});
    points.add_point({4, 5, 6});
    set_weight(points, "w", 1, 0.5f);
    scene.add_layer("empty");
    for (size_t layer = 0; layer < 2; ++layer) {
        const std::filesystem::path file = folder / (scene.layer(layer).name + GetParam());
        io::write_mesh_file(file, scene, layer);
        ReadBack back;
        read_back(file, back);
        expect_same_layer(scene, scene.layer(layer), back.scene, back.get(), Kept::everything);
    }
}

TEST_P(GltfRoundTrip, RangeWritesOnlyLaterPointsAndPolygonsRenumbered) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("grown");
    add_quad(layer, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1});
    set_weight(layer, "w", 3, 1.0f);
    add_triangle(layer, {5, 0, 0}, {6, 0, 0}, {5, 1, 0});
    set_weight(layer, "w", 5, 0.5f);
    const std::filesystem::path file = folder / (std::string("added") + GetParam());
    io::write_mesh_file(file, scene, 0, {4, 1});

    host::Scene expected_scene;
    host::Layer &expected = expected_scene.add_layer("added");
    add_triangle(expected, {5, 0, 0}, {6, 0, 0}, {5, 1, 0});
    expected.add_vmap(SF_VMAP_WGHT, "w", 1);
    set_weight(expected, "w", 1, 0.5f);
    ReadBack back;
    read_back(file, back);
    expect_same_layer(expected_scene, expected, back.scene, back.get(), Kept::everything);
}

INSTANTIATE_TEST_SUITE_P(BothForms, GltfRoundTrip, ::testing::Values(".gltf", ".glb"),
                         [](const auto &param_info) { return std::string(param_info.param + 1); });

// The floats of one accessor of a GLB file we wrote (tightly packed, so
// the buffer view's bytes are the accessor's).
std::vector<float> glb_floats(const std::filesystem::path &file, const std::string &attribute) {
    const std::string bytes = read_text(file);
    uint32_t json_length = 0;
    std::memcpy(&json_length, bytes.data() + 12, 4);
    const nlohmann::json gltf = nlohmann::json::parse(bytes.substr(20, json_length));
    const auto &attributes = gltf["meshes"][0]["primitives"][0]["attributes"];
    if (!attributes.contains(attribute)) return {};
    const auto &view = gltf["bufferViews"][attributes[attribute].get<size_t>()];
    const size_t bin = 20 + json_length + 8;
    std::vector<float> floats(view["byteLength"].get<size_t>() / 4);
    std::memcpy(floats.data(), bytes.data() + bin + view["byteOffset"].get<size_t>(), floats.size() * 4);
    return floats;
}

// Other programs measure v from the image's top: the file holds 1 - v. When
// that cannot give back every value (1 - 0.1f rounds), the values as stored
// travel beside it, so our own files still read back bit for bit.
TEST(GltfWriter, TexcoordsHoldOneMinusVAndComeBackBitForBit) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &lossy = scene.add_layer("lossy");
    add_triangle(lossy, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    const float vs[3] = {0.1f, 0.75f, 1.0f / 3.0f};
    for (uint32_t p = 0; p < 3; ++p) set_uv(lossy, "UV", p, 0.5f * static_cast<float>(p), vs[p]);
    host::Layer &exact = scene.add_layer("exact");
    add_triangle(exact, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    for (uint32_t p = 0; p < 3; ++p) set_uv(exact, "UV", p, 0.25f, 0.5f + 0.125f * static_cast<float>(p));

    const std::filesystem::path lossy_file = folder / "lossy.glb";
    io::write_mesh_file(lossy_file, scene, 0);
    const std::vector<float> texcoords = glb_floats(lossy_file, "TEXCOORD_0");
    ASSERT_EQ(texcoords.size(), 6u);
    for (uint32_t p = 0; p < 3; ++p) {
        EXPECT_EQ(texcoords[2 * p], 0.5f * static_cast<float>(p));
        EXPECT_EQ(texcoords[2 * p + 1], 1.0f - vs[p]) << "point " << p;
    }
    EXPECT_EQ(glb_floats(lossy_file, "_UV_EXACT_0"), (std::vector<float>{0.0f, vs[0], 0.5f, vs[1], 1.0f, vs[2]}));
    ReadBack back;
    read_back(lossy_file, back);
    expect_same_layer(scene, lossy, back.scene, back.get(), Kept::everything);

    const std::filesystem::path exact_file = folder / "exact.glb";
    io::write_mesh_file(exact_file, scene, 1);
    EXPECT_TRUE(glb_floats(exact_file, "_UV_EXACT_0").empty()) << "every v flips back exactly";
    ReadBack exact_back;
    read_back(exact_file, exact_back);
    expect_same_layer(scene, exact, exact_back.scene, exact_back.get(), Kept::everything);
}

// A weight map is written under its own name where that makes an attribute
// name other programs show; elsewhere under a name of ours, the real name
// in our record either way.
TEST(GltfWriter, WeightMapsCarryTheirNamesForOtherPrograms) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("named");
    add_triangle(layer, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    const char *names[] = {"SF_index", "two words", "WEIGHT_0"};
    for (uint32_t m = 0; m < 3; ++m) set_weight(layer, names[m], 0, 0.5f * static_cast<float>(m));
    const std::filesystem::path file = folder / "named.glb";
    io::write_mesh_file(file, scene, 0);
    EXPECT_EQ(glb_floats(file, "_SF_index"), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(glb_floats(file, "_WEIGHT_0"), (std::vector<float>{0.5f, 0, 0})) << "\"two words\"";
    EXPECT_EQ(glb_floats(file, "_WEIGHT_1"), (std::vector<float>{1, 0, 0})) << "a name like ours is not taken";
    ReadBack back;
    read_back(file, back);
    expect_same_layer(scene, layer, back.scene, back.get(), Kept::everything);
}

// What Blender writes beyond positions: the painted float attribute as a
// weight map, colours and other attributes kept and written back as they came.
TEST(GltfWriter, KeepsTheAttributesOfOtherPrograms) {
    ScratchFolder folder;
    ReadBack field;
    read_back(std::filesystem::path(SOWFIELD_TEST_DATA) / "io" / "blender_style.gltf", field);
    const host::Layer &layer = field.get();
    const std::filesystem::path file = folder / "field.glb";
    io::write_mesh_file(file, field.scene, field.layer);
    EXPECT_EQ(glb_floats(file, "_ROCKINESS").size(), 8u);
    EXPECT_EQ(glb_floats(file, "_WIND").size(), 24u);
    EXPECT_EQ(glb_floats(file, "COLOR_0").size(), 32u);
    // Positions turned by the file's node are rounded once, to single precision.
    ReadBack once, twice;
    read_back(file, once);
    io::write_mesh_file(folder / "again.glb", once.scene, once.layer);
    read_back(folder / "again.glb", twice);
    expect_same_layer(once.scene, once.get(), twice.scene, twice.get(), Kept::everything);
    EXPECT_EQ(once.get().vmap_count(), layer.vmap_count());
}

TEST(GltfWriter, RefusesValuesTheFormatCannotHold) {
    ScratchFolder folder;
    const std::filesystem::path out = folder / "bad.glb";
    host::Scene scene;
    host::Layer &layer = scene.add_layer("bad");
    add_triangle(layer, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    set_weight(layer, "w", 2, std::numeric_limits<float>::infinity());
    EXPECT_EQ(error_of([&] { io::write_mesh_file(out, scene, 0); }),
              "Error writing " + out.string() + ": point 2 has a value in vertex map \"w\" that is not finite");

    host::Scene big;
    add_triangle(big.add_layer("big"), {1e39, 0, 0}, {1, 0, 0}, {0, 1, 0});
    EXPECT_EQ(error_of([&] { io::write_mesh_file(out, big, 0); }),
              "Error writing " + out.string() + ": point 0 has a coordinate beyond single precision");

    host::Scene named;
    host::Layer &other = named.add_layer("named");
    add_triangle(other, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    set_weight(other, std::string("bad \xC3\x28 byte"), 0, 1.0f);
    EXPECT_EQ(error_of([&] { io::write_mesh_file(out, named, 0); }),
              "Error writing " + out.string() + ": the name of vertex map 0 is not valid UTF-8");
    EXPECT_TRUE(folder.files().empty());
}

// ------------------------------------------------------------- the validator

TEST(GltfValidator, AcceptsEveryFileWeWrite) {
    ScratchFolder folder;
    host::Scene scene;
    build_rich_layer(scene, scene.add_layer("rich"), true);
    host::Layer &points = scene.add_layer("points");
    points.add_point({1, 2, 3});
    set_morph(points, "m", 0, 1, 0, 0);
    scene.add_layer("empty");
    host::Layer &cube = scene.add_layer("cube");
    add_cube(cube, {0, 0.5, 0}, 1.0);
    set_uv(cube, "UV", 0, 0, 0);
    io::read_mesh_file(std::filesystem::path(SOWFIELD_TEST_DATA) / "io" / "blender_style.gltf", scene);
    std::vector<std::filesystem::path> files;
    for (size_t layer = 0; layer < scene.layer_count(); ++layer)
        for (const char *extension : {".gltf", ".glb"}) {
            files.push_back(folder / (scene.layer(layer).name + extension));
            io::write_mesh_file(files.back(), scene, layer);
        }
    std::string report;
    const int status = validate(files, report);
    SKIP_WITHOUT_VALIDATOR(status);
    EXPECT_EQ(status, 0) << report;
}

// The check above means something only if the validator does reject a
// broken file through our script.
TEST(GltfValidator, RejectsABrokenFile) {
    ScratchFolder folder;
    const std::filesystem::path broken = folder.write(
        "broken.gltf",
        R"({"asset":{"version":"2.0"},"accessors":[{"componentType":5126,"count":3,"type":"VEC3","bufferView":4}]})");
    std::string report;
    const int status = validate({broken}, report);
    SKIP_WITHOUT_VALIDATOR(status);
    EXPECT_EQ(status, 1) << report;
    EXPECT_NE(report.find("error"), std::string::npos) << report;
}

}  // namespace
}  // namespace sowfield::testing
