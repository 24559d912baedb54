// OBJ written by us and read back: positions bit for bit, polygons of every
// size in order, surfaces, the first UV map with its missing values.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "sowfield_host.h"
#include "tests/io/io_fixture.h"

namespace sowfield::testing {
namespace {

// Writes layer 0 of `scene` as OBJ to `path`, reads it back and expects the
// same layer: positions bit for bit, polygons, surfaces, the first UV map.
void expect_obj_round_trip(const std::filesystem::path &path, const host::Scene &scene, const host::Layer &layer) {
    io::write_mesh_file(path, scene, 0);
    ReadBack back;
    read_back(path, back);
    expect_same_layer(scene, layer, back.scene, back.get(), Kept::obj);
}

TEST(ObjWriter, RichLayerRoundTripsWithExactDoubles) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("rich");
    build_rich_layer(scene, layer, /*floats_only=*/false);
    io::write_mesh_file(folder / "rich.obj", scene, 0);

    ReadBack back;
    read_back(folder / "rich.obj", back);
    expect_same_layer(scene, layer, back.scene, back.get(), Kept::obj);
    EXPECT_EQ(back.get().name, "rich");
}

// Shortest round-trip text must come back as the same bits for any double,
// which a reader that accumulates digits in floating point does not manage
// for most of them.
TEST(ObjWriter, RandomDoublesOfEveryMagnitudeComeBackBitForBit) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("random");
    std::mt19937_64 bits(20240611);
    for (int i = 0; i < 3000; ++i) {
        host::Vec3 p{};
        for (double &c : p) {
            do {
                const uint64_t raw = bits();
                std::memcpy(&c, &raw, sizeof c);
            } while (!std::isfinite(c));
        }
        layer.add_point(p);
    }
    expect_obj_round_trip(folder / "random.obj", scene, layer);
}

TEST(ObjWriter, WritesShortestNumbersSurfaceRunsAndElementsBySize) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("small");
    for (double x : {0.1, 1.0 / 3.0, -0.0}) layer.add_point({x, 2.5, 1e-7});
    const uint32_t bark = scene.surface_index("bark");
    const uint32_t tri[3] = {0, 1, 2};
    const uint32_t line[2] = {2, 0};
    const uint32_t dot[1] = {1};
    layer.add_polygon(SF_POLY_FACE, tri, 0);
    layer.add_polygon(SF_POLY_FACE, tri, bark);
    layer.add_polygon(SF_POLY_FACE, line, bark);
    layer.add_polygon(SF_POLY_FACE, dot, 0);
    io::write_mesh_file(folder / "small.obj", scene, 0);

    EXPECT_EQ(read_text(folder / "small.obj"),
              "# Sowfield mesh: 3 points, 4 polygons\n"
              "mtllib small.mtl\n"
              "o small\n"
              "v 0.1 2.5 1e-07\n"
              "v 0.3333333333333333 2.5 1e-07\n"
              "v -0 2.5 1e-07\n"
              "usemtl Default\n"
              "f 1 2 3\n"
              "usemtl bark\n"
              "f 1 2 3\n"
              "l 3 1\n"
              "usemtl Default\n"
              "p 2\n");
}

TEST(ObjWriter, PointsWithoutUvHaveCornersWithoutTextureIndex) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("partial");
    for (int i = 0; i < 4; ++i) layer.add_point({double(i), 0, 0});
    set_uv(layer, "UV", 0, 0.25f, 0.5f);
    set_uv(layer, "UV", 2, 0.75f, 1.0f);
    const uint32_t quad[4] = {0, 1, 2, 3};
    layer.add_polygon(SF_POLY_FACE, quad);
    io::write_mesh_file(folder / "partial.obj", scene, 0);

    const std::string text = read_text(folder / "partial.obj");
    EXPECT_NE(text.find("vt 0.25 0.5\nvt 0.75 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("f 1/1 2 3/2 4\n"), std::string::npos) << text;
    ReadBack back;
    read_back(folder / "partial.obj", back);
    expect_same_layer(scene, layer, back.scene, back.get(), Kept::obj);
}

TEST(ObjWriter, RangeWritesOnlyLaterPointsAndPolygonsRenumbered) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("grown");
    add_quad(layer, {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1});
    const uint32_t first_point = layer.point_count();
    const uint32_t first_polygon = layer.polygon_count();
    add_triangle(layer, {5, 0, 0}, {6, 0, 0}, {5, 1, 0});
    add_quad(layer, {7, 0, 0}, {8, 0, 0}, {8, 1, 0}, {7, 1, 0});
    io::write_mesh_file(folder / "added.obj", scene, 0, {first_point, first_polygon});

    ReadBack back;
    read_back(folder / "added.obj", back);
    const host::Layer &read = back.get();
    ASSERT_EQ(read.point_count(), 7u);
    ASSERT_EQ(read.polygon_count(), 2u);
    EXPECT_EQ(read.position(0), (host::Vec3{5, 0, 0}));
    EXPECT_EQ(std::vector<uint32_t>(read.polygon_points(1).begin(), read.polygon_points(1).end()),
              (std::vector<uint32_t>{3, 4, 5, 6}));
}

// Large layers are formatted in pieces on two threads; the pieces must join
// in order, each polygon piece must start on the surface the one before ended
// on, and the UV numbering must hold across pieces where points lack a UV.
TEST(ObjWriter, LayersOfManyPiecesRoundTripInOrder) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("many");
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> coordinate(-1e3, 1e3);
    constexpr uint32_t kPoints = 150001;  // several pieces, the last one short
    for (uint32_t i = 0; i < kPoints; ++i) layer.add_point({coordinate(random), coordinate(random), i * 0.5});
    host::VertexMap &uv = layer.add_vmap(SF_VMAP_TXUV, "UV", 2);
    for (uint32_t i = 0; i < kPoints; ++i) {
        if (i > 40000 && i % 7 == 0) continue;  // no UV from the second piece on
        const float value[2] = {static_cast<float>(i) / kPoints, 0.25f};
        uv.set_value(i, value);
    }
    const uint32_t surfaces[3] = {scene.surface_index("stone"), scene.surface_index("moss"), 0};
    // The surface changes at every polygon, in a cycle of three, so that
    // pieces of any size but multiples of three start on another surface than
    // the one before them, the default one included.
    for (uint32_t i = 0; i + 2 < kPoints; i += 1) {
        const uint32_t corners[3] = {i, i + 1, i + 2};
        layer.add_polygon(SF_POLY_FACE, corners, surfaces[i % 3]);
    }
    expect_obj_round_trip(folder / "many.obj", scene, layer);
}

TEST(ObjWriter, AFaultInALaterPieceIsTheOneNamed) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("late");
    for (uint32_t i = 0; i < 100000; ++i) {
        const double bad = std::numeric_limits<double>::infinity();
        layer.add_point({0, i == 70001 || i == 99999 ? bad : 1.0, 0});
    }
    const std::filesystem::path out = folder / "late.obj";
    EXPECT_EQ(error_of([&] { io::write_mesh_file(out, scene, 0); }),
              "Error writing " + out.string() + ": point 70001 has a coordinate that is not finite");
    EXPECT_TRUE(folder.files().empty());
}

TEST(ObjWriter, RefusesWhatTheFileCannotHold) {
    ScratchFolder folder;
    host::Scene scene;
    host::Layer &layer = scene.add_layer("bad");
    add_triangle(layer, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    layer.add_point({0, std::numeric_limits<double>::quiet_NaN(), 0});
    const std::filesystem::path out = folder / "bad.obj";
    EXPECT_EQ(error_of([&] { io::write_mesh_file(out, scene, 0); }),
              "Error writing " + out.string() + ": point 3 has a coordinate that is not finite");

    host::Scene named;
    host::Layer &other = named.add_layer("named");
    add_triangle(other, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {.surface = named.surface_index("two\nlines")});
    EXPECT_EQ(error_of([&] { io::write_mesh_file(out, named, 0); }),
              "Error writing " + out.string() +
                  ": the surface name \"two\nlines\" contains a line break, which OBJ cannot hold");

    // A range whose polygons reach back before its first point.
    EXPECT_EQ(error_of([&] {
                  io::write_mesh_file(out, scene, 0, {1, 0});
              }),
              "Error writing " + out.string() + ": polygon 0 uses point 0, before the first point written (1)");
    EXPECT_TRUE(folder.files().empty());
}

// The garden's materials, written and read back: each used surface's look
// (a surface without one as a plain material of its name, here one whose
// name ends in a backslash) and the texture's bytes in a file beside the
// library.
TEST(ObjWriter, WritesTheLooksInALibraryBeside) {
    ScratchFolder folder;
    host::Scene scene;
    const size_t garden = io::read_mesh_file(std::filesystem::path(SOWFIELD_TEST_DATA) / "io" / "garden.obj", scene);
    host::Layer &layer = scene.layer(garden);
    add_triangle(layer, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {.surface = scene.surface_index("Bare\\")});
    io::write_mesh_file(folder / "out.obj", scene, garden);
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"grass.png", "out.mtl", "out.obj"}));
    EXPECT_EQ(read_text(folder / "grass.png"),
              read_text(std::filesystem::path(SOWFIELD_TEST_DATA) / "io" / "grass.png"));
    EXPECT_NE(read_text(folder / "out.mtl").find("\nnewmtl Bare\\\nKd 0.8 0.8 0.8\n"), std::string::npos);

    ReadBack back;
    read_back(folder / "out.obj", back);
    const host::Layer &copy = back.get();
    EXPECT_EQ(back.scene.surface_name(copy.polygon_surface(copy.polygon_count() - 1)), "Bare\\")
        << "a name ending in a backslash does not continue its line";
    for (const char *name : {"Grass", "Stone path"}) {
        SCOPED_TRACE(name);
        const host::SurfaceLook &written = *scene.surface_keeping(scene.surface_index(name)).look;
        const host::SurfaceLook &read = *back.scene.surface_keeping(back.scene.surface_index(name)).look;
        EXPECT_EQ(read.base_colour, written.base_colour);
        EXPECT_EQ(read.alpha_mode, written.alpha_mode);
        EXPECT_EQ(read.roughness, written.roughness);
        EXPECT_EQ(read.metallic, written.metallic);
        EXPECT_EQ(read.base_colour_texture.has_value(), written.base_colour_texture.has_value());
        if (read.base_colour_texture) {
            EXPECT_EQ(read.base_colour_texture->image->bytes, written.base_colour_texture->image->bytes);
        }
    }
}

std::shared_ptr<host::LookImage> png_image(std::string file_name, unsigned char content) {
    auto image = std::make_shared<host::LookImage>();
    image->file_name = std::move(file_name);
    image->mime_type = "image/png";
    image->bytes = {0x89, 'P', 'N', 'G', content};
    return image;
}

host::LookTexture texture_of(std::shared_ptr<host::LookImage> image) {
    host::LookTexture texture;
    texture.image = std::move(image);
    return texture;
}

// Image files get plain, unique names, and a file already beside the output
// is never overwritten: used as it is when it holds the same bytes, passed
// by otherwise. Each texture slot OBJ has is written, with the image an
// extension offers when the texture has no other.
TEST(ObjWriter, TextureFilesTakePlainUniqueNamesAndLeaveOthersAlone) {
    ScratchFolder folder;
    const std::string same{'\x89', 'P', 'N', 'G', 3};
    folder.write("moss.png", "someone else's moss");
    folder.write("bark.png", same);
    host::Scene scene;
    host::Layer &layer = scene.add_layer("textured");
    const auto textured = [&](const char *surface, host::SurfaceLook look) {
        const uint32_t index = scene.surface_index(surface);
        scene.set_surface_keeping(index, {std::make_shared<const host::SurfaceLook>(std::move(look)), false});
        add_triangle(layer, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {.surface = index});
    };
    host::SurfaceLook a;
    a.base_colour_texture = texture_of(png_image("textures/Moss ü.jpeg", 1));
    a.normal_texture = texture_of(png_image("moss.png", 2));
    a.normal_texture->scale = 0.5;
    a.emissive_texture = texture_of(png_image("", 3));
    a.alpha_texture = texture_of(png_image("../bark.png", 3));
    textured("A", a);
    host::SurfaceLook b;
    b.base_colour_texture = texture_of(png_image("other/moss.png", 2));  // the same as A's normal map
    b.metallic_roughness_texture = texture_of(png_image("mr.png", 4));   // OBJ has no place for it
    auto webp = std::make_shared<host::LookImage>();
    webp->file_name = "glow.webp";
    webp->mime_type = "image/webp";
    webp->bytes = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'};
    b.emissive_texture.emplace().extension_images.push_back({"EXT_texture_webp", webp});
    textured("B", b);
    io::write_mesh_file(folder / "out.obj", scene, 0);

    const std::string library = read_text(folder / "out.mtl");
    EXPECT_NE(library.find("map_Kd Moss___.png\n"), std::string::npos) << library;
    EXPECT_NE(library.find("map_Bump -bm 0.5 moss-2.png\n"), std::string::npos) << library;
    EXPECT_NE(library.find("map_Ke texture.png\n"), std::string::npos) << library;
    EXPECT_NE(library.find("map_d bark.png\n"), std::string::npos) << library;
    EXPECT_NE(library.find("newmtl B\nKd 1 1 1\nd 1\nNs 0\nPr 1\nPm 1\nKe 0 0 0\nmap_Kd moss-2.png\nmap_Ke glow.webp\n"),
              std::string::npos)
        << library;
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"Moss___.png", "bark.png", "glow.webp", "moss-2.png",
                                                        "moss.png", "out.mtl", "out.obj", "texture.png"}));
    EXPECT_EQ(read_text(folder / "moss.png"), "someone else's moss");
}

}  // namespace
}  // namespace sowfield::testing
