#include "host/scene.h"

#include <cstring>
#include <stdexcept>

namespace sowfield::host {

// ---------------------------------------------------------------- VertexMap

VertexMap::VertexMap(uint32_t type, std::string name, int dimension)
    : type_(type), name_(std::move(name)), dimension_(dimension) {
    if (dimension < 1 || dimension > 4) throw std::invalid_argument("vertex map \"" + name_ + "\": dimension must be 1 to 4");
}

void VertexMap::grow_to(uint32_t point) {
    if (point < present_.size()) return;
    present_.resize(size_t{point} + 1, 0);
    values_.resize((size_t{point} + 1) * static_cast<size_t>(dimension_), 0.0f);
}

const float *VertexMap::value(uint32_t point) const {
    if (point >= present_.size() || !present_[point]) return nullptr;
    return &values_[size_t{point} * static_cast<size_t>(dimension_)];
}

void VertexMap::set_value(uint32_t point, const float *values) {
    grow_to(point);
    float *out = &values_[size_t{point} * static_cast<size_t>(dimension_)];
    std::memcpy(out, values, sizeof(float) * static_cast<size_t>(dimension_));
    if (!present_[point]) {
        present_[point] = 1;
        ++value_count_;
    }
}

void VertexMap::clear_value(uint32_t point) {
    if (point >= present_.size() || !present_[point]) return;
    present_[point] = 0;
    --value_count_;
}

void VertexMap::truncate(uint32_t point_count) {
    for (size_t p = point_count; p < present_.size(); ++p)
        if (present_[p]) --value_count_;
    present_.shrink(point_count);
    values_.shrink(size_t{point_count} * static_cast<size_t>(dimension_));
}

// -------------------------------------------------------------------- Layer

Layer::Layer(std::string layer_name) : name(std::move(layer_name)) {}

uint32_t Layer::add_point(const Vec3 &position) {
    if (positions_.size() >= UINT32_MAX) throw std::length_error("layer \"" + name + "\": too many points");
    positions_.push_back(position);
    return static_cast<uint32_t>(positions_.size() - 1);
}

uint32_t Layer::add_polygon(uint32_t type, std::span<const uint32_t> points, uint32_t surface, uint32_t flags) {
    for (uint32_t p : points)
        if (p >= point_count()) throw std::out_of_range("layer \"" + name + "\": polygon refers to a missing point");
    if (polygon_types_.size() >= UINT32_MAX) throw std::length_error("layer \"" + name + "\": too many polygons");
    if (points.size() > decltype(corners_)::kBlock) throw std::length_error("layer \"" + name + "\": polygon too large");
    // A polygon's corners stay within one block; the padding that may precede
    // them is why each polygon records its own start and size.
    polygon_starts_.push_back(corners_.append_contiguous(points.data(), points.size()));
    polygon_sizes_.push_back(static_cast<uint32_t>(points.size()));
    polygon_types_.push_back(type);
    polygon_flags_.push_back(flags);
    polygon_surfaces_.push_back(surface);
    return static_cast<uint32_t>(polygon_types_.size() - 1);
}

PolygonView Layer::polygon(uint32_t index) const {
    const uint64_t start = polygon_starts_[index];
    const size_t count = polygon_sizes_[index];
    return {polygon_types_[index], polygon_flags_[index], polygon_surfaces_[index],
            std::span<const uint32_t>(count ? &corners_[start] : nullptr, count)};
}

VertexMap *Layer::find_vmap(uint32_t type, std::string_view map_name) {
    for (auto &m : vmaps_)
        if (m->type() == type && m->name() == map_name) return m.get();
    return nullptr;
}

const VertexMap *Layer::find_vmap(uint32_t type, std::string_view map_name) const {
    for (const auto &m : vmaps_)
        if (m->type() == type && m->name() == map_name) return m.get();
    return nullptr;
}

VertexMap &Layer::add_vmap(uint32_t type, std::string_view map_name, int dimension) {
    if (VertexMap *existing = find_vmap(type, map_name)) {
        if (existing->dimension() != dimension)
            throw std::invalid_argument("vertex map \"" + std::string(map_name) + "\" exists with another dimension");
        return *existing;
    }
    vmaps_.push_back(std::make_unique<VertexMap>(type, std::string(map_name), dimension));
    return *vmaps_.back();
}

void Layer::truncate_vmaps(size_t count) {
    if (count < vmaps_.size()) vmaps_.resize(count);
}

void Layer::truncate(uint32_t points, uint32_t polygons) {
    if (polygons < polygon_count()) {
        corners_.shrink(polygon_starts_[polygons]);
        polygon_starts_.shrink(polygons);
        polygon_sizes_.shrink(polygons);
        polygon_types_.shrink(polygons);
        polygon_flags_.shrink(polygons);
        polygon_surfaces_.shrink(polygons);
    }
    if (points < point_count()) positions_.shrink(points);
    for (auto &m : vmaps_) m->truncate(points);
}

void Layer::reserve(uint64_t points, uint64_t polygons, uint64_t polygon_corners) {
    positions_.reserve_blocks(points);
    polygon_types_.reserve_blocks(polygons);
    polygon_flags_.reserve_blocks(polygons);
    polygon_surfaces_.reserve_blocks(polygons);
    polygon_starts_.reserve_blocks(polygons);
    polygon_sizes_.reserve_blocks(polygons);
    corners_.reserve_blocks(polygon_corners);
}

// -------------------------------------------------------------------- Scene

Scene::Scene() { surfaces_.emplace_back("Default"); }

Layer &Scene::add_layer(std::string name) {
    layers_.push_back(std::make_unique<Layer>(std::move(name)));
    return *layers_.back();
}

uint32_t Scene::surface_index(std::string_view surface_name) {
    for (uint32_t i = 0; i < surfaces_.size(); ++i)
        if (surfaces_[i] == surface_name) return i;
    surfaces_.emplace_back(surface_name);
    return static_cast<uint32_t>(surfaces_.size() - 1);
}

}  // namespace sowfield::host
