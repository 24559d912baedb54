#include "cli/view/mesh_payload.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace sowfield::cli::view {
namespace {

constexpr uint32_t kNoVertex = std::numeric_limits<uint32_t>::max();

template <class T>
void append(std::string &out, const std::vector<T> &values) {
    const size_t at = out.size();
    out.resize(at + values.size() * sizeof(T));
    if (!values.empty()) std::memcpy(out.data() + at, values.data(), values.size() * sizeof(T));
}

uint64_t triangles_of(const host::Layer &layer, uint32_t polygon) {
    const size_t corners = layer.polygon_points(polygon).size();
    return corners >= 3 ? corners - 2 : 0;
}

// Gathers the vertices and triangles of one or more layers, numbering each
// layer's points as they are first used.
class MeshBuilder {
public:
    explicit MeshBuilder(const host::Vec3 &origin) : origin_(origin) {}

    void start_layer(const host::Layer &layer, const host::VertexMap *values) {
        layer_ = &layer;
        values_ = values;
        vertex_of_point_.assign(layer.point_count(), kNoVertex);
    }

    void add_polygon(uint32_t polygon) {
        const std::span<const uint32_t> corners = layer_->polygon_points(polygon);
        for (size_t c = 2; c < corners.size(); ++c) {
            indices_.push_back(vertex(corners[0]));
            indices_.push_back(vertex(corners[c - 1]));
            indices_.push_back(vertex(corners[c]));
        }
    }

    std::string finish() const {
        std::string out;
        const uint32_t header[2] = {static_cast<uint32_t>(values_out_.size()),
                                    static_cast<uint32_t>(indices_.size() / 3)};
        out.append(reinterpret_cast<const char *>(header), sizeof header);
        append(out, positions_);
        append(out, values_out_);
        append(out, indices_);
        return out;
    }

private:
    uint32_t vertex(uint32_t point) {
        uint32_t &vertex = vertex_of_point_[point];
        if (vertex != kNoVertex) return vertex;
        vertex = static_cast<uint32_t>(values_out_.size());
        const host::Vec3 &p = layer_->position(point);
        for (int axis = 0; axis < 3; ++axis) positions_.push_back(static_cast<float>(p[axis] - origin_[axis]));
        const float *value = values_ != nullptr ? values_->value(point) : nullptr;
        values_out_.push_back(value != nullptr ? value[0] : 0.0f);
        return vertex;
    }

    host::Vec3 origin_;
    const host::Layer *layer_ = nullptr;
    const host::VertexMap *values_ = nullptr;
    std::vector<uint32_t> vertex_of_point_;
    std::vector<float> positions_;
    std::vector<float> values_out_;
    std::vector<uint32_t> indices_;
};

}  // namespace

PolygonSelection sample_clones(const host::Layer &layer, uint32_t first_polygon, int64_t clones,
                               uint64_t triangle_budget) {
    PolygonSelection selection{first_polygon, layer.polygon_count(), 1, 1};
    const uint32_t added = selection.end - selection.first;
    if (clones > 0 && added % clones == 0) selection.group_size = static_cast<uint32_t>(added / clones);
    uint64_t triangles = 0;
    for (uint32_t p = selection.first; p < selection.end; ++p) triangles += triangles_of(layer, p);
    if (triangles > triangle_budget && triangle_budget > 0)
        selection.keep_every = static_cast<uint32_t>((triangles + triangle_budget - 1) / triangle_budget);
    return selection;
}

uint64_t groups_kept(const PolygonSelection &selection) {
    if (selection.group_size == 0 || selection.end <= selection.first) return 0;
    const uint64_t groups = (uint64_t{selection.end} - selection.first + selection.group_size - 1) / selection.group_size;
    return (groups + selection.keep_every - 1) / selection.keep_every;
}

std::string encode_mesh(const host::Layer &layer, const PolygonSelection &selection, const host::Vec3 &origin,
                        const host::VertexMap *values) {
    MeshBuilder builder(origin);
    builder.start_layer(layer, values);
    const uint64_t stride = uint64_t{selection.group_size} * selection.keep_every;
    for (uint64_t group = selection.first; group < selection.end; group += stride) {
        const uint64_t group_end = std::min<uint64_t>(group + selection.group_size, selection.end);
        for (uint64_t p = group; p < group_end; ++p) builder.add_polygon(static_cast<uint32_t>(p));
    }
    return builder.finish();
}

std::string encode_layers(const host::Scene &scene, const std::vector<size_t> &layers, const host::Vec3 &origin) {
    MeshBuilder builder(origin);
    for (const size_t index : layers) {
        const host::Layer &layer = scene.layer(index);
        builder.start_layer(layer, nullptr);
        for (uint32_t p = 0; p < layer.polygon_count(); ++p) builder.add_polygon(p);
    }
    return builder.finish();
}

}  // namespace sowfield::cli::view
