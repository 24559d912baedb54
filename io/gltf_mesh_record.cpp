#include "io/gltf_mesh_record.h"

#include <limits>

#include "io/gltf_record.h"

namespace sowfield::io::detail {

namespace {

using tinygltf::Value;

constexpr uint64_t kMaxCount = uint64_t{1} << 53;

[[noreturn]] void fail_malformed(const LoadFailure &fail, const std::string &where, const std::string &what) {
    fail(where + ": malformed " + what + " record");
}

// A flat array of [first, second] pairs of whole numbers.
std::vector<Run> read_runs(const Value &value, const std::string &where, const char *what, const LoadFailure &fail) {
    std::vector<Run> out;
    if (!value.IsArray() || value.ArrayLen() % 2 != 0) fail_malformed(fail, where, what);
    for (size_t i = 0; i < value.ArrayLen(); i += 2) {
        Run run;
        if (!gltf::whole_number(value.Get(static_cast<int>(i)), kMaxCount, run.first) ||
            !gltf::whole_number(value.Get(static_cast<int>(i + 1)), kMaxCount, run.second))
            fail_malformed(fail, where, what);
        out.push_back(run);
    }
    return out;
}

MapRecord read_map_record(const Value &entry, const std::string &where, const LoadFailure &fail) {
    MapRecord map;
    if (!entry.IsObject() || !gltf::parse_type(entry.Get("type"), map.type) || !entry.Get("name").IsString())
        fail_malformed(fail, where, gltf::kMaps);
    map.name = entry.Get("name").Get<std::string>();
    if (entry.Get("attribute").IsString()) {
        map.attribute = entry.Get("attribute").Get<std::string>();
    } else {
        uint64_t target = 0;
        if (!gltf::whole_number(entry.Get("target"), std::numeric_limits<int>::max(), target))
            fail_malformed(fail, where, gltf::kMaps);
        map.target = static_cast<int>(target);
    }
    if (entry.Has("exact")) {
        if (!entry.Get("exact").IsString()) fail_malformed(fail, where, gltf::kMaps);
        map.exact = entry.Get("exact").Get<std::string>();
    }
    if (entry.Has("missing")) map.missing = read_runs(entry.Get("missing"), where, gltf::kMaps, fail);
    return map;
}

std::vector<std::pair<uint32_t, uint64_t>> read_polygon_types(const Value &types, const std::string &where,
                                                              const LoadFailure &fail) {
    if (!types.IsArray() || types.ArrayLen() % 2 != 0) fail_malformed(fail, where, gltf::kPolygonTypes);
    std::vector<std::pair<uint32_t, uint64_t>> out;
    for (size_t i = 0; i < types.ArrayLen(); i += 2) {
        uint32_t type = 0;
        uint64_t count = 0;
        if (!gltf::parse_type(types.Get(static_cast<int>(i)), type) ||
            !gltf::whole_number(types.Get(static_cast<int>(i + 1)), kMaxCount, count))
            fail_malformed(fail, where, gltf::kPolygonTypes);
        out.emplace_back(type, count);
    }
    return out;
}

// The record's version, checked: this reader knows versions 1 to the current.
uint64_t read_version(const Value &ours, const std::string &where, const LoadFailure &fail) {
    uint64_t version = 0;
    if (!gltf::whole_number(ours.Get(gltf::kVersion), kMaxCount, version)) fail_malformed(fail, where, gltf::kRecord);
    if (version < 1 || version > gltf::kRecordVersion)
        fail(where + ": the file was written by a later version (record version " + std::to_string(version) + ")");
    return version;
}

}  // namespace

MeshRecord read_mesh_record(const tinygltf::Mesh &mesh, const std::string &where, const LoadFailure &fail) {
    MeshRecord record;
    if (!mesh.extras.IsObject() || !mesh.extras.Get(gltf::kRecord).IsObject()) return record;
    const Value &ours = mesh.extras.Get(gltf::kRecord);
    const uint64_t version = read_version(ours, where, fail);
    record.present = true;
    record.flipped_uv = version >= 2;
    if (ours.Has(gltf::kSplitVertices)) {
        uint64_t split = 0;
        if (!gltf::whole_number(ours.Get(gltf::kSplitVertices), std::numeric_limits<int>::max(), split))
            fail_malformed(fail, where, gltf::kSplitVertices);
        record.split = static_cast<int>(split);
    }
    const Value &maps = ours.Get(gltf::kMaps);
    if (!maps.IsArray() && ours.Has(gltf::kMaps)) fail_malformed(fail, where, gltf::kMaps);
    for (size_t i = 0; i < maps.ArrayLen(); ++i)
        record.maps.push_back(read_map_record(maps.Get(static_cast<int>(i)), where, fail));
    if (ours.Has(gltf::kPolygonOrder))
        record.order = read_runs(ours.Get(gltf::kPolygonOrder), where, gltf::kPolygonOrder, fail);
    if (ours.Has(gltf::kPolygonTypes)) record.types = read_polygon_types(ours.Get(gltf::kPolygonTypes), where, fail);
    return record;
}

PrimitiveRecord read_primitive_record(const tinygltf::Primitive &primitive, const std::string &where,
                                      const LoadFailure &fail) {
    PrimitiveRecord record;
    if (!primitive.extras.IsObject() || !primitive.extras.Get(gltf::kRecord).IsObject()) return record;
    const Value &ours = primitive.extras.Get(gltf::kRecord);
    const Value &only = ours.Get(gltf::kPointsOnly);
    record.points_only = only.IsBool() && only.Get<bool>();
    if (ours.Has(gltf::kPolygonSizes))
        record.sizes = read_runs(ours.Get(gltf::kPolygonSizes), where, gltf::kPolygonSizes, fail);
    return record;
}

}  // namespace sowfield::io::detail
