// glTF from elsewhere: node transforms, strips, sparse morph targets,
// materials and the default scene; and bad input stopped with the file and
// the object at fault.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "host/scene/normals.h"
#include "sowfield_host.h"
#include "tests/io/io_fixture.h"

namespace sowfield::testing {
namespace {

std::vector<uint32_t> points_of(const host::Layer &layer, uint32_t polygon) {
    const auto points = layer.polygon_points(polygon);
    return {points.begin(), points.end()};
}

std::vector<float> value_of(const host::VertexMap &map, uint32_t point) {
    const float *value = map.value(point);
    if (!value) return {};
    return {value, value + map.dimension()};
}

// The file's mesh appears once per node of the default scene that holds it:
// under T(10, 0, 0) * S(2), and under a matrix (a quarter turn about z, then
// z + 5) over a half turn about x (p -> (y, x, 5 - z)).
TEST(GltfReader, ReadsEveryMeshInstanceOfTheDefaultSceneInWorldSpace) {
    ReadBack back;
    read_back(std::filesystem::path(SOWFIELD_TEST_DATA) / "io" / "foreign.gltf", back);
    const host::Layer &layer = back.get();
    ASSERT_EQ(layer.point_count(), 14u) << "two instances of 4 + 3 vertices; the other scene is not read";
    EXPECT_EQ(layer.position(3), (host::Vec3{12, 2, 0}));
    EXPECT_EQ(layer.position(4), (host::Vec3{10, 0, 2}));
    EXPECT_EQ(layer.position(7 + 3), (host::Vec3{1, 1, 5}));
    EXPECT_EQ(layer.position(7 + 4), (host::Vec3{0, 0, 4}));

    ASSERT_EQ(layer.polygon_count(), 6u);
    EXPECT_EQ(points_of(layer, 0), (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(points_of(layer, 1), (std::vector<uint32_t>{1, 3, 2})) << "a strip's odd triangles turn the other way";
    EXPECT_EQ(points_of(layer, 2), (std::vector<uint32_t>{6, 5, 4}));
    EXPECT_EQ(points_of(layer, 4), (std::vector<uint32_t>{8, 10, 9}));
    EXPECT_EQ(back.scene.surface_name(layer.polygon_surface(0)), "stone");
    EXPECT_EQ(back.scene.surface_name(layer.polygon_surface(2)), "Default");

    ASSERT_EQ(layer.vmap_count(), 2u);
    const host::VertexMap &uv = layer.vmap(0);
    EXPECT_EQ(uv.type(), SF_VMAP_TXUV);
    EXPECT_EQ(uv.name(), "UV");
    EXPECT_EQ(value_of(uv, 3), (std::vector<float>{1, 0})) << "TEXCOORD (1, 1): v from the top becomes v from the bottom";
    EXPECT_EQ(value_of(uv, 0), (std::vector<float>{0, 1}));
    EXPECT_TRUE(value_of(uv, 4).empty()) << "the triangle has no TEXCOORD_0";
    const host::VertexMap &lift = layer.vmap(1);
    EXPECT_EQ(lift.type(), SF_VMAP_MORF);
    EXPECT_EQ(lift.name(), "lift");
    EXPECT_EQ(value_of(lift, 3), (std::vector<float>{0, 0, 1})) << "sparse value, scaled by the node";
    EXPECT_EQ(value_of(lift, 2), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(value_of(lift, 7 + 3), (std::vector<float>{0, 0, -0.5f})) << "turned, not moved";
}

// Blender's painted float attribute "rockiness" arrives as "__ROCKINESS":
// a weight map named without the underscores. Colours and other attributes
// are kept under types of their own, as they came.
TEST(GltfReader, TakesTheAttributesOfOtherPrograms) {
    ReadBack back;
    read_back(std::filesystem::path(SOWFIELD_TEST_DATA) / "io" / "blender_style.gltf", back);
    const host::Layer &layer = back.get();
    ASSERT_EQ(layer.point_count(), 8u);
    const host::VertexMap *rockiness = layer.find_vmap(SF_VMAP_WGHT, "ROCKINESS");
    ASSERT_NE(rockiness, nullptr);
    EXPECT_EQ(value_of(*rockiness, 0), (std::vector<float>{0}));
    EXPECT_EQ(value_of(*rockiness, 7), (std::vector<float>{1}));
    const host::VertexMap *colour = layer.find_vmap(0x52474241u /* RGBA */, "COLOR_0");
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(value_of(*colour, 0), (std::vector<float>{1, 32768 / 65535.0f, 0, 1}));
    EXPECT_TRUE(value_of(*colour, 4).empty()) << "the rock has no colours";
    const host::VertexMap *wind = layer.find_vmap(0x41545452u /* ATTR */, "_WIND");
    ASSERT_NE(wind, nullptr);
    EXPECT_EQ(value_of(*wind, 4), (std::vector<float>{0.5f, 0, 0.25f}));
}

// ------------------------------------------------------------- bad input

// A small file of our own as JSON, to break in one place at a time.
nlohmann::json small_gltf(const ScratchFolder &folder) {
    host::Scene scene;
    host::Layer &layer = scene.add_layer("small");
    add_quad(layer, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1});
    add_triangle(layer, {0, 1, 0}, {1, 1, 0}, {0, 1, 1});
    io::write_mesh_file(folder / "small.gltf", scene, 0);
    return nlohmann::json::parse(read_text(folder / "small.gltf"));
}

std::string load_error(const ScratchFolder &folder, const nlohmann::json &gltf) {
    const auto file = folder.write("broken.gltf", gltf.dump());
    host::Scene scene;
    const std::string message = error_of([&] { io::read_mesh_file(file, scene); });
    EXPECT_EQ(scene.layer_count(), 0u);
    const std::string prefix = "Error loading " + file.string() + ": ";
    EXPECT_EQ(message.substr(0, prefix.size()), prefix);
    return message.substr(std::min(prefix.size(), message.size()));
}

std::vector<float> value_at(const std::filesystem::path &file, uint32_t point) {
    ReadBack back;
    read_back(file, back);
    return value_of(back.get().vmap(0), point);
}

// A node that mirrors its mesh turns the triangles' front to the other side
// (the format's rule for a negative determinant); reading reverses their
// corners, so the host's normal points where the file's front faces.
TEST(GltfReader, AMirroringNodeKeepsEachFaceFront) {
    ScratchFolder folder;
    nlohmann::json gltf = small_gltf(folder);
    const auto normals = [&](const nlohmann::json &file) {
        ReadBack back;
        read_back(folder.write("mirror.gltf", file.dump()), back);
        std::vector<host::Vec3> out;
        for (uint32_t polygon = 0; polygon < back.get().polygon_count(); ++polygon) {
            host::Vec3 n{};
            EXPECT_TRUE(host::newell_normal(back.get(), back.get().polygon_points(polygon), n));
            out.push_back(n);
        }
        return out;
    };
    const std::vector<host::Vec3> plain = normals(gltf);
    gltf["nodes"][0]["scale"] = {1, -1, 1};  // a mirror across y = 0
    const std::vector<host::Vec3> mirrored = normals(gltf);
    ASSERT_EQ(mirrored.size(), plain.size());
    for (size_t i = 0; i < plain.size(); ++i)
        EXPECT_EQ(mirrored[i], (host::Vec3{plain[i][0], -plain[i][1], plain[i][2]})) << "polygon " << i;
    gltf["nodes"][0]["scale"] = {-1, -1, 1};  // a half turn: no mirror, no reversal
    EXPECT_EQ(normals(gltf)[0], (host::Vec3{-plain[0][0], -plain[0][1], plain[0][2]}));
}

// Files of record version 1 wrote v as stored, not 1 - v.
TEST(GltfReader, VersionOneRecordsReadUvAsStored) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("uv");
    add_triangle(layer, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    for (uint32_t p = 0; p < 3; ++p) set_uv(layer, "UV", p, 0.5f, 0.75f);
    io::write_mesh_file(folder / "uv.gltf", scene, 0);
    nlohmann::json gltf = nlohmann::json::parse(read_text(folder / "uv.gltf"));
    EXPECT_EQ(value_at(folder.write("two.gltf", gltf.dump()), 1), (std::vector<float>{0.5f, 0.75f}));
    gltf["meshes"][0]["extras"]["sowfield"]["version"] = 1;
    EXPECT_EQ(value_at(folder.write("one.gltf", gltf.dump()), 1), (std::vector<float>{0.5f, 0.25f}));
}

TEST(GltfRejects, AnIndexBeyondTheVertices) {
    ScratchFolder folder;
    nlohmann::json gltf = small_gltf(folder);
    gltf["accessors"][0]["count"] = 5;  // POSITION: the triangle's points are gone
    EXPECT_EQ(load_error(folder, gltf), "mesh 0 primitive 0: index 7 refers to vertex 5, but only 5 exist");
}

TEST(GltfRejects, TextThatIsNotJsonInPlainWords) {
    ScratchFolder folder;
    host::Scene scene;
    const std::string cut = error_of([&] { io::read_mesh_file(folder.write("cut.gltf", R"({"asset":)"), scene); });
    EXPECT_NE(cut.find(": not valid JSON: parse error at line 1"), std::string::npos) << cut;
    EXPECT_EQ(cut.find("json.exception"), std::string::npos) << cut;
    const std::string brace = error_of([&] { io::read_mesh_file(folder.write("brace.gltf", "{"), scene); });
    EXPECT_TRUE(brace.ends_with(": not valid JSON: the file ends too soon")) << brace;
}

TEST(GltfRejects, AnUnknownRequiredExtension) {
    ScratchFolder folder;
    nlohmann::json gltf = small_gltf(folder);
    gltf["extensionsUsed"] = {"KHR_draco_mesh_compression", "EXT_frobnicate"};
    gltf["extensionsRequired"] = {"EXT_frobnicate"};
    EXPECT_EQ(load_error(folder, gltf), "requires the extension EXT_frobnicate, which is not supported");
    // Compressed accessors have no buffer view, which stops the loader
    // before the list is read: the message still names the extension.
    gltf["extensionsRequired"] = {"KHR_draco_mesh_compression"};
    for (nlohmann::json &accessor : gltf["accessors"]) accessor.erase("bufferView");
    EXPECT_EQ(load_error(folder, gltf),
              "requires the extension KHR_draco_mesh_compression, which is not supported (compressed geometry: export "
              "the file again without mesh compression)");
}

TEST(GltfRejects, DataBeyondItsBufferView) {
    ScratchFolder folder;
    nlohmann::json gltf = small_gltf(folder);
    gltf["bufferViews"][0]["byteLength"] = 12;
    EXPECT_EQ(load_error(folder, gltf),
              "accessor 0 (mesh 0 primitive 0 POSITION): 7 elements run past the end of buffer view 0");
}

TEST(GltfRejects, MoreVerticesWithoutDataThanTheFileCouldHold) {
    ScratchFolder folder;
    nlohmann::json gltf = small_gltf(folder);
    gltf["accessors"][0].erase("bufferView");  // zeros, costing nothing in the file
    gltf["accessors"][0]["count"] = 1000000000;
    EXPECT_EQ(load_error(folder, gltf),
              "accessor 0 (mesh 0 primitive 0 POSITION): 1000000000 elements without data, more than the file can use");
}

TEST(GltfRejects, AnAccessorThatDoesNotExist) {
    ScratchFolder folder;
    nlohmann::json gltf = small_gltf(folder);
    gltf["meshes"][0]["primitives"][0]["indices"] = 40;
    EXPECT_EQ(load_error(folder, gltf), "primitive indices accessor out of bounds");  // found by tinygltf
}

TEST(GltfRejects, ANodeThatIsItsOwnAncestor) {
    ScratchFolder folder;
    nlohmann::json gltf = small_gltf(folder);
    gltf["nodes"][0]["children"] = {0};
    EXPECT_EQ(load_error(folder, gltf), "node 0 is its own ancestor");
}

TEST(GltfRejects, ARecordThatDisagreesWithTheTriangles) {
    ScratchFolder folder;
    nlohmann::json gltf = small_gltf(folder);
    // A quad and a triangle: three triangles, which a pentagon would also need.
    gltf["meshes"][0]["primitives"][0]["extras"]["sowfield"]["polygon_sizes"] = {5, 1};
    EXPECT_EQ(load_error(folder, gltf), "mesh 0 primitive 0: the recorded polygon sizes do not match the triangles");
    gltf["meshes"][0]["primitives"][0]["extras"]["sowfield"]["polygon_sizes"] = {4, 2};
    EXPECT_EQ(load_error(folder, gltf),
              "mesh 0 primitive 0: the recorded polygon sizes need 4 triangles, but there are 3");
    gltf["meshes"][0]["primitives"][0]["extras"]["sowfield"]["polygon_sizes"] = {4, "one"};
    EXPECT_EQ(load_error(folder, gltf), "mesh 0 primitive 0: malformed polygon_sizes record");
}

TEST(GltfRejects, ARecordOfALaterVersion) {
    ScratchFolder folder;
    nlohmann::json gltf = small_gltf(folder);
    gltf["meshes"][0]["extras"]["sowfield"]["version"] = 4;
    EXPECT_EQ(load_error(folder, gltf), "mesh 0: the file was written by a later version (record version 4)");
}

TEST(GltfRejects, MalformedJson) {
    ScratchFolder folder;
    const auto file = folder.write("broken.gltf", "{\"asset\": {\"version\": \"2.0\"},");
    host::Scene scene;
    const std::string message = error_of([&] { io::read_mesh_file(file, scene); });
    EXPECT_EQ(message.rfind("Error loading " + file.string() + ": ", 0), 0u) << message;
    EXPECT_EQ(scene.layer_count(), 0u);
}

TEST(GltfRejects, ACoordinateThatIsNotFinite) {
    ScratchFolder folder;
    host::Scene scene;
    add_triangle(scene.add_layer("t"), {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    const auto file = folder / "nan.glb";
    io::write_mesh_file(file, scene, 0);
    std::string bytes = read_text(file);
    // The binary chunk follows the 12-byte header and the JSON chunk; its
    // first float is the first point's x.
    uint32_t json_length = 0;
    std::memcpy(&json_length, bytes.data() + 12, 4);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::memcpy(bytes.data() + 20 + json_length + 8, &nan, 4);
    folder.write("nan.glb", bytes);
    EXPECT_EQ(error_of([&] { io::read_mesh_file(file, scene); }),
              "Error loading " + file.string() + ": mesh 0 primitive 0: vertex 0 has a coordinate that is not finite");
    EXPECT_EQ(scene.layer_count(), 1u);
}

TEST(GltfRejects, ATruncatedBinaryFile) {
    ScratchFolder folder;
    host::Scene scene;
    add_triangle(scene.add_layer("t"), {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    io::write_mesh_file(folder / "whole.glb", scene, 0);
    const std::string bytes = read_text(folder / "whole.glb");
    const auto file = folder.write("cut.glb", bytes.substr(0, bytes.size() - 10));
    const std::string message = error_of([&] { io::read_mesh_file(file, scene); });
    EXPECT_EQ(message.rfind("Error loading " + file.string() + ": ", 0), 0u) << message;
    EXPECT_EQ(scene.layer_count(), 1u);
}

}  // namespace
}  // namespace sowfield::testing
