#include "io/gltf_points.h"

#include <cmath>
#include <limits>
#include <map>

#include "io/gltf_record.h"
#include "sowfield_host.h"

namespace sowfield::io::detail {

using tinygltf::Value;

PointSet PointReader::add_points(const tinygltf::Mesh &mesh, const tinygltf::Primitive &primitive,
                                 const MeshRecord &record, const std::string &where) {
    const PointSet set = add_positions(primitive, record, where);
    if (record.present) {
        add_recorded_maps(primitive, record, set, where);
    } else {
        add_attribute_maps(primitive, set, where);
        add_morph_maps(mesh, primitive, set, where);
    }
    return set;
}

// Our record's further vertices: each repeats one of the `point_count`
// points before them.
std::vector<uint32_t> PointReader::split_points(const MeshRecord &record, uint64_t vertex_count, uint64_t &point_count,
                                                const std::string &where) const {
    point_count = vertex_count;
    if (record.split < 0) return {};
    const AccessorView view(model_, record.split, where + " split vertices", fail_);
    if (view.components() != 1 || view.count() > vertex_count) fail_(where + ": malformed split vertices");
    point_count = vertex_count - view.count();
    std::vector<uint32_t> split(view.count());
    for (size_t i = 0; i < split.size(); ++i) {
        split[i] = view.index(i);
        if (split[i] >= point_count) fail_(where + ": a split vertex repeats a point that does not exist");
    }
    return split;
}

PointSet PointReader::add_positions(const tinygltf::Primitive &primitive, const MeshRecord &record,
                                    const std::string &where) {
    const auto position_slot = primitive.attributes.find("POSITION");
    if (position_slot == primitive.attributes.end()) fail_(where + " has no POSITION attribute");
    const AccessorView positions(model_, position_slot->second, where + " POSITION", fail_);
    if (positions.components() != 3) fail_(where + ": POSITION must have three components");
    PointSet set;
    set.vertex_count = positions.count();
    set.split = split_points(record, set.vertex_count, set.point_count, where);
    const uint64_t count = set.point_count;
    if (count > uint64_t{std::numeric_limits<uint32_t>::max()} - layer_.point_count())
        fail_(where + ": too many vertices");
    const auto base = static_cast<uint32_t>(layer_.point_count());
    set.base = base;
    const bool moved = world_ != kIdentity;
    layer_.reserve(uint64_t{base} + count, 0, 0);
    for (size_t v = 0; v < count; ++v) {
        float xyz[3];
        positions.read(v, xyz);
        host::Vec3 p{xyz[0], xyz[1], xyz[2]};
        if (moved) p = transform_point(world_, p);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            fail_(where + ": vertex " + std::to_string(v) + " has a coordinate that is not finite");
        layer_.add_point(p);
    }
    return set;
}

// Every map our record lists, from the attribute or morph target it names.
void PointReader::add_recorded_maps(const tinygltf::Primitive &primitive, const MeshRecord &record, const PointSet &set,
                                    const std::string &where) {
    for (const MapRecord &map : record.maps) {
        int accessor = -1;
        bool flip_v = false;
        if (!map.attribute.empty()) {
            const std::string &attribute = map.exact.empty() ? map.attribute : map.exact;
            const auto slot = primitive.attributes.find(attribute);
            if (slot == primitive.attributes.end())
                fail_(where + " lacks the attribute " + attribute + " of vertex map \"" + map.name + "\"");
            accessor = slot->second;
            flip_v = map.exact.empty() && record.flipped_uv && map.attribute.rfind("TEXCOORD_", 0) == 0;
        } else {
            const auto target = static_cast<size_t>(map.target);
            const auto slot = target < primitive.targets.size() ? primitive.targets[target].find("POSITION")
                                                                : std::map<std::string, int>::const_iterator{};
            if (target >= primitive.targets.size() || slot == primitive.targets[target].end())
                fail_(where + " lacks morph target " + std::to_string(map.target) + " of vertex map \"" + map.name +
                      "\"");
            accessor = slot->second;
        }
        add_values(map.type, map.name, accessor, set, map.missing, true, flip_v, world_, where);
    }
}

// A file from elsewhere: UV maps from TEXCOORD_n, colours from COLOR_n, and
// application-specific attributes as weight maps or kept as they came.
void PointReader::add_attribute_maps(const tinygltf::Primitive &primitive, const PointSet &set,
                                     const std::string &where) {
    for (const auto &[attribute, accessor] : primitive.attributes) {
        if (attribute.rfind("TEXCOORD_", 0) == 0) {
            const std::string n = attribute.substr(9);
            add_values(SF_VMAP_TXUV, n == "0" ? std::string("UV") : "UV" + n, accessor, set, {}, false, true, world_,
                       where);
        } else if (attribute.rfind("COLOR_", 0) == 0) {
            add_values(gltf::kColorType, attribute, accessor, set, {}, true, false, kIdentity, where);
        } else if (attribute.rfind('_', 0) == 0 && plain_elements(accessor)) {
            const AccessorView values(model_, accessor, where + " attribute " + attribute, fail_);
            const std::string weight = gltf::weight_map_name(attribute);
            if (!weight.empty() && gltf::weight_like(values.components(), values.component_type(), values.normalized()))
                add_values(SF_VMAP_WGHT, weight, accessor, set, {}, true, false, kIdentity, where);
            else
                add_values(gltf::kAttributeType, attribute, accessor, set, {}, true, false, kIdentity, where);
        }
    }
}

// A file from elsewhere: morph maps from the morph targets' positions, named
// after the mesh's "targetNames" where it gives them.
void PointReader::add_morph_maps(const tinygltf::Mesh &mesh, const tinygltf::Primitive &primitive, const PointSet &set,
                                 const std::string &where) {
    const Value &names = mesh.extras.IsObject() ? mesh.extras.Get(gltf::kTargetNames) : Value();
    for (size_t t = 0; t < primitive.targets.size(); ++t) {
        const auto slot = primitive.targets[t].find("POSITION");
        if (slot == primitive.targets[t].end()) continue;
        const Value &name = names.IsArray() ? names.Get(static_cast<int>(t)) : Value();
        add_values(SF_VMAP_MORF, name.IsString() ? name.Get<std::string>() : "Morph " + std::to_string(t), slot->second,
                   set, {}, false, false, world_, where);
    }
}

// True for an accessor of scalars or vectors (matrices are not kept).
bool PointReader::plain_elements(int accessor) const {
    if (accessor < 0 || static_cast<size_t>(accessor) >= model_.accessors.size()) return true;  // reported later
    const int type = model_.accessors[static_cast<size_t>(accessor)].type;
    return type == TINYGLTF_TYPE_SCALAR || type == TINYGLTF_TYPE_VEC2 || type == TINYGLTF_TYPE_VEC3 ||
           type == TINYGLTF_TYPE_VEC4;
}

// Spots are positions and morphs displacements: both follow the node (a
// placed clone's spots stay as they are).
void PointReader::follow_node(uint32_t type, const Matrix &world, float *value) const {
    if (type == SF_VMAP_SPOT && !placing_clones_) {
        const host::Vec3 p = transform_point(world, {value[0], value[1], value[2]});
        for (size_t c = 0; c < 3; ++c) value[c] = static_cast<float>(p[c]);
    } else if (type == SF_VMAP_MORF) {
        const host::Vec3 d = transform_vector(world, {value[0], value[1], value[2]});
        for (size_t c = 0; c < 3; ++c) value[c] = static_cast<float>(d[c]);
    }
}

void PointReader::add_values(uint32_t type, const std::string &name, int accessor, const PointSet &set,
                             const std::vector<Run> &missing, bool recorded, bool flip_v, const Matrix &world,
                             const std::string &where) {
    const std::string what = where + " vertex map \"" + name + "\"";
    const AccessorView values(model_, accessor, what, fail_);
    if (values.count() != set.vertex_count)
        fail_(what + ": " + std::to_string(values.count()) + " values for " + std::to_string(set.vertex_count) +
              " vertices");
    const uint64_t count = set.point_count;
    const uint32_t base = set.base;
    // The format fixes the shape of texture coordinates and morph
    // targets; our own record may carry any map of 1 to 4 values.
    const int dimension = values.components();
    if (type == SF_VMAP_TXUV && dimension != 2 && !recorded) fail_(what + ": texture coordinates need two components");
    if (type == SF_VMAP_MORF && dimension != 3 && !recorded) fail_(what + ": a morph target needs three components");
    if (flip_v && dimension != 2) fail_(what + ": texture coordinates need two components");
    host::VertexMap &map = layer_.add_vmap(type, name, dimension);
    const bool moved = world != kIdentity && dimension == 3;
    uint64_t previous_end = 0;
    size_t run = 0;
    for (uint64_t v = 0; v < count; ++v) {
        if (run < missing.size() && v == missing[run].first) {
            const Run &skip = missing[run];
            if (skip.first < previous_end || skip.second == 0 || skip.second > count - skip.first)
                fail_(what + ": malformed missing-value runs");
            previous_end = skip.first + skip.second;
            v = previous_end - 1;
            ++run;
            continue;
        }
        float value[4];
        values.read(v, value);
        if (flip_v) value[1] = 1.0f - value[1];
        if (moved) follow_node(type, world, value);
        for (int c = 0; c < dimension; ++c)
            if (!std::isfinite(value[c]))
                fail_(what + ": vertex " + std::to_string(v) + " has a value that is not finite");
        map.set_value(static_cast<uint32_t>(base + v), value);
    }
    if (run < missing.size()) fail_(what + ": malformed missing-value runs");
}

}  // namespace sowfield::io::detail
