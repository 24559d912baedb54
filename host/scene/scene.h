// The stand-in host's scene: layers of points, polygons and vertex maps.
//
// Elements are addressed by their index within their layer. Storage grows in
// fixed-size blocks, so adding never moves what exists and never keeps more
// than one block of slack (a doubling array would briefly need three times
// the memory of a large result).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene/block_array.h"
#include "host/scene/block_pool.h"
#include "host/scene/surface_look.h"

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

// Copies `count` (1 to 4) values that a caller handed over, reading them one
// at a time. A caller that wrote them one at a time, as callers do, then has
// each read forwarded from its store; one wider read over several narrower
// stores waits until they reach the cache, which costs more than the rest of
// a vertex-map write. (volatile keeps the compiler from merging the reads.
// Inlined where a caller passes, say, a float[2] with count 2, the compiler
// sees the larger cases read past that array and warns, although the count
// rules them out.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
template <class T>
inline void read_each(const T *from, T *to, int count) {
    const volatile T *in = from;
    switch (count) {
        case 4: to[3] = in[3]; [[fallthrough]];
        case 3: to[2] = in[2]; [[fallthrough]];
        case 2: to[1] = in[1]; [[fallthrough]];
        default: to[0] = in[0];
    }
}
#pragma GCC diagnostic pop

// Values of one vertex map of one layer: `dimension` floats per point, or none.
// Points are grouped in blocks of kBlockPoints; a block holds one presence bit
// per point followed by the points' floats, so a point's floats are contiguous
// and a read or a write touches one block. A block is allocated when the
// first value of its points is written: a map with values on a few points of
// a large layer (a numbered morph map) costs only the blocks it uses.
class VertexMap {
public:
    VertexMap(uint32_t type, std::string name, int dimension);

    uint32_t type() const { return type_; }
    const std::string &name() const { return name_; }
    int dimension() const { return dimension_; }

    // Null when the point has no value in this map.
    const float *value(uint32_t point) const {
        const uint32_t b = point >> kBlockBits;
        const std::byte *block = b == hot_index_ ? hot_ : b < blocks_.size() ? blocks_[b].get() : nullptr;
        const uint32_t i = point & (kBlockPoints - 1);
        if (block == nullptr || ((bits(block)[i >> 6] >> (i & 63)) & 1u) == 0) return nullptr;
        return values(block) + size_t{i} * static_cast<size_t>(dimension_);
    }
    void set_value(uint32_t point, const float *source) {
        const uint32_t b = point >> kBlockBits;
        std::byte *block = b == hot_index_ ? hot_ : block_for_write(b);
        const uint32_t i = point & (kBlockPoints - 1);
        read_each(source, values(block) + size_t{i} * static_cast<size_t>(dimension_), dimension_);
        uint64_t &word = bits(block)[i >> 6];
        const uint64_t bit = uint64_t{1} << (i & 63);
        value_count_ += (word & bit) == 0;
        word |= bit;
    }
    void clear_value(uint32_t point);
    // Copies one value (`dimension` floats) from the map to `to`, at once.
    // Cases of fixed size: a loop of unknown length costs more than one to
    // four floats. (As for read_each, the compiler may warn about cases the
    // map's dimension rules out.)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
    void copy_value(const float *from, float *to) const {
        switch (dimension_) {
        case 1: std::memcpy(to, from, 1 * sizeof(float)); break;
        case 2: std::memcpy(to, from, 2 * sizeof(float)); break;
        case 3: std::memcpy(to, from, 3 * sizeof(float)); break;
        default: std::memcpy(to, from, 4 * sizeof(float)); break;
        }
    }
#pragma GCC diagnostic pop
    bool has_value(uint32_t point) const { return value(point) != nullptr; }

    // The values of the `count` points from `first`, `dimension` floats per
    // point one after the other, when those points share one block and all
    // have a value; null otherwise. Saves a reader of many neighbouring
    // points (a whole clone) the look-up per point.
    const float *run_of_values(uint32_t first, uint32_t count) const {
        const uint32_t b = first >> kBlockBits;
        const uint32_t i = first & (kBlockPoints - 1);
        if (count == 0 || i + count > kBlockPoints) return nullptr;
        const std::byte *block = b == hot_index_ ? hot_ : b < blocks_.size() ? blocks_[b].get() : nullptr;
        if (block == nullptr) return nullptr;
        for (uint32_t k = i; k < i + count;) {
            const uint32_t in_word = std::min<uint32_t>(64 - (k & 63), i + count - k);
            const uint64_t mask = in_word == 64 ? ~uint64_t{0} : ((uint64_t{1} << in_word) - 1) << (k & 63);
            if ((bits(block)[k >> 6] & mask) != mask) return nullptr;
            k += in_word;
        }
        return values(block) + size_t{i} * static_cast<size_t>(dimension_);
    }

    // Number of points that carry a value.
    uint64_t value_count() const { return value_count_; }

    // The storage of one block of a map of this dimension: the unit in which
    // a map grows (for estimates of memory).
    static constexpr uint64_t block_bytes(int dimension) {
        return kBitWords * sizeof(uint64_t) + uint64_t{kBlockPoints} * static_cast<uint64_t>(dimension) * sizeof(float);
    }

    // Forgets every value of points at and after `point_count` (rollback).
    void truncate(uint32_t point_count);

    static constexpr unsigned kBlockBits = 16;
    static constexpr uint32_t kBlockPoints = 1u << kBlockBits;

private:
    static constexpr size_t kBitWords = kBlockPoints / 64;

    static uint64_t *bits(std::byte *block) { return reinterpret_cast<uint64_t *>(block); }
    static const uint64_t *bits(const std::byte *block) { return reinterpret_cast<const uint64_t *>(block); }
    static float *values(std::byte *block) { return reinterpret_cast<float *>(block + kBitWords * sizeof(uint64_t)); }
    static const float *values(const std::byte *block) {
        return reinterpret_cast<const float *>(block + kBitWords * sizeof(uint64_t));
    }
    // The block that holds point block << kBlockBits, allocated when missing;
    // it becomes the hot block.
    std::byte *block_for_write(uint32_t block);

    uint32_t type_;
    std::string name_;
    int dimension_;
    // Null where no point of the block has ever had a value.
    std::vector<std::unique_ptr<std::byte[], block_pool::give_back>> blocks_;
    // The block written last, so that writes running through a block (and
    // reads of a small map) skip the search of blocks_.
    uint32_t hot_index_ = UINT32_MAX;
    std::byte *hot_ = nullptr;
    uint64_t value_count_ = 0;
};

class Layer {
public:
    explicit Layer(std::string layer_name = {});

    std::string name;
    // The name of the mesh the layer came from, where the file gave its mesh
    // a name of its own (glTF); writers that name a mesh use it, or `name`
    // when it is empty.
    std::string mesh_name;

    uint32_t point_count() const { return static_cast<uint32_t>(positions_.size()); }
    uint32_t polygon_count() const { return static_cast<uint32_t>(polygon_attrs_.size()); }

    uint32_t add_point(const Vec3 &position) {
        if (positions_.size() >= UINT32_MAX) [[unlikely]]
            too_many_points();
        positions_.push_back(position);
        return static_cast<uint32_t>(positions_.size() - 1);
    }
    const Vec3 &position(uint32_t point) const { return positions_[point]; }
    void set_position(uint32_t point, const Vec3 &position) { positions_[point] = position; }

    // Point indices must be below point_count(); throws std::out_of_range
    // otherwise. A layer holds up to kMaxPolygonTypes type codes, surface
    // indices below kMaxSurfaces, flags below kMaxFlags and polygons of up to
    // kMaxCorners points; throws std::invalid_argument beyond.
    uint32_t add_polygon(uint32_t type, std::span<const uint32_t> points, uint32_t surface = 0, uint32_t flags = 0);
    PolygonView polygon(uint32_t index) const;
    // The parts of polygon(index), each without building the whole view.
    uint32_t polygon_type(uint32_t index) const { return type_codes_[(polygon_attrs_[index] >> 8) & 0xFFu]; }
    uint32_t polygon_flags(uint32_t index) const { return polygon_attrs_[index] & 0xFFu; }
    uint32_t polygon_surface(uint32_t index) const { return polygon_attrs_[index] >> 16; }
    std::span<const uint32_t> polygon_points(uint32_t index) const {
        const uint64_t span = polygon_spans_[index];
        const size_t count = span & ((uint64_t{1} << kSizeBits) - 1);
        return {count ? &corners_[span >> kSizeBits] : nullptr, count};
    }
    void set_polygon_flags(uint32_t index, uint32_t flags);
    void set_polygon_surface(uint32_t index, uint32_t surface);

    static constexpr size_t kMaxPolygonTypes = 256;
    static constexpr uint32_t kMaxSurfaces = 1u << 16;
    static constexpr uint32_t kMaxFlags = 1u << 8;
    static constexpr size_t kMaxCorners = size_t{1} << 16;

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

    // The storage a layer of these counts takes, in the whole blocks its
    // arrays allocate (vertex maps apart: see VertexMap::block_bytes), so
    // that an estimate of memory need not know the layout.
    static uint64_t storage_bytes(uint64_t points, uint64_t polygons, uint64_t corners);

    // Capacity hints for a known final size; optional.
    void reserve(uint64_t points, uint64_t polygons, uint64_t polygon_corners);

private:
    uint32_t type_index(uint32_t type) {
        if (last_type_index_ < type_codes_.size() && type_codes_[last_type_index_] == type) [[likely]]
            return last_type_index_;
        return find_type_index(type);
    }
    uint32_t find_type_index(uint32_t type);
    [[noreturn]] void too_many_points() const;
    // Throws the exception that add_polygon's arguments call for.
    [[noreturn, gnu::cold]] void refuse_polygon(std::span<const uint32_t> points, uint32_t surface,
                                                uint32_t flags) const;

    // A polygon costs 12 bytes plus 4 per corner: its corner span packed in
    // one word and its flags, interned type and surface in another.
    static constexpr unsigned kSizeBits = 17;  // sizes up to kMaxCorners inclusive
    BlockArray<Vec3> positions_;
    BlockArray<uint64_t> polygon_spans_;   // first corner << kSizeBits | corner count
    BlockArray<uint32_t> polygon_attrs_;   // flags | type index << 8 | surface << 16
    BlockArray<uint32_t> corners_;
    static_assert(kMaxCorners <= decltype(corners_)::kBlock, "a polygon's corners must fit in one block");
    std::vector<uint32_t> type_codes_;     // interned polygon type codes
    uint32_t last_type_index_ = 0;
    std::vector<std::unique_ptr<VertexMap>> vmaps_;
};

// A surface's keepings: its look, and whether it came with normals (its
// polygons are then written with smooth normals, split at creases).
struct SurfaceKeeping {
    std::shared_ptr<const SurfaceLook> look;
    bool smooth = false;
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
    // Forgets the names at and after `count` (never "Default"; rollback).
    void truncate_surfaces(uint32_t count);

    // Empty for a surface no file described.
    const SurfaceKeeping &surface_keeping(uint32_t index) const { return keepings_[index]; }
    void set_surface_keeping(uint32_t index, SurfaceKeeping keeping) { keepings_[index] = std::move(keeping); }

private:
    std::vector<std::unique_ptr<Layer>> layers_;
    std::vector<std::string> surfaces_;
    std::vector<SurfaceKeeping> keepings_;  // one per surface name
};

}  // namespace sowfield::host
