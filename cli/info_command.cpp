// `sowfield info FILE`: what a mesh file holds as the host sees it, so the
// user can pick --select surfaces and weight-map names before scattering.
#include <algorithm>
#include <iostream>
#include <sstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "host/common/text.h"
#include "io/mesh_file.h"
#include "sowfield_host.h"

namespace sowfield::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char *kExamples = R"(
Examples:
  sowfield info ground.obj
  sowfield info sowfield-demo.glb --json
)";

// A four-letter type code as its letters, or in hex when they are not printable.
std::string type_name(uint32_t code) {
    std::string letters;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xFFu);
        if (c < 0x20 || c > 0x7E) return host::hex(code, 8);
        letters += c;
    }
    return letters;
}

std::string count(uint64_t n, const char *one, const char *many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The smallest box around the layer's points; false for a layer of none.
bool bounds(const host::Layer &layer, host::Vec3 &low, host::Vec3 &high) {
    if (layer.point_count() == 0) return false;
    low = high = layer.position(0);
    for (uint32_t p = 1; p < layer.point_count(); ++p)
        for (size_t axis = 0; axis < 3; ++axis) {
            low[axis] = std::min(low[axis], layer.position(p)[axis]);
            high[axis] = std::max(high[axis], layer.position(p)[axis]);
        }
    return true;
}

std::string triple(const host::Vec3 &v) {
    std::ostringstream text;
    text << "(" << v[0] << ", " << v[1] << ", " << v[2] << ")";
    return text.str();
}

// What a surface came with: normals or not, and its material's summary.
std::string surface_keeping(const host::Scene &scene, uint32_t surface) {
    const host::SurfaceKeeping &keeping = scene.surface_keeping(surface);
    std::string text = keeping.smooth ? "with normals" : "flat";
    if (keeping.look) text += "; " + keeping.look->summary();
    return text;
}

void describe_layer(const host::Scene &scene, const host::Layer &layer, std::ostream &out) {
    out << "layer \"" << layer.name << "\": " << count(layer.point_count(), "point", "points") << ", "
        << count(layer.polygon_count(), "polygon", "polygons") << "\n";
    host::Vec3 low, high;
    if (bounds(layer, low, high)) out << "  bounding box: " << triple(low) << " to " << triple(high) << "\n";

    std::map<uint32_t, uint64_t> types;
    std::map<uint32_t, uint64_t> surfaces;
    std::map<size_t, uint64_t> sizes;
    for (uint32_t p = 0; p < layer.polygon_count(); ++p) {
        ++types[layer.polygon_type(p)];
        ++surfaces[layer.polygon_surface(p)];
        ++sizes[layer.polygon_points(p).size()];
    }
    if (!types.empty()) {
        out << "  polygon types:";
        for (const auto &[type, n] : types) out << "  " << type_name(type) << " " << n;
        out << "\n  polygon sizes:";
        for (const auto &[size, n] : sizes) out << "  " << count(size, "point", "points") << " x" << n;
        out << "\n  surfaces:\n";
        for (const auto &[surface, n] : surfaces)
            out << "    \"" << scene.surface_name(surface) << "\"  " << count(n, "polygon", "polygons") << ", "
                << surface_keeping(scene, surface) << "\n";
    }
    if (layer.vmap_count() == 0) {
        out << "  vertex maps: none\n";
        return;
    }
    // Grouped by type in the order the copy carries them, then any other type.
    std::map<uint32_t, std::vector<const host::VertexMap *>> by_type;
    for (size_t m = 0; m < layer.vmap_count(); ++m) by_type[layer.vmap(m).type()].push_back(&layer.vmap(m));
    out << "  vertex maps:\n";
    const auto print_type = [&](uint32_t type) {
        const auto found = by_type.find(type);
        if (found == by_type.end()) return;
        for (const host::VertexMap *map : found->second)
            out << "    " << type_name(type) << "  \"" << map->name() << "\"  " << map->dimension() << " per point, "
                << count(map->value_count(), "point", "points") << " with a value\n";
        by_type.erase(found);
    };
    for (const uint32_t type : {SF_VMAP_TXUV, SF_VMAP_WGHT, SF_VMAP_MORF, SF_VMAP_MNVW, SF_VMAP_SPOT}) print_type(type);
    while (!by_type.empty()) print_type(by_type.begin()->first);
}

nlohmann::json layer_json(const host::Scene &scene, const host::Layer &layer) {
    nlohmann::json json = {{"name", layer.name}, {"points", layer.point_count()}, {"polygons", layer.polygon_count()}};
    host::Vec3 low, high;
    json["bounding_box"] = bounds(layer, low, high) ? nlohmann::json{{"min", low}, {"max", high}} : nlohmann::json();
    std::map<uint32_t, uint64_t> surfaces;
    for (uint32_t p = 0; p < layer.polygon_count(); ++p) ++surfaces[layer.polygon_surface(p)];
    json["surfaces"] = nlohmann::json::array();
    for (const auto &[surface, n] : surfaces) {
        const host::SurfaceKeeping &keeping = scene.surface_keeping(surface);
        json["surfaces"].push_back({{"name", scene.surface_name(surface)},
                                    {"polygons", n},
                                    {"normals", keeping.smooth},
                                    {"material", keeping.look ? nlohmann::json(keeping.look->summary())
                                                              : nlohmann::json()}});
    }
    json["maps"] = nlohmann::json::array();
    for (size_t m = 0; m < layer.vmap_count(); ++m) {
        const host::VertexMap &map = layer.vmap(m);
        json["maps"].push_back({{"type", type_name(map.type())},
                                {"name", map.name()},
                                {"dimension", map.dimension()},
                                {"points", map.value_count()}});
    }
    return json;
}

int run_info(const fs::path &file, bool as_json) {
    host::Scene scene;
    std::vector<std::string> warnings;
    try {
        io::read_mesh_file(file, scene, &warnings);
    } catch (const io::MeshFileError &error) {
        std::cerr << "sowfield: " << error.what() << "\n";
        return exit_bad_input;
    }
    for (const std::string &warning : warnings) std::cerr << "sowfield: warning: " << warning << "\n";
    std::error_code error;
    const auto bytes = fs::file_size(file, error);
    if (as_json) {
        nlohmann::json json = {{"file", file.string()}, {"bytes", error ? nlohmann::json() : nlohmann::json(bytes)}};
        json["layers"] = nlohmann::json::array();
        for (size_t l = 0; l < scene.layer_count(); ++l) json["layers"].push_back(layer_json(scene, scene.layer(l)));
        json["warnings"] = warnings;
        std::cout << json.dump(2) << "\n";
        return exit_ok;
    }
    std::cout << file.string();
    if (!error) std::cout << " (" << bytes << " bytes)";
    std::cout << "\n";
    for (size_t l = 0; l < scene.layer_count(); ++l) describe_layer(scene, scene.layer(l), std::cout);
    return exit_ok;
}

}  // namespace

Command add_info_command(CLI::App &app) {
    auto file = std::make_shared<fs::path>();
    auto as_json = std::make_shared<bool>(false);
    CLI::App *command = app.add_subcommand(
        "info", "Show a mesh file's layers, point and polygon counts, polygon types, surfaces and vertex maps");
    command->add_option("FILE", *file, "Mesh file (.obj, .gltf, .glb)")->required()->type_name("FILE");
    command->add_flag("--json", *as_json, "Print the same as JSON");
    command->footer(kExamples);
    return {command, [file, as_json] { return run_info(*file, *as_json); }};
}

}  // namespace sowfield::cli
