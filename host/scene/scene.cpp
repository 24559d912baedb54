#include "host/scene/scene.h"

#include <bit>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace sowfield::host {

// ---------------------------------------------------------------- VertexMap

VertexMap::VertexMap(uint32_t type, std::string name, int dimension)
    : type_(type), name_(std::move(name)), dimension_(dimension) {
    if (dimension < 1 || dimension > 4) throw std::invalid_argument("vertex map \"" + name_ + "\": dimension must be 1 to 4");
}

std::byte *VertexMap::block_for_write(uint32_t block) {
    if (block >= blocks_.size()) blocks_.resize(size_t{block} + 1);
    if (blocks_[block] == nullptr) {
        const size_t bytes =
            kBitWords * sizeof(uint64_t) + size_t{kBlockPoints} * static_cast<size_t>(dimension_) * sizeof(float);
        // Only the presence bits need a known state; a value is written
        // before its bit is set.
        blocks_[block] = {static_cast<std::byte *>(block_pool::take(bytes)), block_pool::give_back{bytes}};
        std::memset(blocks_[block].get(), 0, kBitWords * sizeof(uint64_t));
    }
    hot_index_ = block;
    hot_ = blocks_[block].get();
    return hot_;
}

void VertexMap::clear_value(uint32_t point) {
    const size_t b = point >> kBlockBits;
    if (b >= blocks_.size() || blocks_[b] == nullptr) return;
    const uint32_t i = point & (kBlockPoints - 1);
    uint64_t &word = bits(blocks_[b].get())[i >> 6];
    const uint64_t bit = uint64_t{1} << (i & 63);
    if ((word & bit) == 0) return;
    word &= ~bit;
    --value_count_;
}

void VertexMap::truncate(uint32_t point_count) {
    const size_t keep = (size_t{point_count} + kBlockPoints - 1) >> kBlockBits;
    for (size_t b = keep; b < blocks_.size(); ++b) {
        if (blocks_[b] == nullptr) continue;
        const uint64_t *words = bits(blocks_[b].get());
        for (size_t w = 0; w < kBitWords; ++w) value_count_ -= static_cast<uint64_t>(std::popcount(words[w]));
    }
    if (keep < blocks_.size()) blocks_.resize(keep);
    if (hot_index_ >= keep) {
        hot_index_ = UINT32_MAX;
        hot_ = nullptr;
    }
    // The kept block that holds the first forgotten point: clear its bits
    // from that point on.
    const uint32_t first = point_count & (kBlockPoints - 1);
    if (first == 0 || keep == 0 || blocks_[keep - 1] == nullptr) return;
    uint64_t *words = bits(blocks_[keep - 1].get());
    for (size_t w = first >> 6; w < kBitWords; ++w) {
        const uint64_t forget = w == (first >> 6) ? ~uint64_t{0} << (first & 63) : ~uint64_t{0};
        value_count_ -= static_cast<uint64_t>(std::popcount(words[w] & forget));
        words[w] &= ~forget;
    }
}

// -------------------------------------------------------------------- Layer

Layer::Layer(std::string layer_name) : name(std::move(layer_name)) {}

void Layer::too_many_points() const { throw std::length_error("layer \"" + name + "\": too many points"); }

uint32_t Layer::find_type_index(uint32_t type) {
    for (uint32_t i = 0; i < type_codes_.size(); ++i)
        if (type_codes_[i] == type) return last_type_index_ = i;
    if (type_codes_.size() >= kMaxPolygonTypes)
        throw std::invalid_argument("layer \"" + name + "\": too many polygon types");
    type_codes_.push_back(type);
    return last_type_index_ = static_cast<uint32_t>(type_codes_.size() - 1);
}

uint32_t Layer::add_polygon(uint32_t type, std::span<const uint32_t> points, uint32_t surface, uint32_t flags) {
    const uint32_t limit = point_count();
    for (uint32_t p : points)
        if (p >= limit) [[unlikely]]
            refuse_polygon(points, surface, flags);
    if (polygon_attrs_.size() >= UINT32_MAX || points.size() > kMaxCorners || surface >= kMaxSurfaces ||
        flags >= kMaxFlags) [[unlikely]]
        refuse_polygon(points, surface, flags);
    const uint32_t type_slot = type_index(type);
    // A polygon's corners stay within one block; the padding that may precede
    // them is why each polygon records its own start.
    const uint64_t start = corners_.append_contiguous(points.data(), points.size());
    polygon_spans_.push_back(start << kSizeBits | points.size());
    polygon_attrs_.push_back(flags | type_slot << 8 | surface << 16);
    return static_cast<uint32_t>(polygon_attrs_.size() - 1);
}

void Layer::refuse_polygon(std::span<const uint32_t> points, uint32_t surface, uint32_t flags) const {
    for (uint32_t p : points)
        if (p >= point_count()) throw std::out_of_range("layer \"" + name + "\": polygon refers to a missing point");
    if (polygon_attrs_.size() >= UINT32_MAX) throw std::length_error("layer \"" + name + "\": too many polygons");
    if (points.size() > kMaxCorners) throw std::invalid_argument("layer \"" + name + "\": polygon too large");
    if (surface >= kMaxSurfaces) throw std::invalid_argument("layer \"" + name + "\": surface index too large");
    throw std::invalid_argument("layer \"" + name + "\": unknown polygon flags " + std::to_string(flags));
}

PolygonView Layer::polygon(uint32_t index) const {
    return {polygon_type(index), polygon_flags(index), polygon_surface(index), polygon_points(index)};
}

void Layer::set_polygon_flags(uint32_t index, uint32_t flags) {
    if (flags >= kMaxFlags) throw std::invalid_argument("layer \"" + name + "\": unknown polygon flags");
    polygon_attrs_[index] = (polygon_attrs_[index] & ~0xFFu) | flags;
}

void Layer::set_polygon_surface(uint32_t index, uint32_t surface) {
    if (surface >= kMaxSurfaces) throw std::invalid_argument("layer \"" + name + "\": surface index too large");
    polygon_attrs_[index] = (polygon_attrs_[index] & 0xFFFFu) | surface << 16;
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
        corners_.shrink(polygon_spans_[polygons] >> kSizeBits);
        polygon_spans_.shrink(polygons);
        polygon_attrs_.shrink(polygons);
    }
    if (points < point_count()) positions_.shrink(points);
    for (auto &m : vmaps_) m->truncate(points);
}

void Layer::reserve(uint64_t points, uint64_t polygons, uint64_t polygon_corners) {
    positions_.reserve_blocks(points);
    polygon_spans_.reserve_blocks(polygons);
    polygon_attrs_.reserve_blocks(polygons);
    corners_.reserve_blocks(polygon_corners);
}

// -------------------------------------------------------------------- Scene

namespace {

// Whole blocks of an array of `count` elements.
template <class Array>
uint64_t blocks_of(uint64_t count) {
    constexpr uint64_t block = Array::kBlock;
    return (count + block - 1) / block * block * sizeof(decltype(std::declval<Array &>()[0]));
}

}  // namespace

uint64_t Layer::storage_bytes(uint64_t points, uint64_t polygons, uint64_t corners) {
    return blocks_of<decltype(positions_)>(points) + blocks_of<decltype(polygon_spans_)>(polygons) +
           blocks_of<decltype(polygon_attrs_)>(polygons) + blocks_of<decltype(corners_)>(corners);
}

Scene::Scene() {
    surfaces_.emplace_back("Default");
    keepings_.emplace_back();
}

Layer &Scene::add_layer(std::string name) {
    layers_.push_back(std::make_unique<Layer>(std::move(name)));
    return *layers_.back();
}

uint32_t Scene::surface_index(std::string_view surface_name) {
    for (uint32_t i = 0; i < surfaces_.size(); ++i)
        if (surfaces_[i] == surface_name) return i;
    surfaces_.emplace_back(surface_name);
    keepings_.emplace_back();
    return static_cast<uint32_t>(surfaces_.size() - 1);
}

void Scene::truncate_surfaces(uint32_t count) {
    if (count < 1) count = 1;
    if (count < surfaces_.size()) surfaces_.resize(count);
    if (count < keepings_.size()) keepings_.resize(count);
}

}  // namespace sowfield::host
