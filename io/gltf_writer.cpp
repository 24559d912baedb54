// glTF output. The description (JSON) comes from tinygltf; the binary data is
// streamed straight from the layer into the file, never assembled in memory:
// a pass over the layer plans every accessor (sizes, bounds, missing values),
// the JSON is written, then each buffer view's bytes in order.
//
// All primitives share one set of vertex attributes, the layer's points, so a
// point used by polygons of several surfaces stays one point.
//
// Texture coordinates: the host measures v from the bottom of the image, as
// OBJ does; glTF measures it from the top. TEXCOORD_n holds 1 - v so that
// other programs show textures the right way up. That subtraction cannot
// always be undone in single precision (1 - 0.1f rounds), so when some value
// would not come back bit for bit, the map is also written as stored, under
// an application-specific attribute that our record names.
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "io/crease_normals.h"
#include "io/format_io.h"
#include "io/gltf_accessor.h"
#include "io/gltf_look_writer.h"
#include "io/gltf_vertices.h"
#include "io/input_files.h"
#include "io/gltf_record.h"
#include "sowfield_version.h"
#include "sowfield_host.h"

namespace sowfield::io::detail {

namespace {

static_assert(std::endian::native == std::endian::little, "glTF data is little-endian");

using tinygltf::Value;

// Run-length pairs [key, count, ...] of a sequence, built as it goes.
class Runs {
public:
    void add(uint64_t key, uint64_t count = 1) {
        if (!runs_.empty() && runs_.back().first == key)
            runs_.back().second += count;
        else
            runs_.emplace_back(key, count);
    }
    template <class KeyValue>
    Value::Array values(KeyValue key_value) const {
        Value::Array out;
        out.reserve(2 * runs_.size());
        for (const auto &[key, count] : runs_) {
            out.push_back(key_value(key));
            out.push_back(gltf::number_value(count));
        }
        return out;
    }
    Value::Array values() const { return values(gltf::number_value); }

private:
    std::vector<std::pair<uint64_t, uint64_t>> runs_;
};

struct MapPlan {
    const host::VertexMap *map = nullptr;
    std::string attribute;  // empty for a morph target
    int target = -1;
    bool flip_v = false;        // a TEXCOORD_n: written as 1 - v
    std::string exact;          // attribute of the values as stored, when flipping loses bits
    Value::Array missing;          // [first, count, ...] of points without a value
    std::vector<double> min, max;  // morph targets only
};

enum Kind : size_t { kPoints = 0, kLines = 1, kTriangles = 2 };

Kind kind_of(size_t size) { return size == 1 ? kPoints : size == 2 ? kLines : kTriangles; }

struct PrimitivePlan {
    uint32_t surface = 0;
    Kind kind = kTriangles;
    uint64_t index_count = 0;
    Runs sizes;
    bool fanned = false;  // some polygon has more than three points
    bool smooth = false;  // written with normals
};

// Where the bytes go: straight into the buffer of the file that holds them
// (the GLB itself, or the .bin beside a .gltf).
class Sink {
public:
    explicit Sink(AtomicFile &out) : out_(out) {}

    // Room for `n` bytes to fill, then hand back with commit().
    unsigned char *claim(size_t n) { return reinterpret_cast<unsigned char *>(out_.reserve(n)); }
    void commit(const unsigned char *, size_t n) { out_.advance(n); }

    void copy(const void *bytes, size_t n) {
        for (auto *from = static_cast<const unsigned char *>(bytes); n > 0;) {
            const size_t part = std::min(n, size_t{1} << 20);
            unsigned char *room = claim(part);
            std::memcpy(room, from, part);
            commit(room, part);
            from += part;
            n -= part;
        }
    }

private:
    AtomicFile &out_;
};

// Elements written one by one into blocks the sink provides.
template <class T>
class Staging {
public:
    explicit Staging(Sink &sink) : sink_(sink), block_(sink.claim(kBlockBytes)) {}
    void push(T value) {
        std::memcpy(block_ + used_, &value, sizeof value);  // the file's buffer has no alignment
        used_ += sizeof value;
        if (used_ == kBlockBytes) flush();
    }
    void flush() {
        sink_.commit(block_, used_);
        block_ = sink_.claim(kBlockBytes);
        used_ = 0;
    }

private:
    static constexpr size_t kBlockBytes = (size_t{1} << 17) / (3 * sizeof(T)) * (3 * sizeof(T));
    Sink &sink_;
    unsigned char *block_;
    size_t used_ = 0;
};

class GltfWriter {
public:
    GltfWriter(AtomicFile &out, const host::Scene &scene, const host::Layer &layer, WriteRange range, bool binary,
               std::string_view provenance_json, const GltfAddition *addition, WriteStyle style)
        : out_(out),
          scene_(scene),
          layer_(layer),
          binary_(binary),
          provenance_json_(provenance_json),
          crease_degrees_(style.crease_degrees),
          style_(style),
          selection_(select_for_writing(out, layer, range)),
          addition_(addition) {}

    void write() {
        plan();
        if (addition_) {
            shared_ = std::make_unique<GltfWriter>(out_, scene_, addition_->shared_mesh(), WriteRange{}, binary_, "", nullptr,
                                                   WriteStyle{crease_degrees_, {}, {}});
            shared_->plan();
        }
        const std::string json = describe();
        if (binary_)
            write_glb(json);
        else
            write_gltf(json);
    }

private:
    uint32_t points() const { return selection_.point_count(); }

    void plan() {
        check_names();
        if (points() > 0) {
            plan_positions();
            plan_maps();
            plan_polygons();
            plan_vertices();
        }
    }

    void plan_vertices() {
        corners_ = crease_normals(scene_, layer_, selection_, crease_degrees_);
        vertices_ = split_vertices(corners_, layer_, selection_);
        for (PrimitivePlan &plan : primitives_)
            plan.smooth = plan.kind == kTriangles && scene_.surface_keeping(plan.surface).smooth;
    }

    // The node's name and the mesh's: the style's when it gives them, else
    // the layer's (a layer without a mesh name of its own gives its name).
    std::string node_name() const { return std::string(style_.name.empty() ? layer_.name : style_.name); }
    std::string mesh_name() const {
        const std::string_view mesh = style_.name.empty() ? layer_.mesh_name : style_.mesh_name;
        return mesh.empty() ? node_name() : std::string(mesh);
    }

    void check_names() const {
        if (!gltf::valid_utf8(node_name()) || !gltf::valid_utf8(mesh_name()))
            out_.fail("the layer name is not valid UTF-8");
        for (size_t i = 0; i < layer_.vmap_count(); ++i)
            if (!gltf::valid_utf8(layer_.vmap(i).name()))
                out_.fail("the name of vertex map " + std::to_string(i) + " is not valid UTF-8");
    }

    void plan_positions() {
        position_min_.assign(3, std::numeric_limits<double>::infinity());
        position_max_.assign(3, -std::numeric_limits<double>::infinity());
        for (uint32_t point = selection_.first_point; point < selection_.point_end; ++point) {
            const host::Vec3 &p = layer_.position(point);
            for (size_t axis = 0; axis < 3; ++axis) {
                if (!std::isfinite(p[axis]))
                    out_.fail("point " + std::to_string(point) + " has a coordinate that is not finite");
                const double stored = static_cast<float>(p[axis]);
                if (!std::isfinite(stored))
                    out_.fail("point " + std::to_string(point) + " has a coordinate beyond single precision");
                position_min_[axis] = std::min(position_min_[axis], stored);
                position_max_[axis] = std::max(position_max_[axis], stored);
            }
        }
    }

    void plan_maps() {
        unsigned target_count = 0;
        unsigned color_count = 0;
        std::map<std::string, unsigned> attribute_count;  // by the attribute's first name
        std::set<std::string> used;                        // attribute names taken
        for (size_t i = 0; i < layer_.vmap_count(); ++i) {
            const host::VertexMap &map = layer_.vmap(i);
            MapPlan plan;
            plan.map = &map;
            const int dimension = map.dimension();
            std::string exact_name;
            if (map.type() == SF_VMAP_TXUV && dimension == 2) {
                plan.flip_v = true;
                plan.attribute = "TEXCOORD_" + std::to_string(uv_sets_);
                exact_name = "_UV_EXACT_" + std::to_string(uv_sets_++);
            } else if (map.type() == SF_VMAP_MORF && dimension == 3) {
                plan.target = static_cast<int>(target_count++);
                plan.min.assign(3, std::numeric_limits<double>::infinity());
                plan.max.assign(3, -std::numeric_limits<double>::infinity());
            } else if (map.type() == gltf::kColorType && (dimension == 3 || dimension == 4)) {
                plan.attribute = "COLOR_" + std::to_string(color_count++);
            } else {
                plan.attribute = chosen_name(map);
                if (plan.attribute.empty() || !used.insert(plan.attribute).second) {
                    unsigned &count = attribute_count[gltf::attribute_name(map.type(), 0)];
                    do
                        plan.attribute = gltf::attribute_name(map.type(), count++);
                    while (!used.insert(plan.attribute).second);
                }
            }
            uint64_t missing_first = 0;
            uint64_t missing_count = 0;
            for (uint32_t point = selection_.first_point; point < selection_.point_end; ++point) {
                const float *value = map.value(point);
                if (!value) {
                    if (missing_count > 0 && missing_first + missing_count == point - selection_.first_point) {
                        ++missing_count;
                    } else {
                        if (missing_count > 0) add_missing_run(plan, missing_first, missing_count);
                        missing_first = point - selection_.first_point;
                        missing_count = 1;
                    }
                    continue;
                }
                for (int c = 0; c < dimension; ++c) {
                    if (!std::isfinite(value[c]))
                        out_.fail("point " + std::to_string(point) + " has a value in vertex map \"" + map.name() +
                                  "\" that is not finite");
                    if (plan.target >= 0) {
                        const size_t axis = static_cast<size_t>(c);
                        plan.min[axis] = std::min<double>(plan.min[axis], value[c]);
                        plan.max[axis] = std::max<double>(plan.max[axis], value[c]);
                    }
                }
                if (plan.flip_v && plan.exact.empty() && !flips_back(value[1])) plan.exact = exact_name;
            }
            if (missing_count > 0) add_missing_run(plan, missing_first, missing_count);
            if (plan.target >= 0 && !plan.missing.empty()) {
                // Missing displacements are written as zero; the bounds must say so.
                for (size_t axis = 0; axis < 3; ++axis) {
                    plan.min[axis] = std::min(plan.min[axis], 0.0);
                    plan.max[axis] = std::max(plan.max[axis], 0.0);
                }
            }
            maps_.push_back(std::move(plan));
        }
    }

    // The attribute a map would rather have: a weight map's own name, so that
    // other programs show it; a kept attribute's name as it came. Names our
    // writer makes up for other maps are not taken.
    static std::string chosen_name(const host::VertexMap &map) {
        std::string name;
        if (map.type() == SF_VMAP_WGHT) name = gltf::named_weight_attribute(map.name());
        if (map.type() == gltf::kAttributeType && map.name().rfind('_', 0) == 0)
            name = gltf::named_weight_attribute(gltf::weight_map_name(map.name()));
        if (name.empty() || gltf::made_up_attribute(name)) return {};
        return map.type() == gltf::kAttributeType ? map.name() : name;
    }

    static float flipped(float v) { return 1.0f - v; }
    static bool flips_back(float v) {
        return std::bit_cast<uint32_t>(flipped(flipped(v))) == std::bit_cast<uint32_t>(v);
    }

    static void add_missing_run(MapPlan &plan, uint64_t first, uint64_t count) {
        plan.missing.push_back(gltf::number_value(first));
        plan.missing.push_back(gltf::number_value(count));
    }

    void plan_polygons() {
        // One primitive per surface and kind (points, lines, triangles), in
        // the order they first appear.
        std::vector<int32_t> primitive_of(size_t{scene_.surface_count()} * 3, -1);
        Runs order;
        Runs types;
        bool other_types = false;
        for (uint32_t polygon = selection_.first_polygon; polygon < selection_.polygon_end; ++polygon) {
            const uint32_t surface = layer_.polygon_surface(polygon);
            if (surface >= scene_.surface_count())
                out_.fail("polygon " + std::to_string(polygon) + " has surface " + std::to_string(surface) +
                          ", which the scene does not name");
            const size_t size = layer_.polygon_points(polygon).size();
            const Kind kind = kind_of(size);
            int32_t &slot = primitive_of[size_t{surface} * 3 + kind];
            if (slot < 0) {
                slot = static_cast<int32_t>(primitives_.size());
                primitives_.emplace_back();
                primitives_.back().surface = surface;
                primitives_.back().kind = kind;
            }
            PrimitivePlan &plan = primitives_[static_cast<size_t>(slot)];
            if (kind == kTriangles) {
                plan.index_count += 3 * (size - 2);
                plan.sizes.add(size);
                plan.fanned = plan.fanned || size > 3;
            } else {
                plan.index_count += size;
            }
            order.add(static_cast<uint64_t>(slot));
            const uint32_t type = layer_.polygon_type(polygon);
            other_types = other_types || type != SF_POLY_FACE;
            types.add(type);
        }
        if (primitives_.size() > 1) polygon_order_ = order.values();
        if (other_types)
            polygon_types_ = types.values([](uint64_t type) { return gltf::type_value(static_cast<uint32_t>(type)); });
    }

    // The JSON description, without "buffers" (spliced in as the file is written).
    std::string describe() {
        tinygltf::Model model;
        model.asset.version = "2.0";
        model.asset.generator = "Sowfield " SOWFIELD_VERSION;
        if (!provenance_json_.empty()) model.asset.extras = gltf::json_value(provenance_json_);
        // An empty layer is a file of no scene at all (an empty scene would
        // serialise as null, which the format does not allow).
        if (points() == 0 && !addition_) return serialise(model);

        materials_ = std::make_unique<GltfMaterials>(
            scene_, out_, binary_,
            std::set<std::string>{out_.target().filename().string(), bin_path().filename().string()});
        model.scenes.emplace_back();
        model.scenes[0].name = node_name();
        model.defaultScene = 0;
        if (points() > 0) {
            model.scenes[0].nodes.push_back(0);
            tinygltf::Node node;
            node.name = node_name();
            node.mesh = describe_mesh(model);
            model.nodes.push_back(std::move(node));
        }
        if (addition_) {
            shared_->binary_size_ = binary_size_;
            shared_->materials_ = std::move(materials_);
            const int mesh = shared_->describe_mesh(model);
            materials_ = std::move(shared_->materials_);
            binary_size_ = shared_->binary_size_;
            addition_->describe(model, mesh, binary_size_);
        }
        materials_->finish(model, binary_size_);
        return serialise(model);
    }

    // The layer's points and polygons as one more mesh of `model`.
    int describe_mesh(tinygltf::Model &model) {
        VertexAccessors vertices = describe_vertices(model);
        tinygltf::Mesh mesh;
        mesh.name = mesh_name();
        describe_primitives(model, vertices, mesh);
        mesh.extras = mesh_extras(vertices);
        model.meshes.push_back(std::move(mesh));
        return static_cast<int>(model.meshes.size() - 1);
    }

    // The vertex attributes every primitive shares (NORMAL only where its
    // surface came with normals), and what the record says of them.
    struct VertexAccessors {
        std::map<std::string, int> attributes;
        int normals = -1;
        std::vector<std::map<std::string, int>> targets;
        Value::Array target_names;
        Value::Array map_records;
        int split = -1;  // the further vertices' points
    };

    // Laid out in the order write_binary writes them: positions, each map
    // (a flipped UV map followed by its exact copy), normals, the further
    // vertices' points.
    VertexAccessors describe_vertices(tinygltf::Model &model) {
        VertexAccessors out;
        const int positions = add_accessor(model, 3, vertices_.count(), TINYGLTF_TARGET_ARRAY_BUFFER);
        model.accessors[static_cast<size_t>(positions)].minValues = position_min_;
        model.accessors[static_cast<size_t>(positions)].maxValues = position_max_;
        out.attributes["POSITION"] = positions;
        for (MapPlan &plan : maps_) out.map_records.emplace_back(describe_map(model, plan, out));
        if (!vertices_.normals.empty())
            out.normals = add_accessor(model, 3, vertices_.count(), TINYGLTF_TARGET_ARRAY_BUFFER);
        if (!vertices_.extra_points.empty())
            out.split = add_accessor(model, 1, vertices_.extra_points.size(), 0, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
        return out;
    }

    Value describe_map(tinygltf::Model &model, MapPlan &plan, VertexAccessors &out) {
        const int accessor = add_accessor(model, plan.map->dimension(), vertices_.count(), TINYGLTF_TARGET_ARRAY_BUFFER);
        Value::Object record;
        record["type"] = gltf::type_value(plan.map->type());
        record["name"] = Value(plan.map->name());
        if (plan.target >= 0) {
            model.accessors[static_cast<size_t>(accessor)].minValues = plan.min;
            model.accessors[static_cast<size_t>(accessor)].maxValues = plan.max;
            out.targets.push_back({{"POSITION", accessor}});
            out.target_names.emplace_back(plan.map->name());
            record["target"] = Value(plan.target);
        } else {
            out.attributes[plan.attribute] = accessor;
            record["attribute"] = Value(plan.attribute);
        }
        if (!plan.exact.empty()) {
            out.attributes[plan.exact] = add_accessor(model, 2, vertices_.count(), TINYGLTF_TARGET_ARRAY_BUFFER);
            record["exact"] = Value(plan.exact);
        }
        if (!plan.missing.empty()) record["missing"] = Value(std::move(plan.missing));
        return Value(std::move(record));
    }

    static Value our_extras(Value::Object record) {
        Value::Object extras;
        extras[gltf::kRecord] = Value(std::move(record));
        return Value(std::move(extras));
    }

    void describe_primitives(tinygltf::Model &model, const VertexAccessors &vertices, tinygltf::Mesh &mesh) {
        if (primitives_.empty()) {
            // A layer of points only: one point primitive over all of them,
            // marked so that reading it back adds no polygons.
            tinygltf::Primitive primitive;
            primitive.attributes = vertices.attributes;
            primitive.targets = vertices.targets;
            primitive.mode = TINYGLTF_MODE_POINTS;
            Value::Object record;
            record[gltf::kPointsOnly] = Value(true);
            primitive.extras = our_extras(std::move(record));
            mesh.primitives.push_back(std::move(primitive));
        }
        for (PrimitivePlan &plan : primitives_) {
            tinygltf::Primitive primitive;
            primitive.attributes = vertices.attributes;
            if (plan.smooth) primitive.attributes["NORMAL"] = vertices.normals;
            primitive.targets = vertices.targets;
            primitive.mode = plan.kind == kPoints  ? TINYGLTF_MODE_POINTS
                             : plan.kind == kLines ? TINYGLTF_MODE_LINE
                                                   : TINYGLTF_MODE_TRIANGLES;
            primitive.indices = add_accessor(model, 1, plan.index_count, TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER,
                                             TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT);
            primitive.material = materials_->material_for(model, plan.surface, uv_sets_);
            if (plan.fanned) {
                Value::Object record;
                record[gltf::kPolygonSizes] = Value(plan.sizes.values());
                primitive.extras = our_extras(std::move(record));
            }
            mesh.primitives.push_back(std::move(primitive));
        }
    }

    Value mesh_extras(VertexAccessors &vertices) {
        Value::Object record;
        record[gltf::kVersion] = Value(gltf::kRecordVersion);
        if (!vertices.map_records.empty()) record[gltf::kMaps] = Value(std::move(vertices.map_records));
        if (!polygon_order_.empty()) record[gltf::kPolygonOrder] = Value(std::move(polygon_order_));
        if (!polygon_types_.empty()) record[gltf::kPolygonTypes] = Value(std::move(polygon_types_));
        if (vertices.split >= 0) record[gltf::kSplitVertices] = Value(vertices.split);
        Value::Object extras;
        if (!vertices.target_names.empty()) extras[gltf::kTargetNames] = Value(std::move(vertices.target_names));
        extras[gltf::kRecord] = Value(std::move(record));
        return Value(std::move(extras));
    }

    // One accessor over a buffer view of its own, tightly packed; every
    // element is 4-byte, so each view starts aligned.
    int add_accessor(tinygltf::Model &model, int components, uint64_t count, int target,
                     int component_type = TINYGLTF_COMPONENT_TYPE_FLOAT) {
        return detail::append_accessor(model, binary_size_, components, count, target, component_type);
    }

    std::string serialise(const tinygltf::Model &model) const {
        std::ostringstream text;
        tinygltf::TinyGLTF gltf;
        gltf.SetImageWriter(nullptr, nullptr);  // images are ours to write, as they came
        if (!gltf.WriteGltfSceneToStream(&model, text, false, false)) out_.fail("cannot describe the scene as glTF");
        std::string json = text.str();
        while (!json.empty() && (json.back() == '\n' || json.back() == ' ')) json.pop_back();
        if (json.size() < 3 || json.front() != '{') out_.fail("cannot describe the scene as glTF");
        return json;
    }

    // The description with the buffer spliced in as its first member; a
    // .gltf's buffer names the .bin beside it.
    std::string with_buffer(const std::string &json, const std::string &uri) const {
        if (binary_size_ == 0) return json;
        std::string head = "{\"buffers\":[{\"byteLength\":" + std::to_string(binary_size_);
        if (!uri.empty()) head += ",\"uri\":\"" + uri + "\"";
        return head + "}]," + json.substr(1);
    }

    void write_glb(const std::string &description) {
        std::string json = with_buffer(description, {});
        while (json.size() % 4 != 0) json.push_back(' ');  // chunks are 4-byte aligned
        const uint64_t total = 12 + 8 + json.size() + (binary_size_ > 0 ? 8 + binary_size_ : 0);
        if (total > std::numeric_limits<uint32_t>::max())
            out_.fail("the layer needs " + std::to_string(total) + " bytes, beyond the 4 GiB a GLB file can hold");
        const uint32_t header[5] = {0x46546C67u /* "glTF" */, 2, static_cast<uint32_t>(total),
                                    static_cast<uint32_t>(json.size()), 0x4E4F534Au /* "JSON" */};
        out_.write(header, sizeof header);
        out_.write(json);
        if (binary_size_ > 0) {
            const uint32_t chunk[2] = {static_cast<uint32_t>(binary_size_), 0x004E4942u /* "BIN" */};
            out_.write(chunk, sizeof chunk);
            Sink sink(out_);
            write_binary(sink);
            materials_->write_images([&](const void *bytes, size_t n) { sink.copy(bytes, n); });
        }
    }

    // The description, and the data in a .bin of the same name beside it,
    // which appears with the .gltf or not at all.
    void write_gltf(const std::string &description) {
        if (binary_size_ > 0) {
            refuse_replacing_input(out_, bin_path());
            auto bin = std::make_unique<AtomicFile>(bin_path());
            Sink sink(*bin);
            write_binary(sink);
            out_.attach(std::move(bin));
        }
        out_.write(with_buffer(description, gltf::relative_uri(bin_path().filename().string())));
        out_.put('\n');
    }

    std::filesystem::path bin_path() const {
        std::filesystem::path path = out_.target();
        return path.replace_extension(".bin");
    }

    // The buffer views in the order describe() laid them out.
    void write_binary(Sink &sink) {
        Staging<float> floats(sink);
        for (uint64_t vertex = 0; vertex < vertices_.count(); ++vertex) {
            const host::Vec3 &p = layer_.position(point_of(vertex));
            floats.push(static_cast<float>(p[0]));
            floats.push(static_cast<float>(p[1]));
            floats.push(static_cast<float>(p[2]));
        }
        for (const MapPlan &plan : maps_) write_map(plan, floats);
        for (const Normal &n : vertices_.normals)
            for (const float c : n) floats.push(c);
        floats.flush();

        Staging<uint32_t> indices(sink);
        for (const uint32_t point : vertices_.extra_points) indices.push(point);
        for (const PrimitivePlan &plan : primitives_) write_indices(plan, indices);
        indices.flush();
        if (shared_) shared_->write_binary(sink);
        if (addition_) addition_->write_binary([&](const void *bytes, size_t n) { sink.copy(bytes, n); });
    }

    uint32_t point_of(uint64_t vertex) const { return selection_.first_point + vertices_.point_offset(vertex); }

    void write_map(const MapPlan &plan, Staging<float> &floats) const {
        const int dimension = plan.map->dimension();
        if (plan.flip_v) {
            for (uint64_t vertex = 0; vertex < vertices_.count(); ++vertex) {
                const float *value = plan.map->value(point_of(vertex));
                floats.push(value ? value[0] : 0.0f);
                floats.push(value ? flipped(value[1]) : 0.0f);
            }
            if (plan.exact.empty()) return;
        }
        for (uint64_t vertex = 0; vertex < vertices_.count(); ++vertex) {
            const float *value = plan.map->value(point_of(vertex));
            for (int c = 0; c < dimension; ++c) floats.push(value ? value[c] : 0.0f);
        }
    }

    void write_indices(const PrimitivePlan &plan, Staging<uint32_t> &indices) const {
        const uint32_t base = selection_.first_point;
        for (uint32_t polygon = selection_.first_polygon; polygon < selection_.polygon_end; ++polygon) {
            if (layer_.polygon_surface(polygon) != plan.surface) continue;
            const std::span<const uint32_t> points = layer_.polygon_points(polygon);
            if (kind_of(points.size()) != plan.kind) continue;
            const uint32_t offset = polygon - selection_.first_polygon;
            const bool smooth = corners_.smooth(offset);
            const auto vertex = [&](size_t k) {
                return smooth ? vertices_.corner_vertex[corners_.first[offset] + k] : points[k] - base;
            };
            if (plan.kind != kTriangles) {
                for (size_t k = 0; k < points.size(); ++k) indices.push(vertex(k));
                continue;
            }
            // A fan from the first corner: reading our own file joins the
            // fan's triangles back into the polygon.
            for (size_t k = 1; k + 1 < points.size(); ++k) {
                indices.push(vertex(0));
                indices.push(vertex(k));
                indices.push(vertex(k + 1));
            }
        }
    }

    AtomicFile &out_;
    const host::Scene &scene_;
    const host::Layer &layer_;
    bool binary_;
    std::string_view provenance_json_;
    double crease_degrees_;
    WriteStyle style_;
    WriteSelection selection_;
    std::vector<double> position_min_, position_max_;
    std::vector<MapPlan> maps_;
    unsigned uv_sets_ = 0;  // TEXCOORD_n written
    std::vector<PrimitivePlan> primitives_;
    CornerNormals corners_;
    GltfVertices vertices_;
    Value::Array polygon_order_;
    Value::Array polygon_types_;
    uint64_t binary_size_ = 0;
    const GltfAddition *addition_ = nullptr;
    std::unique_ptr<GltfWriter> shared_;  // the addition's mesh
    std::unique_ptr<GltfMaterials> materials_;  // the file's, lent to shared_ while it describes its mesh
};

}  // namespace

void write_gltf(AtomicFile &out, const host::Scene &scene, const host::Layer &layer, WriteRange range, bool binary,
                std::string_view provenance_json, const GltfAddition *addition, WriteStyle style) {
    GltfWriter(out, scene, layer, range, binary, provenance_json, addition, style).write();
}

}  // namespace sowfield::io::detail
