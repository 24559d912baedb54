// glTF input through tinygltf: every mesh instance of the default scene (or,
// without scenes, of every root node) in world space. Our own files carry a
// record (see gltf_record.h) that restores maps, names, missing values and
// polygons exactly; other files give their triangles, lines and points, UV
// maps from TEXCOORD_n and morph maps from their morph targets.
//
// TEXCOORD_n measures v from the top of the image; the host measures it from
// the bottom (as OBJ does), so v is read as 1 - v, except from the exact copy
// that our own files carry when the flip would lose bits (see gltf_writer.cpp).
// A node whose transform mirrors (negative determinant) turns its triangles'
// front to the other side; their corners are reversed so that the host's
// counter-clockwise front is the side the file meant.
//
// Everything taken from the file is checked before use: accessor ranges,
// indices, node links, the record itself.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "io/format_io.h"
#include "io/gltf_accessor.h"
#include "io/gltf_instancing.h"
#include "io/gltf_record.h"
#include "io/mapped_file.h"
#include "sowfield_host.h"

namespace sowfield::io::detail {

namespace {

using tinygltf::Value;
using Matrix = std::array<double, 16>;  // column-major, as glTF stores it
using Run = std::pair<uint64_t, uint64_t>;

constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Matrix multiply(const Matrix &a, const Matrix &b) {
    Matrix m{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += a[static_cast<size_t>(k * 4 + row)] * b[static_cast<size_t>(col * 4 + k)];
            m[static_cast<size_t>(col * 4 + row)] = sum;
        }
    return m;
}

// Extensions that change nothing we read (materials, textures, lights) or
// that the accessor reader handles (quantized attributes).
bool honoured(const std::string &extension) {
    const auto starts = [&](const char *prefix) { return extension.rfind(prefix, 0) == 0; };
    return extension == "KHR_mesh_quantization" || extension == "KHR_lights_punctual" || starts("KHR_materials_") ||
           starts("KHR_texture_") || starts("EXT_texture_") || extension == "EXT_mesh_gpu_instancing";
}

// Images are never decoded: a mesh needs none of them.
bool skip_image(tinygltf::Image *, const int, std::string *, std::string *, int, int, const unsigned char *, int,
                void *) {
    return true;
}

std::string one_line(std::string text) {
    for (char &c : text)
        if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

struct MapRecord {
    uint32_t type = 0;
    std::string name;
    std::string attribute;  // or
    int target = -1;
    std::string exact;      // a TEXCOORD_n map's values as stored, when recorded
    std::vector<Run> missing;
};

// What our own writer recorded about one mesh; `present` is false for
// meshes from elsewhere.
struct MeshRecord {
    bool present = false;
    int split = -1;          // accessor of the points of the vertices after the layer's own
    bool flipped_uv = true;  // false in version 1 files, which wrote v as stored
    std::vector<MapRecord> maps;
    std::vector<Run> order;                            // [primitive, count]
    std::vector<std::pair<uint32_t, uint64_t>> types;  // [type, count]
};

class GltfReader {
public:
    GltfReader(const std::filesystem::path &path, host::Scene &scene, host::Layer &layer)
        : path_(path), scene_(scene), layer_(layer) {}

    void read() {
        load();
        for (const std::string &extension : model_.extensionsRequired)
            if (!honoured(extension)) fail("requires the extension " + extension + ", which is not supported");
        walk_nodes();
        mark_smooth(scene_, smooth_);
    }

private:
    [[noreturn]] void fail(const std::string &detail) const { fail_loading(path_, detail); }

    LoadFailure failure() const { return {path_}; }

    void load() {
        const MappedFile file(path_);
        const std::string_view bytes = file.bytes();
        if (bytes.size() > std::numeric_limits<uint32_t>::max()) fail("the file is larger than 4 GiB");
        tinygltf::TinyGLTF loader;
        loader.SetImageLoader(skip_image, nullptr);
        std::string error;
        std::string warning;
        const std::string base = path_.parent_path().empty() ? "." : path_.parent_path().string();
        const bool binary = bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0;
        const auto length = static_cast<unsigned>(bytes.size());
        const bool loaded =
            binary ? loader.LoadBinaryFromMemory(&model_, &error, &warning,
                                                 reinterpret_cast<const unsigned char *>(bytes.data()), length, base)
                   : loader.LoadASCIIFromString(&model_, &error, &warning, bytes.data(), length, base);
        if (!loaded) fail(error.empty() ? "not a glTF file" : one_line(error));
    }

    void walk_nodes() {
        std::vector<int> roots;
        if (!model_.scenes.empty()) {
            const int chosen = model_.defaultScene >= 0 ? model_.defaultScene : 0;
            if (static_cast<size_t>(chosen) >= model_.scenes.size())
                fail("the default scene " + std::to_string(chosen) + " does not exist");
            roots = model_.scenes[static_cast<size_t>(chosen)].nodes;
        } else {
            std::vector<char> is_child(model_.nodes.size(), 0);
            for (const tinygltf::Node &node : model_.nodes)
                for (int child : node.children)
                    if (child >= 0 && static_cast<size_t>(child) < is_child.size())
                        is_child[static_cast<size_t>(child)] = 1;
            for (size_t i = 0; i < model_.nodes.size(); ++i)
                if (!is_child[i]) roots.push_back(static_cast<int>(i));
        }
        // Depth first without recursion: a hostile file may nest deeply.
        struct Frame {
            int node;
            Matrix world;
            size_t next_child;
        };
        std::vector<char> on_path(model_.nodes.size(), 0);
        for (int root : roots) {
            std::vector<Frame> stack;
            enter(root, kIdentity, stack, on_path);
            while (!stack.empty()) {
                Frame &top = stack.back();
                const tinygltf::Node &node = model_.nodes[static_cast<size_t>(top.node)];
                if (top.next_child < node.children.size()) {
                    const int child = node.children[top.next_child++];
                    const Matrix world = top.world;  // enter() may reallocate the stack
                    enter(child, world, stack, on_path);
                } else {
                    on_path[static_cast<size_t>(top.node)] = 0;
                    stack.pop_back();
                }
            }
        }
    }

    template <class Stack>
    void enter(int index, const Matrix &parent, Stack &stack, std::vector<char> &on_path) {
        if (index < 0 || static_cast<size_t>(index) >= model_.nodes.size())
            fail("refers to node " + std::to_string(index) + ", but only " + std::to_string(model_.nodes.size()) +
                 " exist");
        if (on_path[static_cast<size_t>(index)]) fail("node " + std::to_string(index) + " is its own ancestor");
        const tinygltf::Node &node = model_.nodes[static_cast<size_t>(index)];
        const Matrix world = multiply(parent, local_matrix(node, index));
        if (node.mesh >= 0) {
            if (static_cast<size_t>(node.mesh) >= model_.meshes.size())
                fail("node " + std::to_string(index) + " refers to mesh " + std::to_string(node.mesh) + ", but only " +
                     std::to_string(model_.meshes.size()) + " exist");
            // Each instance as real geometry; placed clones of our own keep
            // what a clone copies unchanged (corner order, spots).
            placing_clones_ = places_clones(node);
            for (const MeshPlacement &placement : mesh_placements(model_, index, failure())) {
                const uint32_t first = layer_.point_count();
                add_mesh(node.mesh, multiply(world, placement.matrix));
                if (placement.clone_index) add_clone_index(layer_, first, *placement.clone_index);
            }
            placing_clones_ = false;
        }
        on_path[static_cast<size_t>(index)] = 1;
        stack.push_back({index, world, 0});
    }

    Matrix local_matrix(const tinygltf::Node &node, int index) const {
        const std::string where = "node " + std::to_string(index);
        Matrix m = kIdentity;
        if (!node.matrix.empty()) {
            if (node.matrix.size() != 16) fail(where + ": a matrix needs 16 numbers");
            std::copy(node.matrix.begin(), node.matrix.end(), m.begin());
        } else {
            const auto &t = node.translation;
            const auto &r = node.rotation;
            const auto &s = node.scale;
            if ((!t.empty() && t.size() != 3) || (!r.empty() && r.size() != 4) || (!s.empty() && s.size() != 3))
                fail(where + ": malformed translation, rotation or scale");
            const double x = r.empty() ? 0 : r[0], y = r.empty() ? 0 : r[1], z = r.empty() ? 0 : r[2],
                         w = r.empty() ? 1 : r[3];
            const double sx = s.empty() ? 1 : s[0], sy = s.empty() ? 1 : s[1], sz = s.empty() ? 1 : s[2];
            // T * R * S, the rotation from its unit quaternion.
            m = {(1 - 2 * (y * y + z * z)) * sx, (2 * (x * y + z * w)) * sx,     (2 * (x * z - y * w)) * sx,     0,
                 (2 * (x * y - z * w)) * sy,     (1 - 2 * (x * x + z * z)) * sy, (2 * (y * z + x * w)) * sy,     0,
                 (2 * (x * z + y * w)) * sz,     (2 * (y * z - x * w)) * sz,     (1 - 2 * (x * x + y * y)) * sz, 0,
                 t.empty() ? 0 : t[0],           t.empty() ? 0 : t[1],           t.empty() ? 0 : t[2],           1};
        }
        for (double v : m)
            if (!std::isfinite(v)) fail(where + ": the transform is not finite");
        return m;
    }

    // ---------------------------------------------------------------- record

    MeshRecord parse_record(const tinygltf::Mesh &mesh, const std::string &where) const {
        MeshRecord record;
        if (!mesh.extras.IsObject() || !mesh.extras.Get(gltf::kRecord).IsObject()) return record;
        const Value &ours = mesh.extras.Get(gltf::kRecord);
        const auto malformed = [&](const std::string &what) { fail(where + ": malformed " + what + " record"); };
        uint64_t version = 0;
        if (!gltf::whole_number(ours.Get(gltf::kVersion), kMaxCount, version)) malformed(gltf::kRecord);
        if (version < 1 || version > gltf::kRecordVersion)
            fail(where + ": the file was written by a later version (record version " + std::to_string(version) + ")");
        record.present = true;
        record.flipped_uv = version >= 2;
        if (ours.Has(gltf::kSplitVertices)) {
            uint64_t split = 0;
            if (!gltf::whole_number(ours.Get(gltf::kSplitVertices), std::numeric_limits<int>::max(), split))
                malformed(gltf::kSplitVertices);
            record.split = static_cast<int>(split);
        }
        const Value &maps = ours.Get(gltf::kMaps);
        if (!maps.IsArray() && ours.Has(gltf::kMaps)) malformed(gltf::kMaps);
        for (size_t i = 0; i < maps.ArrayLen(); ++i) {
            const Value &entry = maps.Get(static_cast<int>(i));
            MapRecord map;
            if (!entry.IsObject() || !gltf::parse_type(entry.Get("type"), map.type) || !entry.Get("name").IsString())
                malformed(gltf::kMaps);
            map.name = entry.Get("name").Get<std::string>();
            if (entry.Get("attribute").IsString()) {
                map.attribute = entry.Get("attribute").Get<std::string>();
            } else {
                uint64_t target = 0;
                if (!gltf::whole_number(entry.Get("target"), std::numeric_limits<int>::max(), target))
                    malformed(gltf::kMaps);
                map.target = static_cast<int>(target);
            }
            if (entry.Has("exact")) {
                if (!entry.Get("exact").IsString()) malformed(gltf::kMaps);
                map.exact = entry.Get("exact").Get<std::string>();
            }
            if (entry.Has("missing")) map.missing = runs(entry.Get("missing"), [&] { malformed(gltf::kMaps); });
            record.maps.push_back(std::move(map));
        }
        if (ours.Has(gltf::kPolygonOrder))
            record.order = runs(ours.Get(gltf::kPolygonOrder), [&] { malformed(gltf::kPolygonOrder); });
        if (ours.Has(gltf::kPolygonTypes)) {
            const Value &types = ours.Get(gltf::kPolygonTypes);
            if (!types.IsArray() || types.ArrayLen() % 2 != 0) malformed(gltf::kPolygonTypes);
            for (size_t i = 0; i < types.ArrayLen(); i += 2) {
                uint32_t type = 0;
                uint64_t count = 0;
                if (!gltf::parse_type(types.Get(static_cast<int>(i)), type) ||
                    !gltf::whole_number(types.Get(static_cast<int>(i + 1)), kMaxCount, count))
                    malformed(gltf::kPolygonTypes);
                record.types.emplace_back(type, count);
            }
        }
        return record;
    }

    template <class Malformed>
    static std::vector<Run> runs(const Value &value, Malformed malformed) {
        std::vector<Run> out;
        if (!value.IsArray() || value.ArrayLen() % 2 != 0) malformed();
        for (size_t i = 0; i < value.ArrayLen(); i += 2) {
            Run run;
            if (!gltf::whole_number(value.Get(static_cast<int>(i)), kMaxCount, run.first) ||
                !gltf::whole_number(value.Get(static_cast<int>(i + 1)), kMaxCount, run.second))
                malformed();
            out.push_back(run);
        }
        return out;
    }

    // ---------------------------------------------------------------- meshes

    // The points that one set of vertex accessors gave the layer.
    struct PointSet {
        uint32_t base = 0;  // the layer's index of vertex 0
        uint64_t vertex_count = 0;
        uint64_t point_count = 0;  // vertices from point_count on repeat a point (split)
        std::vector<uint32_t> split;
    };

    struct PrimitivePolygons {
        const tinygltf::Primitive *primitive = nullptr;
        std::string where;
        const PointSet *points = nullptr;
        uint32_t surface = 0;
        int mode = TINYGLTF_MODE_TRIANGLES;
        std::unique_ptr<AccessorView> indices;  // null: vertices in order
        uint64_t index_count = 0;
        std::vector<Run> sizes;  // recorded polygon sizes of fanned triangles
        bool points_only = false;
        uint64_t total = 0;  // polygons
        // Cursor.
        uint64_t next_index = 0;
        size_t run = 0;
        uint64_t run_used = 0;
    };

    void add_mesh(int mesh_index, const Matrix &world) {
        const tinygltf::Mesh &mesh = model_.meshes[static_cast<size_t>(mesh_index)];
        const std::string where = "mesh " + std::to_string(mesh_index);
        const MeshRecord record = parse_record(mesh, where);
        std::map<std::vector<int>, PointSet> point_sets;  // by the accessors that give the points
        std::vector<PrimitivePolygons> primitives(mesh.primitives.size());
        for (size_t p = 0; p < mesh.primitives.size(); ++p) {
            const tinygltf::Primitive &primitive = mesh.primitives[p];
            PrimitivePolygons &polygons = primitives[p];
            polygons.primitive = &primitive;
            polygons.where = where + " primitive " + std::to_string(p);
            std::vector<int> key;
            // Normals are per primitive: they do not make other points.
            for (const auto &[name, accessor] : primitive.attributes)
                if (name != "NORMAL") key.push_back(accessor);
            key.push_back(-1);
            for (const auto &target : primitive.targets)
                for (const auto &[name, accessor] : target) key.push_back(accessor);
            auto found = point_sets.find(key);
            if (found == point_sets.end())
                found = point_sets.emplace(key, add_points(mesh, primitive, record, world, polygons.where)).first;
            polygons.points = &found->second;
            prepare_polygons(polygons, record);
        }
        emit_polygons(primitives, record, mirrors(world) && !placing_clones_, where);
    }

    // True when the transform's linear part has a negative determinant.
    static bool mirrors(const Matrix &m) {
        const double det = m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) +
                           m[8] * (m[1] * m[6] - m[5] * m[2]);
        return det < 0.0;
    }

    // Our record's further vertices: each repeats one of the `point_count`
    // points before them.
    std::vector<uint32_t> split_points(const MeshRecord &record, uint64_t vertex_count, uint64_t &point_count,
                                       const std::string &where) const {
        point_count = vertex_count;
        if (record.split < 0) return {};
        const AccessorView view(model_, record.split, where + " split vertices", failure());
        if (view.components() != 1 || view.count() > vertex_count) fail(where + ": malformed split vertices");
        point_count = vertex_count - view.count();
        std::vector<uint32_t> split(view.count());
        for (size_t i = 0; i < split.size(); ++i) {
            split[i] = view.index(i);
            if (split[i] >= point_count) fail(where + ": a split vertex repeats a point that does not exist");
        }
        return split;
    }

    // The points of one primitive's vertices with their map values.
    PointSet add_points(const tinygltf::Mesh &mesh, const tinygltf::Primitive &primitive, const MeshRecord &record,
                        const Matrix &world, const std::string &where) {
        const auto position_slot = primitive.attributes.find("POSITION");
        if (position_slot == primitive.attributes.end()) fail(where + " has no POSITION attribute");
        const AccessorView positions(model_, position_slot->second, where + " POSITION", failure());
        if (positions.components() != 3) fail(where + ": POSITION must have three components");
        PointSet set;
        set.vertex_count = positions.count();
        set.split = split_points(record, set.vertex_count, set.point_count, where);
        const uint64_t count = set.point_count;
        if (count > uint64_t{std::numeric_limits<uint32_t>::max()} - layer_.point_count())
            fail(where + ": too many vertices");
        const auto base = static_cast<uint32_t>(layer_.point_count());
        set.base = base;
        const bool moved = world != kIdentity;
        layer_.reserve(uint64_t{base} + count, 0, 0);
        for (size_t v = 0; v < count; ++v) {
            float xyz[3];
            positions.read(v, xyz);
            host::Vec3 p{xyz[0], xyz[1], xyz[2]};
            if (moved) p = transform_point(world, p);
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
                fail(where + ": vertex " + std::to_string(v) + " has a coordinate that is not finite");
            layer_.add_point(p);
        }

        if (record.present) {
            for (const MapRecord &map : record.maps) {
                int accessor = -1;
                bool flip_v = false;
                if (!map.attribute.empty()) {
                    const std::string &attribute = map.exact.empty() ? map.attribute : map.exact;
                    const auto slot = primitive.attributes.find(attribute);
                    if (slot == primitive.attributes.end())
                        fail(where + " lacks the attribute " + attribute + " of vertex map \"" + map.name + "\"");
                    accessor = slot->second;
                    flip_v = map.exact.empty() && record.flipped_uv && map.attribute.rfind("TEXCOORD_", 0) == 0;
                } else {
                    const auto target = static_cast<size_t>(map.target);
                    const auto slot = target < primitive.targets.size() ? primitive.targets[target].find("POSITION")
                                                                        : std::map<std::string, int>::const_iterator{};
                    if (target >= primitive.targets.size() || slot == primitive.targets[target].end())
                        fail(where + " lacks morph target " + std::to_string(map.target) + " of vertex map \"" +
                             map.name + "\"");
                    accessor = slot->second;
                }
                add_values(map.type, map.name, accessor, set, map.missing, true, flip_v, world, where);
            }
            return set;
        }
        for (const auto &[attribute, accessor] : primitive.attributes) {
            if (attribute.rfind("TEXCOORD_", 0) == 0) {
                const std::string n = attribute.substr(9);
                add_values(SF_VMAP_TXUV, n == "0" ? std::string("UV") : "UV" + n, accessor, set, {}, false, true,
                           world, where);
            } else if (attribute.rfind("COLOR_", 0) == 0) {
                add_values(gltf::kColorType, attribute, accessor, set, {}, true, false, kIdentity, where);
            } else if (attribute.rfind('_', 0) == 0 && plain_elements(accessor)) {
                const AccessorView values(model_, accessor, where + " attribute " + attribute, failure());
                const std::string weight = gltf::weight_map_name(attribute);
                if (!weight.empty() && gltf::weight_like(values.components(), values.component_type(), values.normalized()))
                    add_values(SF_VMAP_WGHT, weight, accessor, set, {}, true, false, kIdentity, where);
                else
                    add_values(gltf::kAttributeType, attribute, accessor, set, {}, true, false, kIdentity, where);
            }
        }
        const Value &names = mesh.extras.IsObject() ? mesh.extras.Get(gltf::kTargetNames) : Value();
        for (size_t t = 0; t < primitive.targets.size(); ++t) {
            const auto slot = primitive.targets[t].find("POSITION");
            if (slot == primitive.targets[t].end()) continue;
            const Value &name = names.IsArray() ? names.Get(static_cast<int>(t)) : Value();
            add_values(SF_VMAP_MORF, name.IsString() ? name.Get<std::string>() : "Morph " + std::to_string(t),
                       slot->second, set, {}, false, false, world, where);
        }
        return set;
    }

    // True for an accessor of scalars or vectors (matrices are not kept).
    bool plain_elements(int accessor) const {
        if (accessor < 0 || static_cast<size_t>(accessor) >= model_.accessors.size()) return true;  // reported later
        const int type = model_.accessors[static_cast<size_t>(accessor)].type;
        return type == TINYGLTF_TYPE_SCALAR || type == TINYGLTF_TYPE_VEC2 || type == TINYGLTF_TYPE_VEC3 ||
               type == TINYGLTF_TYPE_VEC4;
    }

    void add_values(uint32_t type, const std::string &name, int accessor, const PointSet &set,
                    const std::vector<Run> &missing, bool recorded, bool flip_v, const Matrix &world,
                    const std::string &where) {
        const std::string what = where + " vertex map \"" + name + "\"";
        const AccessorView values(model_, accessor, what, failure());
        if (values.count() != set.vertex_count)
            fail(what + ": " + std::to_string(values.count()) + " values for " + std::to_string(set.vertex_count) +
                 " vertices");
        const uint64_t count = set.point_count;
        const uint32_t base = set.base;
        // The format fixes the shape of texture coordinates and morph
        // targets; our own record may carry any map of 1 to 4 values.
        const int dimension = values.components();
        if (type == SF_VMAP_TXUV && dimension != 2 && !recorded)
            fail(what + ": texture coordinates need two components");
        if (type == SF_VMAP_MORF && dimension != 3 && !recorded) fail(what + ": a morph target needs three components");
        if (flip_v && dimension != 2) fail(what + ": texture coordinates need two components");
        host::VertexMap &map = layer_.add_vmap(type, name, dimension);
        // Spots are positions and morphs displacements: both follow the node.
        const bool moved = world != kIdentity && dimension == 3;
        uint64_t previous_end = 0;
        size_t run = 0;
        for (uint64_t v = 0; v < count; ++v) {
            if (run < missing.size() && v == missing[run].first) {
                const Run &skip = missing[run];
                if (skip.first < previous_end || skip.second == 0 || skip.second > count - skip.first)
                    fail(what + ": malformed missing-value runs");
                previous_end = skip.first + skip.second;
                v = previous_end - 1;
                ++run;
                continue;
            }
            float value[4];
            values.read(v, value);
            if (flip_v) value[1] = 1.0f - value[1];
            if (moved && type == SF_VMAP_SPOT && !placing_clones_) {
                const host::Vec3 p = transform_point(world, {value[0], value[1], value[2]});
                for (size_t c = 0; c < 3; ++c) value[c] = static_cast<float>(p[c]);
            } else if (moved && type == SF_VMAP_MORF) {
                const host::Vec3 d = transform_vector(world, {value[0], value[1], value[2]});
                for (size_t c = 0; c < 3; ++c) value[c] = static_cast<float>(d[c]);
            }
            for (int c = 0; c < dimension; ++c)
                if (!std::isfinite(value[c]))
                    fail(what + ": vertex " + std::to_string(v) + " has a value that is not finite");
            map.set_value(static_cast<uint32_t>(base + v), value);
        }
        if (run < missing.size()) fail(what + ": malformed missing-value runs");
    }

    static host::Vec3 transform_point(const Matrix &m, const host::Vec3 &p) {
        return {m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12], m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13],
                m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14]};
    }
    static host::Vec3 transform_vector(const Matrix &m, const host::Vec3 &d) {
        return {m[0] * d[0] + m[4] * d[1] + m[8] * d[2], m[1] * d[0] + m[5] * d[1] + m[9] * d[2],
                m[2] * d[0] + m[6] * d[1] + m[10] * d[2]};
    }

    // ---------------------------------------------------------------- polygons

    void prepare_polygons(PrimitivePolygons &polygons, const MeshRecord &record) {
        const tinygltf::Primitive &primitive = *polygons.primitive;
        const std::string &where = polygons.where;
        polygons.mode = primitive.mode < 0 ? TINYGLTF_MODE_TRIANGLES : primitive.mode;
        if (polygons.mode > TINYGLTF_MODE_TRIANGLE_FAN)
            fail(where + ": unknown mode " + std::to_string(primitive.mode));
        if (primitive.material >= 0) {
            if (static_cast<size_t>(primitive.material) >= model_.materials.size())
                fail(where + " refers to material " + std::to_string(primitive.material) + ", but only " +
                     std::to_string(model_.materials.size()) + " exist");
            const std::string &name = model_.materials[static_cast<size_t>(primitive.material)].name;
            polygons.surface =
                scene_.surface_index(name.empty() ? "Material " + std::to_string(primitive.material) : name);
        }
        if (primitive.attributes.count("NORMAL") != 0) smooth_.insert(polygons.surface);
        if (record.present && primitive.extras.IsObject() && primitive.extras.Get(gltf::kRecord).IsObject()) {
            const Value &ours = primitive.extras.Get(gltf::kRecord);
            const Value &only = ours.Get(gltf::kPointsOnly);
            polygons.points_only = only.IsBool() && only.Get<bool>();
            if (ours.Has(gltf::kPolygonSizes))
                polygons.sizes = runs(ours.Get(gltf::kPolygonSizes), [&] {
                    fail(where + ": malformed " + std::string(gltf::kPolygonSizes) + " record");
                });
        }
        if (polygons.points_only) return;
        if (primitive.indices >= 0) {
            polygons.indices = std::make_unique<AccessorView>(model_, primitive.indices, where + " indices", failure());
            if (polygons.indices->components() != 1) fail(where + ": indices must be scalars");
            polygons.index_count = polygons.indices->count();
        } else {
            polygons.index_count = polygons.points->vertex_count;
        }
        const uint64_t n = polygons.index_count;
        switch (polygons.mode) {
            case TINYGLTF_MODE_POINTS: polygons.total = n; break;
            case TINYGLTF_MODE_LINE: polygons.total = n / 2; break;
            case TINYGLTF_MODE_LINE_LOOP: polygons.total = n >= 2 ? n : 0; break;
            case TINYGLTF_MODE_LINE_STRIP: polygons.total = n >= 2 ? n - 1 : 0; break;
            case TINYGLTF_MODE_TRIANGLES: polygons.total = n / 3; break;
            default: polygons.total = n >= 3 ? n - 2 : 0; break;  // strip, fan
        }
        if (!polygons.sizes.empty()) {
            if (polygons.mode != TINYGLTF_MODE_TRIANGLES)
                fail(where + ": polygon sizes recorded for a non-triangle primitive");
            uint64_t triangles = 0;
            uint64_t count = 0;
            for (const Run &run : polygons.sizes) {
                if (run.first < 3 || run.first > host::Layer::kMaxCorners)
                    fail(where + ": a recorded polygon size is out of range");
                triangles += (run.first - 2) * run.second;
                count += run.second;
            }
            if (triangles != polygons.total)
                fail(where + ": the recorded polygon sizes need " + std::to_string(triangles) +
                     " triangles, but there are " + std::to_string(polygons.total));
            polygons.total = count;
        }
    }

    uint32_t vertex_at(PrimitivePolygons &polygons, uint64_t i) const {
        const uint64_t vertex = polygons.indices ? polygons.indices->index(i) : i;
        const PointSet &points = *polygons.points;
        if (vertex >= points.vertex_count)
            fail(polygons.where + ": index " + std::to_string(i) + " refers to vertex " + std::to_string(vertex) +
                 ", but only " + std::to_string(points.vertex_count) + " exist");
        if (vertex >= points.point_count) return points.base + points.split[vertex - points.point_count];
        return points.base + static_cast<uint32_t>(vertex);
    }

    // The next polygon of a primitive into `out`.
    void next_polygon(PrimitivePolygons &polygons, std::vector<uint32_t> &out) const {
        out.clear();
        const uint64_t i = polygons.next_index;
        switch (polygons.mode) {
            case TINYGLTF_MODE_POINTS:
                out.push_back(vertex_at(polygons, i));
                polygons.next_index += 1;
                return;
            case TINYGLTF_MODE_LINE:
                out = {vertex_at(polygons, i), vertex_at(polygons, i + 1)};
                polygons.next_index += 2;
                return;
            case TINYGLTF_MODE_LINE_STRIP:
                out = {vertex_at(polygons, i), vertex_at(polygons, i + 1)};
                polygons.next_index += 1;
                return;
            case TINYGLTF_MODE_LINE_LOOP:
                out = {vertex_at(polygons, i), vertex_at(polygons, (i + 1) % polygons.index_count)};
                polygons.next_index += 1;
                return;
            case TINYGLTF_MODE_TRIANGLE_STRIP:  // winding alternates
                out = {vertex_at(polygons, i), vertex_at(polygons, i + 1 + i % 2), vertex_at(polygons, i + 2 - i % 2)};
                polygons.next_index += 1;
                return;
            case TINYGLTF_MODE_TRIANGLE_FAN:
                out = {vertex_at(polygons, i + 1), vertex_at(polygons, i + 2), vertex_at(polygons, 0)};
                polygons.next_index += 1;
                return;
            default: break;
        }
        out = {vertex_at(polygons, i), vertex_at(polygons, i + 1), vertex_at(polygons, i + 2)};
        polygons.next_index += 3;
        if (polygons.sizes.empty()) return;
        // A recorded polygon: its fan's further triangles each add one corner.
        const uint64_t size = polygons.sizes[polygons.run].first;
        for (uint64_t k = 3; k < size; ++k) {
            const uint64_t t = polygons.next_index;
            if (vertex_at(polygons, t) != out[0] || vertex_at(polygons, t + 1) != out.back())
                fail(polygons.where + ": the recorded polygon sizes do not match the triangles");
            out.push_back(vertex_at(polygons, t + 2));
            polygons.next_index += 3;
        }
        if (++polygons.run_used == polygons.sizes[polygons.run].second) {
            ++polygons.run;
            polygons.run_used = 0;
        }
    }

    void emit_polygons(std::vector<PrimitivePolygons> &primitives, const MeshRecord &record, bool mirrored,
                       const std::string &where) {
        std::vector<Run> order = record.order;
        if (order.empty())
            for (size_t p = 0; p < primitives.size(); ++p) order.emplace_back(p, primitives[p].total);
        uint64_t total = 0;
        std::vector<uint64_t> taken(primitives.size(), 0);
        for (const Run &run : order) {
            if (run.first >= primitives.size() || run.second > primitives[run.first].total - taken[run.first])
                fail(where + ": the recorded polygon order does not match the primitives");
            taken[run.first] += run.second;
            total += run.second;
        }
        for (size_t p = 0; p < primitives.size(); ++p)
            if (taken[p] != primitives[p].total)
                fail(where + ": the recorded polygon order does not match the primitives");
        uint64_t typed = 0;
        for (const auto &[type, count] : record.types) typed += count;
        if (!record.types.empty() && typed != total)
            fail(where + ": the recorded polygon types do not match the polygons");

        std::vector<uint32_t> corners;
        size_t type_run = 0;
        uint64_t type_used = 0;
        for (const Run &run : order) {
            PrimitivePolygons &polygons = primitives[run.first];
            for (uint64_t k = 0; k < run.second; ++k) {
                next_polygon(polygons, corners);
                uint32_t type = SF_POLY_FACE;
                if (!record.types.empty()) {
                    while (type_used == record.types[type_run].second) {
                        ++type_run;
                        type_used = 0;
                    }
                    type = record.types[type_run].first;
                    ++type_used;
                }
                // Keep the first corner first: a recorded fan still starts there.
                if (mirrored && corners.size() > 2) std::reverse(corners.begin() + 1, corners.end());
                layer_.add_polygon(type, corners, polygons.surface, SF_POLY_SELECTED);
            }
        }
    }

    static constexpr uint64_t kMaxCount = uint64_t{1} << 53;

    const std::filesystem::path &path_;
    host::Scene &scene_;
    host::Layer &layer_;
    tinygltf::Model model_;
    std::set<uint32_t> smooth_;  // surfaces whose primitives have normals
    bool placing_clones_ = false;  // the mesh being added is a placed clone of our own
};

}  // namespace

void read_gltf(const std::filesystem::path &path, host::Scene &scene, host::Layer &layer) {
    GltfReader(path, scene, layer).read();
}

}  // namespace sowfield::io::detail
