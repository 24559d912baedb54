// OBJ material libraries: the garden Blender wrote read into looks, the names
// "mtllib" lines give, texture options before a file name, and what a
// library's reader goes on without (each a warning with file and line).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "io/mtl_reader.h"
#include "io/obj_materials.h"
#include "tests/io/io_fixture.h"

namespace sowfield::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::filesystem::path kData = std::filesystem::path(SOWFIELD_TEST_DATA) / "io";

const host::SurfaceLook &look_of(host::Scene &scene, const std::string &surface) {
    const host::SurfaceLook *look = scene.surface_keeping(scene.surface_index(surface)).look.get();
    if (look == nullptr) throw std::runtime_error("surface \"" + surface + "\" has no look");
    return *look;
}

TEST(MtlReader, GivesEachUsedSurfaceItsMaterial) {
    host::Scene scene;
    std::vector<std::string> warnings;
    io::read_mesh_file(kData / "garden.obj", scene, &warnings);
    EXPECT_THAT(warnings, ::testing::IsEmpty());

    const host::SurfaceLook &grass = look_of(scene, "Grass");
    EXPECT_EQ(grass.base_colour, (std::array<double, 4>{0.8, 0.8, 0.8, 1.0}));
    EXPECT_EQ(grass.alpha_mode, host::AlphaMode::opaque);
    EXPECT_DOUBLE_EQ(grass.roughness, 0.5) << "Ns 250 as Blender writes roughness 0.5";
    EXPECT_EQ(grass.metallic, 0.0);
    ASSERT_TRUE(grass.base_colour_texture.has_value());
    const host::LookImage &image = *grass.base_colour_texture->image;
    const std::string png = read_text(kData / "grass.png");
    EXPECT_EQ(image.bytes, std::vector<unsigned char>(png.begin(), png.end()));
    EXPECT_EQ(image.mime_type, "image/png");
    EXPECT_EQ(image.file_name, "grass.png") << "-s and its three numbers skipped";

    const host::SurfaceLook &stone = look_of(scene, "Stone path");
    EXPECT_EQ(stone.base_colour, (std::array<double, 4>{0.4, 0.35, 0.3, 0.5}));
    EXPECT_EQ(stone.alpha_mode, host::AlphaMode::blend);
    EXPECT_DOUBLE_EQ(stone.roughness, 1.0 - std::sqrt(0.09));
    EXPECT_EQ(stone.metallic, 0.25);
    EXPECT_FALSE(stone.base_colour_texture.has_value());
}

TEST(MtlReader, LibraryNamesAsExportersWriteThem) {
    ScratchFolder folder;
    folder.write("my materials.mtl", "");
    EXPECT_THAT(io::detail::library_paths(" my materials.mtl ", folder.path), ElementsAre(folder / "my materials.mtl"))
        << "a whole statement that names a file is that file";
    EXPECT_THAT(io::detail::library_paths("a.mtl\tb.mtl", folder.path),
                ElementsAre(folder / "a.mtl", folder / "b.mtl"));
    EXPECT_THAT(io::detail::library_paths(R"(my\ rocks.mtl "my trees.mtl" c.mtl)", folder.path),
                ElementsAre(folder / "my rocks.mtl", folder / "my trees.mtl", folder / "c.mtl"));
}

// Image names as the parser hands them to the image source.
std::vector<std::string> parse_texture_names(const std::string &text, std::vector<io::detail::MtlMaterial> &out,
                                             io::detail::ReadWarnings &warnings) {
    std::vector<std::string> asked;
    out = io::detail::parse_material_library(
        text, "lib.mtl",
        [&](const std::string &name) {
            asked.push_back(name);
            auto image = std::make_shared<host::LookImage>();
            image->file_name = name;
            return name == "gone.png" ? nullptr : std::shared_ptr<const host::LookImage>(image);
        },
        warnings);
    return asked;
}

TEST(MtlReader, TextureOptionsComeBeforeTheFileName) {
    std::vector<io::detail::MtlMaterial> materials;
    io::detail::ReadWarnings warnings;
    const std::vector<std::string> asked = parse_texture_names(
        "newmtl M\n"
        "map_Kd -o 0.5 0.5 -clamp on -mm 0 1 textures/moss 2.png\n"
        "map_Bump -bm 0.25 -imfchan r \"normal map.png\"\n"
        "norm -s 2 -2.png\n"
        "map_Ke glow.png\n"
        "map_d -blendu off alpha.png\n",
        materials, warnings);
    EXPECT_THAT(asked, ElementsAre("textures/moss 2.png", "normal map.png", "-2.png", "glow.png", "alpha.png"));
    EXPECT_THAT(warnings, ::testing::IsEmpty());
    ASSERT_EQ(materials.size(), 1u);
    const host::SurfaceLook &look = materials[0].look;
    EXPECT_EQ(look.normal_texture->image->file_name, "-2.png") << "norm after map_Bump: the last one wins";
    EXPECT_EQ(look.emissive, (std::array<double, 3>{1, 1, 1})) << "an emission map without Ke shines as painted";
    EXPECT_EQ(look.base_colour, (std::array<double, 4>{1, 1, 1, 1})) << "so does a colour map without Kd";
    EXPECT_EQ(look.alpha_texture->image->file_name, "alpha.png");
    EXPECT_EQ(look.alpha_mode, host::AlphaMode::blend);
}

TEST(MtlReader, GoesOnPastWhatItCannotUse) {
    std::vector<io::detail::MtlMaterial> materials;
    io::detail::ReadWarnings warnings;
    parse_texture_names(
        "Kd 1 0 0\n"
        "newmtl A\n"
        "Kd 0.2 oops 0.1\n"
        "Tr 0.25\n"
        "Ke 3 0.5 -1\n"
        "Pr 0.3\nNs 1000\n"
        "foo bar\n"
        "map_Kd gone.png\n"
        "map_Ke -bm\n"
        "newmtl\n"
        "Kd 0 0 1\n"
        "newmtl B\n"
        "Kd 0.5\n",
        materials, warnings);
    ASSERT_EQ(materials.size(), 2u);
    const host::SurfaceLook &a = materials[0].look;
    EXPECT_EQ(a.base_colour, (std::array<double, 4>{0.8, 0.8, 0.8, 0.75})) << "the bad Kd is left out; Tr is 1 - d";
    EXPECT_EQ(a.emissive, (std::array<double, 3>{1, 0.5, 0})) << "clamped to what glTF allows";
    EXPECT_EQ(a.roughness, 0.3) << "Pr before Ns";
    EXPECT_FALSE(a.base_colour_texture.has_value());
    EXPECT_EQ(materials[1].name, "B");
    EXPECT_EQ(materials[1].look.base_colour, (std::array<double, 4>{0.5, 0.5, 0.5, 1})) << "one value is grey";
    EXPECT_THAT(warnings, ElementsAre("lib.mtl: line 1: \"Kd\" comes before any newmtl and is ignored",
                                      "lib.mtl: line 3: \"Kd\" wants a number, not \"oops\"; the statement is ignored",
                                      HasSubstr("line 9: the image \"gone.png\" (\"map_Kd\" of \"A\") cannot be read"),
                                      HasSubstr("line 10: \"map_Ke\" of \"A\" names no image"),
                                      HasSubstr("line 11: newmtl names no material")));
}

TEST(MtlReader, AMissingLibraryOrImageIsAWarning) {
    ScratchFolder folder;
    folder.write("scene.mtl", "newmtl Bark\nKd 0.3 0.2 0.1\nmap_Kd bark.png\n");
    const auto obj = folder.write("scene.obj",
                                  "mtllib scene.mtl lost.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                                  "usemtl Bark\nf 1 2 3\nusemtl Moss\nf 3 2 1\n");
    host::Scene scene;
    std::vector<std::string> warnings;
    io::read_mesh_file(obj, scene, &warnings);
    EXPECT_THAT(warnings,
                ElementsAre(HasSubstr((folder / "scene.mtl").string() + ": line 3: the image \"bark.png\""),
                            obj.string() + ": line 1: the material library lost.mtl is not there; its materials "
                                           "come without their look"));
    EXPECT_EQ(look_of(scene, "Bark").base_colour, (std::array<double, 4>{0.3, 0.2, 0.1, 1}));
    EXPECT_EQ(scene.surface_keeping(scene.surface_index("Moss")).look, nullptr);

    folder.write("lost.mtl", "newmtl Other\n");
    warnings.clear();
    io::read_mesh_file(obj, scene, &warnings);
    EXPECT_THAT(warnings, ::testing::Contains(obj.string() + ": the material \"Moss\" is in none of its material "
                                                             "libraries"));
}

}  // namespace
}  // namespace sowfield::testing
