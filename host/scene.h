// The stand-in host's scene: layers of points, polygons and vertex maps.
//
// Elements are addressed by their index within their layer. Storage grows in
// fixed-size blocks, so adding never moves what exists and never keeps more
// than one block of slack (a doubling array would briefly need three times
// the memory of a large result).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/block_array.h"

namespace sowfield::host {

using Vec3 = std::array<double, 3>;

// One polygon as stored: its type code, flags word (bit 0 = selected),
// surface index (into the scene's surface names) and point indices.
struct PolygonView {
    uint32_t type = 0;
    uint32_t flags = 0;
    uint32_t surface = 0;
    std::span<const uint32_t> points;
};

// Values of one vertex map of one layer: `dimension` floats per point, or none.
class VertexMap {
public:
    VertexMap(uint32_t type, std::string name, int dimension);

    uint32_t type() const { return type_; }
    const std::string &name() const { return name_; }
    int dimension() const { return dimension_; }

    // Null when the point has no value in this map.
    const float *value(uint32_t point) const;
    void set_value(uint32_t point, const float *values);
    void clear_value(uint32_t point);
    bool has_value(uint32_t point) const { return value(point) != nullptr; }

    // Number of points that carry a value.
    uint64_t value_count() const { return value_count_; }

    // Forgets every value of points at and after `point_count` (rollback).
    void truncate(uint32_t point_count);

private:
    void grow_to(uint32_t point);

    uint32_t type_;
    std::string name_;
    int dimension_;
    BlockArray<float> values_;    // dimension_ floats per point, in point order
    BlockArray<uint8_t> present_; // 1 when the point carries a value
    uint64_t value_count_ = 0;
};

class Layer {
public:
    explicit Layer(std::string layer_name = {});

    std::string name;

    uint32_t point_count() const { return static_cast<uint32_t>(positions_.size()); }
    uint32_t polygon_count() const { return static_cast<uint32_t>(polygon_types_.size()); }

    uint32_t add_point(const Vec3 &position);
    const Vec3 &position(uint32_t point) const { return positions_[point]; }
    void set_position(uint32_t point, const Vec3 &position) { positions_[point] = position; }

    // Point indices must be below point_count(); throws std::out_of_range otherwise.
    uint32_t add_polygon(uint32_t type, std::span<const uint32_t> points, uint32_t surface = 0, uint32_t flags = 0);
    PolygonView polygon(uint32_t index) const;
    void set_polygon_flags(uint32_t index, uint32_t flags) { polygon_flags_[index] = flags; }
    void set_polygon_surface(uint32_t index, uint32_t surface) { polygon_surfaces_[index] = surface; }

    // Vertex maps in the order they were created.
    size_t vmap_count() const { return vmaps_.size(); }
    VertexMap &vmap(size_t index) { return *vmaps_[index]; }
    const VertexMap &vmap(size_t index) const { return *vmaps_[index]; }
    VertexMap *find_vmap(uint32_t type, std::string_view map_name);
    const VertexMap *find_vmap(uint32_t type, std::string_view map_name) const;
    // The map of this type and name, created with `dimension` when missing.
    // Throws std::invalid_argument when it exists with another dimension.
    VertexMap &add_vmap(uint32_t type, std::string_view map_name, int dimension);
    // Removes the maps at and after `count` (rollback of maps created later).
    void truncate_vmaps(size_t count);

    // Drops points and polygons at and after these counts, and their values.
    void truncate(uint32_t points, uint32_t polygons);

    // Capacity hints for a known final size; optional.
    void reserve(uint64_t points, uint64_t polygons, uint64_t polygon_corners);

private:
    BlockArray<Vec3> positions_;
    BlockArray<uint32_t> polygon_types_;
    BlockArray<uint32_t> polygon_flags_;
    BlockArray<uint32_t> polygon_surfaces_;
    BlockArray<uint64_t> polygon_starts_;  // index of polygon i's first corner
    BlockArray<uint32_t> polygon_sizes_;
    BlockArray<uint32_t> corners_;
    std::vector<std::unique_ptr<VertexMap>> vmaps_;
};

class Scene {
public:
    Scene();

    Layer &add_layer(std::string name);
    size_t layer_count() const { return layers_.size(); }
    Layer &layer(size_t index) { return *layers_[index]; }
    const Layer &layer(size_t index) const { return *layers_[index]; }

    // Layer indices of the foreground and background sets.
    std::vector<size_t> foreground;
    std::vector<size_t> background;

    // Surface names; index 0 is "Default". surface_index adds a new name.
    uint32_t surface_index(std::string_view surface_name);
    const std::string &surface_name(uint32_t index) const { return surfaces_[index]; }
    uint32_t surface_count() const { return static_cast<uint32_t>(surfaces_.size()); }

private:
    std::vector<std::unique_ptr<Layer>> layers_;
    std::vector<std::string> surfaces_;
};

}  // namespace sowfield::host
