// glTF input through tinygltf: every mesh instance of the default scene (or,
// without scenes, of every root node) in world space. Our own files carry a
// record (see gltf_record.h) that restores maps, names, missing values and
// polygons exactly; other files give their triangles, lines and points, UV
// maps from TEXCOORD_n and morph maps from their morph targets.
//
// The walk over the nodes is in gltf_node_walk.h, the record in
// gltf_mesh_record.h, the points and their maps in gltf_points.h and the
// polygons in gltf_polygons.h. Everything taken from the file is checked
// before use: accessor ranges, indices, node links, the record itself.
#include <cstdio>
#include <cstring>
#include <optional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/common/text.h"
#include "io/format_io.h"
#include "io/gltf_accessor.h"
#include "io/gltf_instancing.h"
#include "io/gltf_look_reader.h"
#include "io/gltf_matrix.h"
#include "io/gltf_mesh_record.h"
#include "io/gltf_node_walk.h"
#include "io/gltf_points.h"
#include "io/gltf_polygons.h"
#include "io/input_files.h"
#include "io/mapped_file.h"
#include "sowfield_host.h"

namespace sowfield::io::detail {

namespace {

// Extensions a file may require of us: those the accessor reader handles
// (quantized attributes) or the node walk (instancing); material and texture
// extensions, kept with the material as they came (a texture whose image
// only such an extension gives is left out, with a warning); lights, which
// change no mesh.
bool honoured(const std::string &extension) {
    const auto starts = [&](const char *prefix) { return extension.rfind(prefix, 0) == 0; };
    return extension == "KHR_mesh_quantization" || extension == "KHR_lights_punctual" || starts("KHR_materials_") ||
           starts("KHR_texture_") || starts("EXT_texture_") || extension == "EXT_mesh_gpu_instancing";
}

std::string unsupported_extension(const std::string &extension) {
    std::string text = "requires the extension " + extension + ", which is not supported";
    if (extension == "KHR_draco_mesh_compression" || extension == "EXT_meshopt_compression")
        text += " (compressed geometry: export the file again without mesh compression)";
    return text;
}

// The JSON of a glTF file: all of a .gltf, the first chunk of a GLB.
std::string_view gltf_json(std::string_view bytes, bool binary) {
    if (!binary) return bytes;
    constexpr size_t kHeader = 12;
    constexpr size_t kChunkHeader = 8;
    if (bytes.size() < kHeader + kChunkHeader) return {};
    uint32_t length = 0;
    std::memcpy(&length, bytes.data() + kHeader, sizeof length);
    return bytes.substr(kHeader + kChunkHeader, length);
}

// A required extension this reader does not honour, read straight from the
// JSON: the loader may stumble over what the extension changes (compressed
// accessors without buffer views) before the list can be checked.
std::optional<std::string> unhonoured_requirement(std::string_view json) {
    const nlohmann::json document = nlohmann::json::parse(json.begin(), json.end(), nullptr, false);
    if (!document.is_object()) return std::nullopt;
    const auto required = document.find("extensionsRequired");
    if (required == document.end() || !required->is_array()) return std::nullopt;
    for (const nlohmann::json &extension : *required)
        if (extension.is_string() && !honoured(extension.get<std::string>())) return extension.get<std::string>();
    return std::nullopt;
}

std::string one_line(std::string text) {
    for (char &c : text)
        if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The glTF library's refusal as a user reads it: one line, JSON faults named
// as such and without the JSON library's exception name.
std::string loader_message(const std::string &error) {
    const std::string text = one_line(error);
    if (text == "JSON string too short.") return "not valid JSON: the file ends too soon";
    if (text.starts_with("[json.")) return "not valid JSON: " + host::without_exception_name(text);
    return text;
}

// The accessors that give a primitive's points: primitives that share them
// share their points. Normals are per primitive: they do not make other points.
std::vector<int> point_accessors(const tinygltf::Primitive &primitive) {
    std::vector<int> key;
    for (const auto &[name, accessor] : primitive.attributes)
        if (name != "NORMAL") key.push_back(accessor);
    key.push_back(-1);
    for (const auto &target : primitive.targets)
        for (const auto &[name, accessor] : target) key.push_back(accessor);
    return key;
}

class GltfReader {
public:
    GltfReader(const std::filesystem::path &path, host::Scene &scene, host::Layer &layer, ReadWarnings &warnings)
        : path_(path), failure_{path}, scene_(scene), layer_(layer), warnings_(warnings) {}

    void read() {
        load();
        for (const std::string &extension : model_.extensionsRequired)
            if (!honoured(extension)) failure_(unsupported_extension(extension));
        walk_nodes(model_, failure_, [&](int node, const Matrix &world) { add_node_meshes(node, world); });
        keep_names();
        mark_smooth(scene_, smooth_);
        keep_looks();
    }

private:
    void load() {
        const MappedFile file(path_);
        const std::string_view bytes = file.bytes();
        if (bytes.size() > std::numeric_limits<uint32_t>::max()) failure_("the file is larger than 4 GiB");
        tinygltf::TinyGLTF loader;
        loader.SetImageLoader(keep_image_bytes, nullptr);
        std::string error;
        std::string warning;
        const std::string base = path_.parent_path().empty() ? "." : path_.parent_path().string();
        const bool binary = bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0;
        const auto length = static_cast<unsigned>(bytes.size());
        const bool loaded =
            binary ? loader.LoadBinaryFromMemory(&model_, &error, &warning,
                                                 reinterpret_cast<const unsigned char *>(bytes.data()), length, base)
                   : loader.LoadASCIIFromString(&model_, &error, &warning, bytes.data(), length, base);
        if (!loaded) {
            if (const auto extension = unhonoured_requirement(gltf_json(bytes, binary)))
                failure_(unsupported_extension(*extension));
            failure_(error.empty() ? "not a glTF file" : loader_message(error));
        }
        for (const tinygltf::Buffer &buffer : model_.buffers)
            if (!buffer.uri.empty() && !buffer.uri.starts_with("data:"))
                remember_input_file(std::filesystem::path(base) / buffer.uri);
    }

    // Each instance of the node's mesh as real geometry; placed clones of our
    // own keep what a clone copies unchanged (corner order, spots).
    void add_node_meshes(int index, const Matrix &world) {
        const tinygltf::Node &node = model_.nodes[static_cast<size_t>(index)];
        if (node.mesh < 0) return;
        if (static_cast<size_t>(node.mesh) >= model_.meshes.size())
            failure_("node " + std::to_string(index) + " refers to mesh " + std::to_string(node.mesh) + ", but only " +
                     std::to_string(model_.meshes.size()) + " exist");
        const bool placing_clones = places_clones(node);
        if (!placing_clones) mesh_nodes_.insert(index);
        for (const MeshPlacement &placement : mesh_placements(model_, index, failure_)) {
            const uint32_t first = layer_.point_count();
            add_mesh(node.mesh, multiply(world, placement.matrix), placing_clones);
            if (placement.clone_index) add_clone_index(layer_, first, *placement.clone_index);
        }
    }

    void add_mesh(int mesh_index, const Matrix &world, bool placing_clones) {
        const tinygltf::Mesh &mesh = model_.meshes[static_cast<size_t>(mesh_index)];
        const std::string where = "mesh " + std::to_string(mesh_index);
        const MeshRecord record = read_mesh_record(mesh, where, failure_);
        PointReader points(model_, layer_, failure_, world, placing_clones);
        std::map<std::vector<int>, PointSet> point_sets;
        std::vector<PrimitivePolygons> primitives(mesh.primitives.size());
        for (size_t p = 0; p < mesh.primitives.size(); ++p) {
            const tinygltf::Primitive &primitive = mesh.primitives[p];
            PrimitivePolygons &polygons = primitives[p];
            polygons.primitive = &primitive;
            polygons.where = where + " primitive " + std::to_string(p);
            const std::vector<int> key = point_accessors(primitive);
            auto found = point_sets.find(key);
            if (found == point_sets.end())
                found = point_sets.emplace(key, points.add_points(mesh, primitive, record, polygons.where)).first;
            polygons.points = &found->second;
            prepare_polygons(polygons, record);
        }
        add_polygons(primitives, record, mirrors(world) && !placing_clones, where, layer_, failure_);
    }

    void prepare_polygons(PrimitivePolygons &polygons, const MeshRecord &record) {
        const tinygltf::Primitive &primitive = *polygons.primitive;
        polygons.mode = primitive_mode(primitive, polygons.where, failure_);
        polygons.surface = surface_of(primitive, polygons.where);
        if (primitive.attributes.count("NORMAL") != 0) smooth_.insert(polygons.surface);
        if (record.present) {
            PrimitiveRecord recorded = read_primitive_record(primitive, polygons.where, failure_);
            polygons.points_only = recorded.points_only;
            polygons.sizes = std::move(recorded.sizes);
        }
        if (!polygons.points_only) count_polygons(polygons, model_, failure_);
    }

    // The scene's surface named after the primitive's material (surface 0
    // without one).
    uint32_t surface_of(const tinygltf::Primitive &primitive, const std::string &where) {
        if (primitive.material < 0) return 0;
        if (static_cast<size_t>(primitive.material) >= model_.materials.size())
            failure_(where + " refers to material " + std::to_string(primitive.material) + ", but only " +
                     std::to_string(model_.materials.size()) + " exist");
        const auto known = surface_of_material_.find(primitive.material);
        if (known != surface_of_material_.end()) return known->second;
        if (!look_reader_) look_reader_.emplace(model_, failure_, missing_images_);
        const std::shared_ptr<const host::SurfaceLook> look = look_reader_->look_of(primitive.material);
        const std::string &name = model_.materials[static_cast<size_t>(primitive.material)].name;
        const uint32_t surface =
            surface_for(name.empty() ? "Material " + std::to_string(primitive.material) : name, look);
        surface_of_material_[primitive.material] = surface;
        if (!looks_.count(surface)) looks_[surface] = look;
        return surface;
    }

    // The surface of that name, unless an earlier file gave it another look
    // (two files whose materials Blender named "Material" alike): then the
    // first of "name.001", "name.002", ... that is free or has this look, so
    // that clones keep their object's look and the surface keeps its own.
    uint32_t surface_for(const std::string &name, const std::shared_ptr<const host::SurfaceLook> &look) {
        uint32_t surface = scene_.surface_index(name);
        for (unsigned n = 1; look; ++n) {
            const std::shared_ptr<const host::SurfaceLook> &earlier = scene_.surface_keeping(surface).look;
            if (!earlier || same_look(*earlier, *look)) break;
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, ".%03u", n);
            surface = scene_.surface_index(name + suffix);
        }
        return surface;
    }

    // The layer takes the name of the node that holds its geometry and the
    // name of that node's mesh, when one node holds it all (placed clones of
    // our own apart); otherwise it keeps the file's name.
    void keep_names() {
        if (mesh_nodes_.size() != 1) return;
        const tinygltf::Node &node = model_.nodes[static_cast<size_t>(*mesh_nodes_.begin())];
        if (!node.name.empty()) layer_.name = node.name;
        layer_.mesh_name = model_.meshes[static_cast<size_t>(node.mesh)].name;
    }

    // Each surface a material made keeps that material (the first, when
    // several materials of the file share a name), once the whole file is
    // read: a file that fails gives no surface a look.
    void keep_looks() {
        for (const std::string &detail : missing_images_) warn_loading(warnings_, path_, detail);
        for (auto &[surface, look] : looks_) {
            if (!look) continue;
            host::SurfaceKeeping keeping = scene_.surface_keeping(surface);
            keeping.look = std::move(look);
            scene_.set_surface_keeping(surface, std::move(keeping));
        }
    }

    const std::filesystem::path &path_;
    const LoadFailure failure_;
    host::Scene &scene_;
    host::Layer &layer_;
    tinygltf::Model model_;
    std::set<uint32_t> smooth_;  // surfaces whose primitives have normals
    std::map<int, uint32_t> surface_of_material_;
    std::optional<LookReader> look_reader_;
    std::vector<std::string> missing_images_;  // what the look reader went without
    std::map<uint32_t, std::shared_ptr<const host::SurfaceLook>> looks_;  // null: a plain material
    std::set<int> mesh_nodes_;  // nodes whose meshes the layer holds
    ReadWarnings &warnings_;
};

}  // namespace

void read_gltf(const std::filesystem::path &path, host::Scene &scene, host::Layer &layer, ReadWarnings &warnings) {
    GltfReader(path, scene, layer, warnings).read();
}

}  // namespace sowfield::io::detail
