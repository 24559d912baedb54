#include "fuzz/entries/mesh_file_input.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <limits>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>

#include "fuzz/entries/scene_checks.h"
#include "io/mesh_file.h"
#include "io/mtl_reader.h"
#include "sowfield_host.h"

namespace sowfield::fuzz {

namespace {

namespace fs = std::filesystem;

// One scratch folder per process, removed at exit: parallel fuzz jobs and
// test processes never share a file. In memory where the system offers it:
// the writer syncs every file it completes, which on a disk would cost more
// than the rest of an input.
fs::path scratch_location() {
    std::error_code ignored;
    const fs::path base = fs::is_directory("/dev/shm", ignored) ? fs::path("/dev/shm") : fs::temp_directory_path();
    return base / ("sowfield-fuzz-" + std::to_string(::getpid()));
}

const fs::path &scratch_folder() {
    static const fs::path folder = [] {
        fs::path made = scratch_location();
        fs::create_directories(made);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(scratch_location(), ignored);
        });
        return made;
    }();
    return folder;
}

// An empty folder in the scratch folder: what one input writes beside its
// output (an OBJ's library and images) never meets another input's.
fs::path fresh_folder(const std::string &name) {
    const fs::path folder = scratch_folder() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void write_bytes(const fs::path &path, std::span<const uint8_t> bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write the fuzz input to " + path.string());
}

// A scene with one layer in it already, so that a reader touching what it
// should not shows.
void existing_layer(host::Scene &scene) {
    host::Layer &layer = scene.add_layer("existing");
    const uint32_t corners[3] = {layer.add_point({0, 0, 0}), layer.add_point({1, 0, 0}), layer.add_point({0, 0, 1})};
    layer.add_polygon(SF_POLY_FACE, corners, scene.surface_index("existing surface"), 0);
    const float weight = 0.25f;
    layer.add_vmap(SF_VMAP_WGHT, "existing", 1).set_value(1, &weight);
}

void check_well_formed(const host::Scene &scene, const host::Layer &layer, std::vector<std::string> &problems) {
    const uint32_t points = layer.point_count();
    for (uint32_t q = 0; q < layer.polygon_count(); ++q) {
        const std::span<const uint32_t> corners = layer.polygon_points(q);
        if (corners.empty()) problems.push_back("polygon " + std::to_string(q) + " has no points");
        for (uint32_t corner : corners)
            if (corner >= points) {
                problems.push_back("polygon " + std::to_string(q) + " uses point " + std::to_string(corner) +
                                   " of " + std::to_string(points));
                return;
            }
        if (layer.polygon_surface(q) >= scene.surface_count())
            problems.push_back("polygon " + std::to_string(q) + " names a surface that does not exist");
    }
    for (size_t m = 0; m < layer.vmap_count(); ++m) {
        const host::VertexMap &map = layer.vmap(m);
        if (map.dimension() < 0 || map.dimension() > 4)
            problems.push_back("map \"" + map.name() + "\" has dimension " + std::to_string(map.dimension()));
        if (map.value_count() > points)
            problems.push_back("map \"" + map.name() + "\" holds values of points that do not exist");
    }
}

bool beyond_single_precision(const host::Layer &layer) {
    for (uint32_t p = 0; p < layer.point_count(); ++p)
        for (int axis = 0; axis < 3; ++axis) {
            const double v = layer.position(p)[axis];
            if (std::isfinite(v) && std::fabs(v) > std::numeric_limits<float>::max()) return true;
        }
    return false;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Whether the copy read back holds the same points and polygons. glTF keeps
// positions as floats, so the original is compared rounded to float.
void check_round_trip(const host::Layer &original, const host::Layer &copy, bool as_float,
                      std::vector<std::string> &problems) {
    if (copy.point_count() != original.point_count() || copy.polygon_count() != original.polygon_count()) {
        problems.push_back("read back " + std::to_string(copy.point_count()) + " points and " +
                           std::to_string(copy.polygon_count()) + " polygons, not " +
                           std::to_string(original.point_count()) + " and " +
                           std::to_string(original.polygon_count()));
        return;
    }
    for (uint32_t p = 0; p < original.point_count(); ++p)
        for (int axis = 0; axis < 3; ++axis) {
            const double was = original.position(p)[axis];
            const double expected = as_float ? static_cast<double>(static_cast<float>(was)) : was;
            const double now = copy.position(p)[axis];
            if (!same_bits(expected, now) && !(std::isnan(expected) && std::isnan(now))) {
                problems.push_back("point " + std::to_string(p) + " moved when written and read back");
                return;
            }
        }
    for (uint32_t q = 0; q < original.polygon_count(); ++q) {
        const std::span<const uint32_t> a = original.polygon_points(q);
        const std::span<const uint32_t> b = copy.polygon_points(q);
        if (!std::equal(a.begin(), a.end(), b.begin(), b.end())) {
            problems.push_back("polygon " + std::to_string(q) + " changed when written and read back");
            return;
        }
    }
}

std::vector<std::string> run_reader(std::span<const uint8_t> bytes, std::string_view extension,
                                    std::string_view copy_extension, bool positions_as_float) {
    std::vector<std::string> problems;
    const fs::path input = scratch_folder() / ("input" + std::string(extension));
    write_bytes(input, bytes);

    host::Scene scene;
    existing_layer(scene);
    const SceneMark before = mark_scene(scene);
    const uint32_t surfaces_before = scene.surface_count();
    size_t index = 0;
    try {
        index = io::read_mesh_file(input, scene);
    } catch (const io::MeshFileError &error) {
        if (std::string_view(error.what()).empty()) problems.push_back("a MeshFileError without a message");
        if (scene.layer_count() != 1 || scene.surface_count() != surfaces_before || grew_since(scene, before) ||
            !unchanged_since(scene, before))
            problems.push_back("a file that failed to load changed the scene");
        return problems;
    } catch (const std::exception &other) {
        problems.push_back(std::string("the reader threw something other than MeshFileError: ") + other.what());
        return problems;
    }
    if (scene.layer_count() != 2 || index != 1) problems.push_back("reading added other than one layer");
    if (grew_since(scene, before) || !unchanged_since(scene, before))
        problems.push_back("reading a file changed the layer that was there");
    if (!problems.empty()) return problems;
    const host::Layer &layer = scene.layer(index);
    check_well_formed(scene, layer, problems);
    if (!problems.empty()) return problems;

    // What we read we must be able to write, and read back as it was. One
    // exception, the format's own limit: a glTF from elsewhere whose node
    // transforms carry a point beyond single precision loads (positions are
    // doubles here) but cannot be written as glTF again, which the writer
    // refuses with a message of its own.
    if (positions_as_float && beyond_single_precision(layer)) return problems;
    const fs::path copy_path = fresh_folder("copy") / ("copy" + std::string(copy_extension));
    try {
        io::write_mesh_file(copy_path, scene, index);
        host::Scene again;
        const size_t copy = io::read_mesh_file(copy_path, again);
        check_round_trip(layer, again.layer(copy), positions_as_float, problems);
    } catch (const std::exception &failure) {
        problems.push_back(std::string("writing what was read, or reading it back, failed: ") + failure.what());
    }
    return problems;
}

bool unit(double value) { return value >= 0.0 && value <= 1.0; }

void check_material(const io::detail::MtlMaterial &material, std::vector<std::string> &problems) {
    const host::SurfaceLook &look = material.look;
    if (material.name.empty()) problems.push_back("a material without a name");
    bool in_range = unit(look.metallic) && unit(look.roughness);
    for (const double c : look.base_colour) in_range = in_range && unit(c);
    for (const double c : look.emissive) in_range = in_range && unit(c);
    if (!in_range) problems.push_back("material \"" + material.name + "\" has a factor outside 0..1");
    for (const auto *slot : {&look.base_colour_texture, &look.normal_texture, &look.emissive_texture,
                             &look.alpha_texture})
        if (slot->has_value() && !(*slot)->image) problems.push_back("a texture without an image");
}

// Expects the look read back from our own library to be the one written.
void check_look_read_back(const std::string &name, const host::SurfaceLook &written, const host::SurfaceLook *read,
                          std::vector<std::string> &problems) {
    if (read == nullptr) {
        problems.push_back("material \"" + name + "\" did not come back");
        return;
    }
    if (read->base_colour != written.base_colour || read->roughness != written.roughness ||
        read->metallic != written.metallic || read->emissive != written.emissive ||
        read->alpha_mode != written.alpha_mode)
        problems.push_back("material \"" + name + "\" came back with other factors");
    const auto same_image = [](const std::optional<host::LookTexture> &a, const std::optional<host::LookTexture> &b) {
        if (a.has_value() != b.has_value()) return false;
        return !a || (a->image->bytes == b->image->bytes && a->scale == b->scale);
    };
    if (!same_image(written.base_colour_texture, read->base_colour_texture) ||
        !same_image(written.normal_texture, read->normal_texture) ||
        !same_image(written.emissive_texture, read->emissive_texture) ||
        !same_image(written.alpha_texture, read->alpha_texture))
        problems.push_back("material \"" + name + "\" came back with other textures");
}

}  // namespace

std::vector<std::string> run_mtl_input(std::span<const uint8_t> bytes) {
    std::vector<std::string> problems;
    io::detail::ReadWarnings warnings;
    std::vector<io::detail::MtlMaterial> materials;
    try {
        // Every image exists, its bytes its own name.
        materials = io::detail::parse_material_library(
            std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()), "fuzz.mtl",
            [](const std::string &name) {
                auto image = std::make_shared<host::LookImage>();
                image->file_name = name;
                image->bytes.assign(name.begin(), name.end());
                return std::shared_ptr<const host::LookImage>(image);
            },
            warnings);
    } catch (const std::exception &failure) {
        problems.push_back(std::string("the library reader threw: ") + failure.what());
        return problems;
    }
    for (const std::string &warning : warnings)
        if (!warning.starts_with("fuzz.mtl: ")) problems.push_back("a warning that does not name the library");
    for (const io::detail::MtlMaterial &material : materials) check_material(material, problems);
    if (!problems.empty()) return problems;

    // Our own library of these looks, one triangle per material, read back.
    host::Scene scene;
    host::Layer &layer = scene.add_layer("looks");
    std::vector<uint32_t> written;
    for (const io::detail::MtlMaterial &material : materials) {
        if (material.name.find_first_of("\r\n") != std::string::npos) continue;  // OBJ cannot name it
        const uint32_t surface = scene.surface_index(material.name);
        if (scene.surface_keeping(surface).look) continue;  // the first of a name counts
        scene.set_surface_keeping(surface, {std::make_shared<const host::SurfaceLook>(material.look), false});
        const uint32_t corners[3] = {layer.add_point({0, 0, 0}), layer.add_point({1, 0, 0}),
                                     layer.add_point({0, 0, 1})};
        layer.add_polygon(SF_POLY_FACE, corners, surface, 0);
        written.push_back(surface);
    }
    if (written.empty()) return problems;
    try {
        const fs::path obj = fresh_folder("looks") / "looks.obj";
        io::write_mesh_file(obj, scene, 0);
        host::Scene again;
        std::vector<std::string> read_warnings;
        io::read_mesh_file(obj, again, &read_warnings);
        for (const std::string &warning : read_warnings) problems.push_back("reading our own library: " + warning);
        for (const uint32_t surface : written) {
            const std::string &name = scene.surface_name(surface);
            check_look_read_back(name, *scene.surface_keeping(surface).look,
                                 again.surface_keeping(again.surface_index(name)).look.get(), problems);
        }
    } catch (const std::exception &failure) {
        problems.push_back(std::string("writing the looks, or reading them back, failed: ") + failure.what());
    }
    return problems;
}

std::vector<std::string> run_obj_input(std::span<const uint8_t> bytes) {
    return run_reader(bytes, ".obj", ".obj", /*positions_as_float=*/false);
}

std::vector<std::string> run_gltf_input(std::span<const uint8_t> bytes) {
    return run_reader(bytes, ".gltf", ".glb", /*positions_as_float=*/true);
}

}  // namespace sowfield::fuzz
