#include "io/gltf_instancing.h"

#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <utility>

#include "io/format_io.h"
#include "io/gltf_accessor.h"
#include "io/gltf_matrix.h"
#include "io/gltf_record.h"
#include "sowfield_host.h"

namespace sowfield::io {

namespace {

using tinygltf::Value;

constexpr const char *kExtension = "EXT_mesh_gpu_instancing";
constexpr const char *kPlacedClones = "placed_clones";
constexpr const char *kIndexMap = "SF_index";
constexpr const char *kIndexAttribute = "_SF_INDEX";

// The clones of one placement in a glTF model and its binary data.
class Instancing : public detail::GltfAddition {
public:
    Instancing(const CloneInstances &instances, InstanceMode mode) : instances_(instances), mode_(mode) {}

    const host::Layer &shared_mesh() const override { return instances_.object; }

    void describe(tinygltf::Model &model, int mesh, uint64_t &binary_size) const override {
        if (mode_ == InstanceMode::gpu)
            describe_gpu(model, mesh, binary_size);
        else
            describe_nodes(model, mesh);
    }

    void write_binary(const std::function<void(const void *, size_t)> &write) const override {
        if (mode_ != InstanceMode::gpu) return;
        std::vector<float> values;
        const auto flush = [&] {
            write(values.data(), values.size() * sizeof(float));
            values.clear();
        };
        for (const ClonePlacement &p : instances_.placed) values.insert(values.end(), p.translation.begin(), p.translation.end());
        flush();
        for (const ClonePlacement &p : instances_.placed) values.insert(values.end(), p.rotation.begin(), p.rotation.end());
        flush();
        for (const ClonePlacement &p : instances_.placed) values.insert(values.end(), p.scale.begin(), p.scale.end());
        flush();
        for (const ClonePlacement &p : instances_.placed) values.push_back(p.sf_index);
        flush();
    }

private:
    static Value record(std::optional<float> clone_index) {
        Value::Object ours;
        ours[kPlacedClones] = Value(true);
        if (clone_index) ours[kIndexMap] = Value(static_cast<double>(*clone_index));
        Value::Object extras;
        extras[detail::gltf::kRecord] = Value(std::move(ours));
        return Value(std::move(extras));
    }

    // Laid out in the order write_binary writes.
    void describe_gpu(tinygltf::Model &model, int mesh, uint64_t &binary_size) const {
        const uint64_t count = instances_.placed.size();
        Value::Object attributes;
        attributes["TRANSLATION"] = Value(detail::append_accessor(model, binary_size, 3, count));
        attributes["ROTATION"] = Value(detail::append_accessor(model, binary_size, 4, count));
        attributes["SCALE"] = Value(detail::append_accessor(model, binary_size, 3, count));
        attributes[kIndexAttribute] = Value(detail::append_accessor(model, binary_size, 1, count));
        Value::Object extension;
        extension["attributes"] = Value(std::move(attributes));
        tinygltf::Node node;
        node.name = instances_.object.name;
        node.mesh = mesh;
        node.extensions[kExtension] = Value(std::move(extension));
        node.extras = record(std::nullopt);
        model.scenes[0].nodes.push_back(static_cast<int>(model.nodes.size()));
        model.nodes.push_back(std::move(node));
        model.extensionsUsed.emplace_back(kExtension);
    }

    void describe_nodes(tinygltf::Model &model, int mesh) const {
        tinygltf::Node parent;
        parent.name = instances_.object.name + " clones";
        const int first = static_cast<int>(model.nodes.size()) + 1;
        for (size_t i = 0; i < instances_.placed.size(); ++i) parent.children.push_back(first + static_cast<int>(i));
        model.scenes[0].nodes.push_back(first - 1);
        model.nodes.push_back(std::move(parent));
        for (const ClonePlacement &placement : instances_.placed) {
            tinygltf::Node node;
            node.name = instances_.object.name + " " + std::to_string(placement.clone);
            node.mesh = mesh;
            node.translation.assign(placement.translation.begin(), placement.translation.end());
            node.rotation.assign(placement.rotation.begin(), placement.rotation.end());
            node.scale.assign(placement.scale.begin(), placement.scale.end());
            node.extras = record(placement.sf_index);
            model.nodes.push_back(std::move(node));
        }
    }

    const CloneInstances &instances_;
    InstanceMode mode_;
};

// A run of points and the polygons over them that the file keeps as
// geometry: half-open ranges of the layer, and where the points land.
struct KeptSpan {
    uint32_t first_point, point_end;
    uint32_t first_polygon, polygon_end;
    uint32_t new_first_point = 0;
};

// The parts of the layer within the range that are not placed clones: what
// comes before the clones, then each clone that is not placed.
std::vector<KeptSpan> kept_spans(WriteRange range, const CloneInstances &instances) {
    std::vector<char> placed(instances.clones, 0);
    for (const ClonePlacement &p : instances.placed) placed[p.clone] = 1;
    std::vector<KeptSpan> spans;
    const auto keep = [&](uint64_t first_point, uint64_t point_end, uint64_t first_polygon, uint64_t polygon_end) {
        first_point = std::max<uint64_t>(first_point, range.first_point);
        first_polygon = std::max<uint64_t>(first_polygon, range.first_polygon);
        point_end = std::max(point_end, first_point);
        polygon_end = std::max(polygon_end, first_polygon);
        if (point_end == first_point && polygon_end == first_polygon) return;
        const uint32_t new_first = spans.empty() ? 0 : spans.back().new_first_point + (spans.back().point_end - spans.back().first_point);
        spans.push_back({static_cast<uint32_t>(first_point), static_cast<uint32_t>(point_end),
                         static_cast<uint32_t>(first_polygon), static_cast<uint32_t>(polygon_end), new_first});
    };
    keep(0, instances.first_point, 0, instances.first_polygon);
    for (uint64_t c = 0; c < instances.clones; ++c)
        if (!placed[c])
            keep(instances.first_point + c * instances.clone_points, instances.first_point + (c + 1) * instances.clone_points,
                 instances.first_polygon + c * instances.clone_polygons,
                 instances.first_polygon + (c + 1) * instances.clone_polygons);
    return spans;
}

// The layer within the range without the placed clones: what the file holds
// as real geometry. Maps without any value left are dropped.
host::Layer remaining_geometry(const AtomicFile &out, const host::Layer &layer, WriteRange range,
                               const CloneInstances &instances) {
    if (range.first_point > layer.point_count() || range.first_polygon > layer.polygon_count() ||
        instances.first_point + instances.clones * instances.clone_points != layer.point_count() ||
        instances.first_polygon + instances.clones * instances.clone_polygons != layer.polygon_count())
        out.fail("the clones to place do not match the layer");
    const std::vector<KeptSpan> spans = kept_spans(range, instances);
    const auto new_index = [&](uint32_t polygon, uint32_t point) {
        auto span = std::upper_bound(spans.begin(), spans.end(), point,
                                     [](uint32_t p, const KeptSpan &s) { return p < s.first_point; });
        if (span == spans.begin() || point >= (--span)->point_end)
            out.fail("polygon " + std::to_string(polygon) + " uses point " + std::to_string(point) +
                     ", which is not written as geometry");
        return span->new_first_point + (point - span->first_point);
    };

    host::Layer rest(layer.name);
    rest.mesh_name = layer.mesh_name;
    for (const KeptSpan &span : spans)
        for (uint32_t point = span.first_point; point < span.point_end; ++point) rest.add_point(layer.position(point));
    for (size_t m = 0; m < layer.vmap_count(); ++m) {
        const host::VertexMap &map = layer.vmap(m);
        host::VertexMap *copy = nullptr;
        for (const KeptSpan &span : spans)
            for (uint32_t point = span.first_point; point < span.point_end; ++point) {
                const float *value = map.value(point);
                if (value == nullptr) continue;
                if (copy == nullptr) copy = &rest.add_vmap(map.type(), map.name(), map.dimension());
                copy->set_value(span.new_first_point + (point - span.first_point), value);
            }
    }
    std::vector<uint32_t> corners;
    for (const KeptSpan &span : spans)
        for (uint32_t polygon = span.first_polygon; polygon < span.polygon_end; ++polygon) {
            corners.clear();
            for (const uint32_t point : layer.polygon_points(polygon)) corners.push_back(new_index(polygon, point));
            rest.add_polygon(layer.polygon_type(polygon), corners, layer.polygon_surface(polygon),
                             layer.polygon_flags(polygon));
        }
    return rest;
}

}  // namespace

std::vector<std::filesystem::path> write_instanced_gltf(const std::filesystem::path &path, const host::Scene &scene,
                                                       size_t layer, WriteRange range, const CloneInstances &instances,
                                                       InstanceMode mode, std::string_view provenance_json,
                                                       WriteStyle style) {
    const Format format = format_for(path);
    if (format == Format::obj)
        throw MeshFileError("Error writing " + path.string() + ": OBJ has no instancing; write .glb or .gltf");
    if (instances.placed.empty()) return write_mesh_file(path, scene, layer, range, provenance_json, style);
    const Instancing instancing(instances, mode);
    return detail::write_atomically(path, [&](AtomicFile &out) {
        const host::Layer rest = remaining_geometry(out, scene.layer(layer), range, instances);
        detail::write_gltf(out, scene, rest, {}, format == Format::glb, provenance_json, &instancing, style);
    });
}

namespace detail {

namespace {

std::array<double, 16> to_matrix(const ClonePlacement &placement) {
    const std::array<double, 9> m = placement_matrix(placement);
    return {m[0], m[1], m[2], 0, m[3], m[4], m[5], 0, m[6], m[7], m[8], 0,
            placement.translation[0], placement.translation[1], placement.translation[2], 1};
}

}  // namespace

bool places_clones(const tinygltf::Node &node) {
    if (!node.extras.IsObject()) return false;
    const Value &ours = node.extras.Get(detail::gltf::kRecord);
    return ours.IsObject() && ours.Get(kPlacedClones).IsBool() && ours.Get(kPlacedClones).Get<bool>();
}

std::vector<MeshPlacement> mesh_placements(const tinygltf::Model &model, int index, const LoadFailure &fail) {
    const tinygltf::Node &node = model.nodes[static_cast<size_t>(index)];
    const std::string where = "node " + std::to_string(index);
    const auto found = node.extensions.find(kExtension);
    if (found == node.extensions.end()) {
        std::optional<float> clone_index;
        if (places_clones(node)) {
            const Value &value = node.extras.Get(detail::gltf::kRecord).Get(kIndexMap);
            if (value.IsNumber()) clone_index = static_cast<float>(value.GetNumberAsDouble());
        }
        return {{kIdentity, clone_index}};
    }
    const Value &attributes = found->second.Get("attributes");
    if (!attributes.IsObject()) fail(where + ": " + kExtension + " without attributes");
    // Each attribute's accessor, checked: all give one element per instance.
    std::map<std::string, std::unique_ptr<AccessorView>> views;
    uint64_t count = 0;
    bool counted = false;
    for (const std::string &name : attributes.Keys()) {
        const Value &slot = attributes.Get(name);
        if (!slot.IsInt()) fail(where + ": " + kExtension + " attribute " + name + " is not an accessor index");
        const int accessor = slot.Get<int>();
        if (accessor < 0 || static_cast<size_t>(accessor) >= model.accessors.size())
            fail(where + ": " + kExtension + " attribute " + name + " refers to a missing accessor");
        auto view = std::make_unique<AccessorView>(model, accessor, where + " instance " + name, fail);
        if (counted && view->count() != count) fail(where + ": the instance attributes differ in count");
        count = view->count();
        counted = true;
        views[name] = std::move(view);
    }
    const auto components = [&](const char *name, int wanted) -> const AccessorView * {
        const auto it = views.find(name);
        if (it == views.end()) return nullptr;
        if (it->second->components() != wanted)
            fail(where + ": instance " + name + " needs " + std::to_string(wanted) + " components");
        return it->second.get();
    };
    const AccessorView *translations = components("TRANSLATION", 3);
    const AccessorView *rotations = components("ROTATION", 4);
    const AccessorView *scales = components("SCALE", 3);
    const AccessorView *indices = components(kIndexAttribute, 1);
    std::vector<MeshPlacement> placements;
    placements.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
        ClonePlacement placement;
        if (translations) translations->read(i, placement.translation.data());
        if (rotations) rotations->read(i, placement.rotation.data());
        if (scales) scales->read(i, placement.scale.data());
        MeshPlacement out{to_matrix(placement), std::nullopt};
        for (const double v : out.matrix)
            if (!std::isfinite(v)) fail(where + ": instance " + std::to_string(i) + " has a transform that is not finite");
        if (indices) {
            float value = 0;
            indices->read(i, &value);
            out.clone_index = value;
        }
        placements.push_back(out);
    }
    return placements;
}

void add_clone_index(host::Layer &layer, uint32_t first_point, float value) {
    host::VertexMap &map = layer.add_vmap(SF_VMAP_WGHT, kIndexMap, 1);
    for (uint32_t point = first_point; point < layer.point_count(); ++point) map.set_value(point, &value);
}

}  // namespace detail

}  // namespace sowfield::io
