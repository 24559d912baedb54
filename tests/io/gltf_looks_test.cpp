// Materials through glTF: what the reader keeps of each material (factors,
// textures with their samplers and images' bytes, alpha, sides, extensions
// and the textures they refer to) comes back from our own GLB and .gltf, and
// the names of the node and mesh come back too.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "host/scene/surface_look.h"
#include "tests/io/io_fixture.h"

namespace sowfield::testing {
namespace {

const std::filesystem::path kData = std::filesystem::path(SOWFIELD_TEST_DATA) / "io";

std::vector<unsigned char> file_bytes(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const host::SurfaceLook &look_of(ReadBack &back, const std::string &surface) {
    const std::shared_ptr<const host::SurfaceLook> &look =
        back.scene.surface_keeping(back.scene.surface_index(surface)).look;
    if (!look) throw std::runtime_error("surface \"" + surface + "\" has no look");
    return *look;
}

void expect_same_image(const std::shared_ptr<const host::LookImage> &a,
                       const std::shared_ptr<const host::LookImage> &b) {
    ASSERT_EQ(a == nullptr, b == nullptr);
    if (!a) return;
    EXPECT_EQ(a->bytes, b->bytes);
    EXPECT_EQ(a->name, b->name);
    EXPECT_EQ(a->mime_type, b->mime_type);
}

void expect_same_texture(const std::optional<host::LookTexture> &a, const std::optional<host::LookTexture> &b) {
    ASSERT_EQ(a.has_value(), b.has_value());
    if (!a) return;
    expect_same_image(a->image, b->image);
    ASSERT_EQ(a->extension_images.size(), b->extension_images.size());
    for (size_t i = 0; i < a->extension_images.size(); ++i) {
        EXPECT_EQ(a->extension_images[i].extension, b->extension_images[i].extension);
        expect_same_image(a->extension_images[i].image, b->extension_images[i].image);
    }
    EXPECT_EQ(a->sampler.mag_filter, b->sampler.mag_filter);
    EXPECT_EQ(a->sampler.min_filter, b->sampler.min_filter);
    EXPECT_EQ(a->sampler.wrap_s, b->sampler.wrap_s);
    EXPECT_EQ(a->tex_coord, b->tex_coord);
    EXPECT_EQ(a->scale, b->scale);
    EXPECT_EQ(a->extensions_json, b->extensions_json);
}

void expect_same_look(const host::SurfaceLook &a, const host::SurfaceLook &b) {
    EXPECT_EQ(a.base_colour, b.base_colour);
    EXPECT_EQ(a.metallic, b.metallic);
    EXPECT_EQ(a.roughness, b.roughness);
    EXPECT_EQ(a.emissive, b.emissive);
    EXPECT_EQ(a.alpha_mode, b.alpha_mode);
    EXPECT_EQ(a.alpha_cutoff, b.alpha_cutoff);
    EXPECT_EQ(a.double_sided, b.double_sided);
    expect_same_texture(a.base_colour_texture, b.base_colour_texture);
    expect_same_texture(a.metallic_roughness_texture, b.metallic_roughness_texture);
    expect_same_texture(a.normal_texture, b.normal_texture);
    expect_same_texture(a.occlusion_texture, b.occlusion_texture);
    expect_same_texture(a.emissive_texture, b.emissive_texture);
    EXPECT_EQ(a.extensions_json, b.extensions_json);
    EXPECT_EQ(a.extras_json, b.extras_json);
    ASSERT_EQ(a.extension_textures.size(), b.extension_textures.size());
    for (size_t i = 0; i < a.extension_textures.size(); ++i)
        expect_same_texture(a.extension_textures[i], b.extension_textures[i]);
}

// A material of every kind of texture a file may hold: base colour from a
// data: URI, normal map (scaled, second UV set) sharing that image with a
// clamped sampler, a clearcoat extension whose texture is the file's third,
// occlusion offering a WebP image beside the PNG, emissive a WebP image
// alone (a file beside), alpha mask and extras.
constexpr const char *kGrassPng =
    "data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAIAAAD91JpzAAAAEElEQVR4nGOwmaYBRAwQCgAbtgPpHyOimQAAAABJRU"
    "5ErkJggg==";

std::filesystem::path write_coated(const ScratchFolder &folder) {
    std::filesystem::copy_file(kData / "grass.webp", folder / "grass.webp",
                               std::filesystem::copy_options::overwrite_existing);
    const std::string json = std::string(R"({"asset": {"version": "2.0"},
  "extensionsUsed": ["KHR_materials_clearcoat", "EXT_texture_webp"], "extensionsRequired": ["EXT_texture_webp"],
  "scenes": [{"nodes": [0]}], "nodes": [{"name": "Shell", "mesh": 0}],
  "meshes": [{"name": "ShellMesh", "primitives": [{"attributes": {"POSITION": 0, "TEXCOORD_0": 1, "TEXCOORD_1": 2},
                                                   "material": 0}]}],
  "materials": [{"name": "Coat", "alphaMode": "MASK", "alphaCutoff": 0.25, "extras": {"painter": "me"},
    "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}},
    "normalTexture": {"index": 1, "scale": 0.5, "texCoord": 1},
    "occlusionTexture": {"index": 3}, "emissiveTexture": {"index": 4},
    "extensions": {"KHR_materials_clearcoat": {"clearcoatFactor": 1, "clearcoatTexture": {"index": 2}}}}],
  "textures": [{"source": 0}, {"source": 0, "sampler": 0}, {"source": 0, "sampler": 0},
               {"source": 0, "extensions": {"EXT_texture_webp": {"source": 1}}},
               {"extensions": {"EXT_texture_webp": {"source": 1}}}],
  "samplers": [{"wrapS": 33071, "wrapT": 33071}],
  "images": [{"uri": ")") + kGrassPng + R"("}, {"uri": "grass.webp"}],
  "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
                 "min": [0, 0, 0], "max": [1, 1, 0]},
                {"bufferView": 1, "componentType": 5126, "count": 3, "type": "VEC2"},
                {"bufferView": 2, "componentType": 5126, "count": 3, "type": "VEC2"}],
  "bufferViews": [{"buffer": 0, "byteLength": 36}, {"buffer": 0, "byteOffset": 36, "byteLength": 24},
                  {"buffer": 0, "byteOffset": 60, "byteLength": 24}],
  "buffers": [{"byteLength": 84, "uri": "data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAAAAAAAAAAAAAAAIA/AAAAAAAAAAAAAIA/AAAAAAAAAAAAAIA/AAAAAAAAAAAAAIA/"}]})";
    return folder.write("coated.gltf", json);
}

TEST(GltfLooks, TheReaderKeepsEveryPartOfAMaterial) {
    ScratchFolder folder;
    ReadBack back;
    read_back(write_coated(folder), back);
    const host::SurfaceLook &coat = look_of(back, "Coat");
    ASSERT_TRUE(coat.base_colour_texture && coat.normal_texture);
    EXPECT_EQ(coat.base_colour_texture->image->bytes, file_bytes(kData / "grass.png")) << "the data: URI's bytes";
    EXPECT_EQ(coat.base_colour_texture->image->mime_type, "image/png");
    EXPECT_EQ(coat.normal_texture->image, coat.base_colour_texture->image) << "one image, read once";
    EXPECT_EQ(coat.normal_texture->sampler.wrap_s, 33071);
    EXPECT_EQ(coat.normal_texture->tex_coord, 1);
    EXPECT_EQ(coat.normal_texture->scale, 0.5);
    ASSERT_TRUE(coat.occlusion_texture && coat.emissive_texture);
    EXPECT_EQ(coat.occlusion_texture->image, coat.base_colour_texture->image) << "the PNG beside the WebP image";
    EXPECT_FALSE(coat.emissive_texture->image) << "the WebP image alone";
    for (const host::LookTexture *webp : {&*coat.occlusion_texture, &*coat.emissive_texture}) {
        ASSERT_EQ(webp->extension_images.size(), 1u);
        EXPECT_EQ(webp->extension_images[0].extension, "EXT_texture_webp");
        EXPECT_EQ(webp->extension_images[0].image->bytes, file_bytes(kData / "grass.webp"));
        EXPECT_EQ(webp->extension_images[0].image->mime_type, "image/webp");
    }
    EXPECT_EQ(coat.alpha_mode, host::AlphaMode::mask);
    EXPECT_EQ(coat.alpha_cutoff, 0.25);
    EXPECT_EQ(coat.extras_json, R"({"painter":"me"})");
    EXPECT_EQ(coat.extensions_json,
              R"({"KHR_materials_clearcoat":{"clearcoatFactor":1,"clearcoatTexture":{"index":0}}})")
        << "the extension's texture renumbered to its place among the look's";
    ASSERT_EQ(coat.extension_textures.size(), 1u);
    EXPECT_EQ(coat.extension_textures[0].image, coat.base_colour_texture->image);
    EXPECT_EQ(back.get().name, "Shell");
    EXPECT_EQ(back.get().mesh_name, "ShellMesh");
}

// An image file that is not there: the scene is still read, without that
// texture, and the reader says so.
TEST(GltfLooks, AMissingImageFileLeavesOnlyItsTextureOut) {
    ScratchFolder folder;
    for (const char *name : {"blender_style.gltf", "blender_style.bin"})
        std::filesystem::copy_file(kData / name, folder / name);
    ReadBack back;
    std::vector<std::string> warnings;
    back.layer = io::read_mesh_file(folder / "blender_style.gltf", back.scene, &warnings);
    EXPECT_EQ(back.get().polygon_count(), 4u);
    const std::string file = (folder / "blender_style.gltf").string();
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            file + ": image 0 (grass.png) cannot be read; the textures that use it are left out",
                            file + ": image 1 (rock.png) cannot be read; the textures that use it are left out"}));
    const host::SurfaceLook &grass = look_of(back, "Grass");
    EXPECT_FALSE(grass.base_colour_texture);
    EXPECT_EQ(grass.roughness, 0.8);
}

// A texture needs its UV set: written for a mesh without UVs, the material
// keeps its factors and leaves the textures out, so the file stays valid.
TEST(GltfLooks, TexturesWithoutTheirUvSetAreLeftOut) {
    ScratchFolder folder;
    ReadBack coated;
    read_back(write_coated(folder), coated);
    host::Scene scene;
    host::Layer &layer = scene.add_layer("bare");
    add_triangle(layer, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {.surface = scene.surface_index("Coat")});
    const uint32_t coated_surface = coated.scene.surface_index("Coat");
    scene.set_surface_keeping(layer.polygon_surface(0), coated.scene.surface_keeping(coated_surface));
    const std::filesystem::path file = folder / "bare.glb";
    io::write_mesh_file(file, scene, 0);
    ReadBack back;
    read_back(file, back);
    const host::SurfaceLook &coat = look_of(back, "Coat");
    EXPECT_FALSE(coat.base_colour_texture || coat.normal_texture);
    EXPECT_TRUE(coat.extension_textures.empty());
    EXPECT_EQ(coat.extensions_json, R"({"KHR_materials_clearcoat":{"clearcoatFactor":1}})");
    EXPECT_EQ(coat.alpha_cutoff, 0.25);
    std::string report;
    const int status = validate({file}, report);
    SKIP_WITHOUT_VALIDATOR(status);
    EXPECT_EQ(status, 0) << report;
}

// Two files whose materials share a name but not a look (Blender names every
// first material "Material"): the later one's surface is renamed, so each
// keeps its own look; a file with the same look shares the surface.
TEST(GltfLooks, ASurfaceNameWithAnotherLookIsRenamed) {
    ScratchFolder folder;
    for (const char *name : {"blender_style.bin", "grass.png", "rock.png"})
        std::filesystem::copy_file(kData / name, folder / name);
    std::string text = read_text(kData / "blender_style.gltf");
    text.replace(text.find("\"roughnessFactor\": 0.8"), 22, "\"roughnessFactor\": 0.5");
    const std::filesystem::path rougher = folder.write("rougher.gltf", text);
    ReadBack back;
    io::read_mesh_file(kData / "blender_style.gltf", back.scene);
    const size_t second = io::read_mesh_file(rougher, back.scene);
    const size_t third = io::read_mesh_file(kData / "blender_style.gltf", back.scene);
    const host::Scene &scene = back.scene;
    EXPECT_EQ(scene.surface_name(scene.layer(second).polygon_surface(0)), "Grass.001");
    EXPECT_EQ(scene.surface_name(scene.layer(second).polygon_surface(2)), "Rock") << "the same look";
    EXPECT_EQ(scene.surface_name(scene.layer(third).polygon_surface(0)), "Grass");
    EXPECT_EQ(look_of(back, "Grass").roughness, 0.8);
    EXPECT_EQ(look_of(back, "Grass.001").roughness, 0.5);
}

class GltfLooksTravel : public ::testing::TestWithParam<const char *> {};

// Blender's layout (an image file beside the .gltf, an unknown extension) and
// every kind of texture, written by us and read back.
TEST_P(GltfLooksTravel, MaterialsAndNamesComeBackFromOurFiles) {
    ScratchFolder folder;
    std::vector<std::filesystem::path> written;
    for (const std::filesystem::path &source : {kData / "blender_style.gltf", write_coated(folder)}) {
        ReadBack first;
        read_back(source, first);
        const std::filesystem::path file = folder / ("out_" + source.stem().string() + GetParam());
        io::write_mesh_file(file, first.scene, first.layer);
        written.push_back(file);
        ReadBack back;
        read_back(file, back);
        EXPECT_EQ(back.get().name, first.get().name);
        EXPECT_EQ(back.get().mesh_name, first.get().mesh_name);
        for (uint32_t surface = 1; surface < first.scene.surface_count(); ++surface) {
            SCOPED_TRACE(first.scene.surface_name(surface));
            const auto &look = first.scene.surface_keeping(surface).look;
            ASSERT_TRUE(look);
            expect_same_look(*look, look_of(back, first.scene.surface_name(surface)));
        }
    }
    std::string report;
    const int status = validate(written, report);
    SKIP_WITHOUT_VALIDATOR(status);
    EXPECT_EQ(status, 0) << report;
}

INSTANTIATE_TEST_SUITE_P(BothForms, GltfLooksTravel, ::testing::Values(".glb", ".gltf"),
                         [](const auto &form) { return std::string(form.param + 1); });

}  // namespace
}  // namespace sowfield::testing
