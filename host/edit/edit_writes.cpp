// The session's write operations: points, polygons and vertex-map values, all
// into the first foreground layer (values into the point's own layer).
#include "host/edit/edit_session.h"

#include <cstring>
#include <string>

#include "host/edit/session_call.h"

namespace sowfield::host {

namespace {

std::string type_text(uint32_t type) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((type >> (24 - 8 * i)) & 0xFFu);
        text[static_cast<size_t>(i)] = c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

}  // namespace

void EditSession::bind_writes() {
    record_.add_point = &SessionCall<&EditSession::op_add_point>::call;
    record_.set_point_vmap = &SessionCall<&EditSession::op_set_point_vmap>::call;
    record_.add_polygon = &SessionCall<&EditSession::op_add_polygon>::call;
}

// Each operation's common path stays short and is inlined into its C entry
// point (always_inline: the compiler's own choice flipped with small edits);
// what it refuses is described by the cold functions at the end of the file,
// so that building a message never weighs on a call that succeeds.

[[gnu::always_inline]] inline sf_point_id EditSession::op_add_point(const double position[3]) {
    if (!usable("add_point")) return nullptr;
    if (position == nullptr) [[unlikely]]
        return refuse_null_position();
    if (scene_.foreground.empty()) return nullptr;  // nowhere to add: refused, not misuse
    if (stats_.points_added >= point_limit_) [[unlikely]]
        return nullptr;
    const uint32_t layer = static_cast<uint32_t>(scene_.foreground.front());
    Vec3 at;
    read_each(position, at.data(), 3);
    const uint32_t index = layers_[layer]->add_point(at);
    ++stats_.points_added;
    return point_id(layer, index);
}

[[gnu::always_inline]] inline int32_t EditSession::op_set_point_vmap(sf_point_id point, uint32_t type,
                                                                    const char *name, int32_t dimension,
                                                                    const float *values) {
    ElementRef ref;
    if (!usable("set_point_vmap") || !resolve(point, "set_point_vmap", ref)) return 0;
    if (name == nullptr || values == nullptr || dimension < 1 || dimension > 4) [[unlikely]]
        return refuse_value(type, name, dimension, values);
    VertexMap *map = write_cache_.find(ref.layer, type, name);
    if (map == nullptr) [[unlikely]]
        map = &write_map(ref.layer, type, name, dimension);
    if (map->dimension() != dimension) [[unlikely]]
        return refuse_dimension(*map, type, name, dimension);
    // A point from before the session keeps its old value for rollback.
    if (ref.index < marks_[ref.layer].points) [[unlikely]]
        keep_for_undo(*map, ref.index);
    map->set_value(ref.index, values);
    ++stats_.values_written;
    return 1;
}

VertexMap &EditSession::write_map(uint32_t layer_index, uint32_t type, const char *name, int32_t dimension) {
    Layer &layer = *layers_[layer_index];
    VertexMap *map = layer.find_vmap(type, name);
    if (map == nullptr) {
        map = &layer.add_vmap(type, name, dimension);
        select_cache_.invalidate();  // a cached selection may lack this layer's new map
    }
    write_cache_.remember(layer_index, type, name, map);
    return *map;
}

void EditSession::keep_for_undo(const VertexMap &map, uint32_t point) {
    UndoValue undo{const_cast<VertexMap *>(&map), point, false, {}};
    if (const float *old = map.value(point)) {
        undo.had_value = true;
        std::memcpy(undo.old, old, sizeof(float) * static_cast<size_t>(map.dimension()));
    }
    undo_.push_back(undo);
}

[[gnu::always_inline]] inline sf_polygon_id EditSession::op_add_polygon(uint32_t type, sf_polygon_id template_polygon,
                                                                       const char *surface, int32_t point_count,
                                                                       const sf_point_id *points) {
    if (!usable("add_polygon")) return nullptr;
    if (point_count < 1 || static_cast<size_t>(point_count) > Layer::kMaxCorners || points == nullptr) [[unlikely]]
        return refuse_polygon_size(point_count, points);
    if (scene_.foreground.empty()) return nullptr;
    const uint32_t layer = static_cast<uint32_t>(scene_.foreground.front());

    Layer &target = *layers_[layer];
    const uint32_t limit = target.point_count();
    const auto count = static_cast<size_t>(point_count);
    if (corners_.size() < count) corners_.resize(count);
    uint32_t *corners = corners_.data();
    for (size_t k = 0; k < count; ++k) {
        ElementRef ref;
        if (!ids_.decode_current(reinterpret_cast<uintptr_t>(points[k]), ElementKind::point, ref) ||
            ref.layer != layer || ref.index >= limit) [[unlikely]]
            return refuse_corner(k, points[k], layer);
        corners[k] = ref.index;
    }

    // Without a surface name the template lends its surface and attributes,
    // never its selection. An unknown template leaves the defaults.
    uint32_t surface_index = 0;
    uint32_t flags = 0;
    ElementRef source;
    if (template_polygon != nullptr && resolve(template_polygon, "add_polygon (template)", source)) {
        const Layer &from = *layers_[source.layer];
        surface_index = from.polygon_surface(source.index);
        flags = from.polygon_flags(source.index) & ~SF_POLY_SELECTED;
    }
    if (surface != nullptr) surface_index = scene_.surface_index(surface);

    const uint32_t index = target.add_polygon(type, {corners, count}, surface_index, flags);
    ++stats_.polygons_added;
    return polygon_id(layer, index);
}

// ------------------------------------------------------------------ refusals

sf_point_id EditSession::refuse_null_position() noexcept {
    note([] { return std::string("add_point: null position"); });
    return nullptr;
}

int32_t EditSession::refuse_value(uint32_t type, const char *name, int32_t dimension, const float *values) noexcept {
    note([&] {
        if (name == nullptr || values == nullptr)
            return std::string("set_point_vmap: null ") + (name == nullptr ? "name" : "values");
        return "set_point_vmap: dimension " + std::to_string(dimension) + " for map " + type_text(type) + " \"" + name +
               "\" (1 to 4 allowed)";
    });
    return 0;
}

int32_t EditSession::refuse_dimension(const VertexMap &map, uint32_t type, const char *name,
                                      int32_t dimension) noexcept {
    note([&] {
        return "set_point_vmap: map " + type_text(type) + " \"" + name + "\" has dimension " +
               std::to_string(map.dimension()) + ", not " + std::to_string(dimension);
    });
    return 0;
}

sf_polygon_id EditSession::refuse_polygon_size(int32_t point_count, const sf_point_id *points) noexcept {
    note([&] {
        return "add_polygon: " + std::to_string(point_count) + " points" +
               (points == nullptr ? " at a null address" : "");
    });
    return nullptr;
}

sf_polygon_id EditSession::refuse_corner(size_t corner, sf_point_id point, uint32_t layer) noexcept {
    ElementRef ref;
    if (!resolve(point, "add_polygon", ref)) return nullptr;  // foreign or stale, recorded
    if (ref.layer != layer)
        note([&] {
            return "add_polygon: point " + std::to_string(corner) + " is not in the layer that receives the polygon";
        });
    return nullptr;
}

sf_point_id EditSession::add_point(const double position[3]) { return op_add_point(position); }

int32_t EditSession::set_point_vmap(sf_point_id point, uint32_t type, const char *name, int32_t dimension,
                                    const float *values) {
    return op_set_point_vmap(point, type, name, dimension, values);
}

sf_polygon_id EditSession::add_polygon(uint32_t type, sf_polygon_id template_polygon, const char *surface,
                                       int32_t point_count, const sf_point_id *points) {
    return op_add_polygon(type, template_polygon, surface, point_count, points);
}

}  // namespace sowfield::host
