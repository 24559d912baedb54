#include "io/gltf_polygons.h"

#include <algorithm>

#include "sowfield_host.h"

namespace sowfield::io::detail {

namespace {

uint64_t polygons_of_mode(int mode, uint64_t n) {
    switch (mode) {
    case TINYGLTF_MODE_POINTS: return n;
    case TINYGLTF_MODE_LINE: return n / 2;
    case TINYGLTF_MODE_LINE_LOOP: return n >= 2 ? n : 0;
    case TINYGLTF_MODE_LINE_STRIP: return n >= 2 ? n - 1 : 0;
    case TINYGLTF_MODE_TRIANGLES: return n / 3;
    default: return n >= 3 ? n - 2 : 0;  // strip, fan
    }
}

// The recorded polygon sizes replace the triangles they were fanned into.
void apply_recorded_sizes(PrimitivePolygons &polygons, const LoadFailure &fail) {
    const std::string &where = polygons.where;
    if (polygons.mode != TINYGLTF_MODE_TRIANGLES) fail(where + ": polygon sizes recorded for a non-triangle primitive");
    uint64_t triangles = 0;
    uint64_t count = 0;
    for (const Run &run : polygons.sizes) {
        if (run.first < 3 || run.first > host::Layer::kMaxCorners)
            fail(where + ": a recorded polygon size is out of range");
        triangles += (run.first - 2) * run.second;
        count += run.second;
    }
    if (triangles != polygons.total)
        fail(where + ": the recorded polygon sizes need " + std::to_string(triangles) + " triangles, but there are " +
             std::to_string(polygons.total));
    polygons.total = count;
}

// The layer's point of the primitive's `i`th index.
uint32_t vertex_at(const PrimitivePolygons &polygons, uint64_t i, const LoadFailure &fail) {
    const uint64_t vertex = polygons.indices ? polygons.indices->index(i) : i;
    const PointSet &points = *polygons.points;
    if (vertex >= points.vertex_count)
        fail(polygons.where + ": index " + std::to_string(i) + " refers to vertex " + std::to_string(vertex) +
             ", but only " + std::to_string(points.vertex_count) + " exist");
    if (vertex >= points.point_count) return points.base + points.split[vertex - points.point_count];
    return points.base + static_cast<uint32_t>(vertex);
}

// A recorded polygon: its fan's further triangles each add one corner.
void extend_recorded_polygon(PrimitivePolygons &polygons, std::vector<uint32_t> &out, const LoadFailure &fail) {
    const auto at = [&](uint64_t i) { return vertex_at(polygons, i, fail); };
    const uint64_t size = polygons.sizes[polygons.run].first;
    for (uint64_t k = 3; k < size; ++k) {
        const uint64_t t = polygons.next_index;
        if (at(t) != out[0] || at(t + 1) != out.back())
            fail(polygons.where + ": the recorded polygon sizes do not match the triangles");
        out.push_back(at(t + 2));
        polygons.next_index += 3;
    }
    if (++polygons.run_used == polygons.sizes[polygons.run].second) {
        ++polygons.run;
        polygons.run_used = 0;
    }
}

// The next polygon of a primitive into `out`.
void next_polygon(PrimitivePolygons &polygons, std::vector<uint32_t> &out, const LoadFailure &fail) {
    const auto at = [&](uint64_t i) { return vertex_at(polygons, i, fail); };
    out.clear();
    const uint64_t i = polygons.next_index;
    switch (polygons.mode) {
    case TINYGLTF_MODE_POINTS:
        out.push_back(at(i));
        polygons.next_index += 1;
        return;
    case TINYGLTF_MODE_LINE:
        out = {at(i), at(i + 1)};
        polygons.next_index += 2;
        return;
    case TINYGLTF_MODE_LINE_STRIP:
        out = {at(i), at(i + 1)};
        polygons.next_index += 1;
        return;
    case TINYGLTF_MODE_LINE_LOOP:
        out = {at(i), at((i + 1) % polygons.index_count)};
        polygons.next_index += 1;
        return;
    case TINYGLTF_MODE_TRIANGLE_STRIP:  // winding alternates
        out = {at(i), at(i + 1 + i % 2), at(i + 2 - i % 2)};
        polygons.next_index += 1;
        return;
    case TINYGLTF_MODE_TRIANGLE_FAN:
        out = {at(i + 1), at(i + 2), at(0)};
        polygons.next_index += 1;
        return;
    default: break;
    }
    out = {at(i), at(i + 1), at(i + 2)};
    polygons.next_index += 3;
    if (!polygons.sizes.empty()) extend_recorded_polygon(polygons, out, fail);
}

// The runs of [primitive, count] in layer order: the recorded order, checked
// to take every polygon of every primitive once, or primitive by primitive.
std::vector<Run> polygon_order(const std::vector<PrimitivePolygons> &primitives, const MeshRecord &record,
                               const std::string &where, const LoadFailure &fail, uint64_t &total) {
    std::vector<Run> order = record.order;
    if (order.empty())
        for (size_t p = 0; p < primitives.size(); ++p) order.emplace_back(p, primitives[p].total);
    total = 0;
    std::vector<uint64_t> taken(primitives.size(), 0);
    for (const Run &run : order) {
        if (run.first >= primitives.size() || run.second > primitives[run.first].total - taken[run.first])
            fail(where + ": the recorded polygon order does not match the primitives");
        taken[run.first] += run.second;
        total += run.second;
    }
    for (size_t p = 0; p < primitives.size(); ++p)
        if (taken[p] != primitives[p].total) fail(where + ": the recorded polygon order does not match the primitives");
    return order;
}

// The recorded polygon types, one after another (faces without a record).
class PolygonTypes {
public:
    PolygonTypes(const MeshRecord &record, uint64_t polygon_count, const std::string &where, const LoadFailure &fail)
        : types_(record.types) {
        uint64_t typed = 0;
        for (const auto &[type, count] : types_) typed += count;
        if (!types_.empty() && typed != polygon_count)
            fail(where + ": the recorded polygon types do not match the polygons");
    }

    uint32_t next() {
        if (types_.empty()) return SF_POLY_FACE;
        while (used_ == types_[run_].second) {
            ++run_;
            used_ = 0;
        }
        ++used_;
        return types_[run_].first;
    }

private:
    const std::vector<std::pair<uint32_t, uint64_t>> &types_;
    size_t run_ = 0;
    uint64_t used_ = 0;
};

}  // namespace

int primitive_mode(const tinygltf::Primitive &primitive, const std::string &where, const LoadFailure &fail) {
    const int mode = primitive.mode < 0 ? TINYGLTF_MODE_TRIANGLES : primitive.mode;
    if (mode > TINYGLTF_MODE_TRIANGLE_FAN) fail(where + ": unknown mode " + std::to_string(primitive.mode));
    return mode;
}

void count_polygons(PrimitivePolygons &polygons, const tinygltf::Model &model, const LoadFailure &fail) {
    const tinygltf::Primitive &primitive = *polygons.primitive;
    const std::string &where = polygons.where;
    if (primitive.indices >= 0) {
        polygons.indices = std::make_unique<AccessorView>(model, primitive.indices, where + " indices", fail);
        if (polygons.indices->components() != 1) fail(where + ": indices must be scalars");
        polygons.index_count = polygons.indices->count();
    } else {
        polygons.index_count = polygons.points->vertex_count;
    }
    polygons.total = polygons_of_mode(polygons.mode, polygons.index_count);
    if (!polygons.sizes.empty()) apply_recorded_sizes(polygons, fail);
}

void add_polygons(std::vector<PrimitivePolygons> &primitives, const MeshRecord &record, bool mirrored,
                  const std::string &where, host::Layer &layer, const LoadFailure &fail) {
    uint64_t total = 0;
    const std::vector<Run> order = polygon_order(primitives, record, where, fail, total);
    PolygonTypes types(record, total, where, fail);
    std::vector<uint32_t> corners;
    for (const Run &run : order) {
        PrimitivePolygons &polygons = primitives[run.first];
        for (uint64_t k = 0; k < run.second; ++k) {
            next_polygon(polygons, corners, fail);
            const uint32_t type = types.next();
            // Keep the first corner first: a recorded fan still starts there.
            if (mirrored && corners.size() > 2) std::reverse(corners.begin() + 1, corners.end());
            layer.add_polygon(type, corners, polygons.surface, SF_POLY_SELECTED);
        }
    }
}

}  // namespace sowfield::io::detail
