// The session's read operations: counts, scans, point and polygon records,
// normals and vertex-map reads.
#include "host/edit/edit_session.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "host/edit/session_call.h"
#include "host/scene/normals.h"

namespace sowfield::host {

namespace {

int32_t clamp_count(uint64_t count) {
    return static_cast<int32_t>(std::min<uint64_t>(count, std::numeric_limits<int32_t>::max()));
}

}  // namespace

void EditSession::bind_queries() {
    record_.count_points = &SessionCall<&EditSession::count_points>::call;
    record_.count_polygons = &SessionCall<&EditSession::count_polygons>::call;
    record_.scan_polygons = &SessionCall<&EditSession::scan_polygons>::call;
    record_.point_info = &SessionCall<&EditSession::op_point_info>::call;
    record_.polygon_info = &SessionCall<&EditSession::polygon_info>::call;
    record_.polygon_normal = &SessionCall<&EditSession::polygon_normal>::call;
    record_.select_vmap = &SessionCall<&EditSession::op_select_vmap>::call;
    record_.get_point_vmap = &SessionCall<&EditSession::op_get_point_vmap>::call;
}

int32_t EditSession::count_points(int32_t set, int32_t mode) {
    if (!usable("count_points")) return 0;
    const std::vector<size_t> *layers = layer_set(set, "count_points");
    if (layers == nullptr) return 0;
    if (mode != SF_COUNT_ALL && mode != SF_COUNT_SELECTED) {
        log_.record("count_points: unknown count mode " + std::to_string(mode));
        return 0;
    }
    uint64_t total = 0;
    std::vector<uint8_t> used;
    for (size_t index : *layers) {
        const Layer &layer = scene_.layer(index);
        if (mode == SF_COUNT_ALL) {
            total += layer.point_count();
            continue;
        }
        // Points have no selection of their own: a point is selected when a
        // selected polygon uses it, counted once however many do.
        used.assign(layer.point_count(), 0);
        for (uint32_t p = 0; p < layer.polygon_count(); ++p) {
            if ((layer.polygon_flags(p) & SF_POLY_SELECTED) == 0) continue;
            for (uint32_t point : layer.polygon_points(p)) {
                total += used[point] == 0;
                used[point] = 1;
            }
        }
    }
    return clamp_count(total);
}

int32_t EditSession::count_polygons(int32_t set, int32_t mode) {
    if (!usable("count_polygons")) return 0;
    const std::vector<size_t> *layers = layer_set(set, "count_polygons");
    if (layers == nullptr) return 0;
    if (mode != SF_COUNT_ALL && mode != SF_COUNT_SELECTED) {
        log_.record("count_polygons: unknown count mode " + std::to_string(mode));
        return 0;
    }
    uint64_t total = 0;
    for (size_t index : *layers) {
        const Layer &layer = scene_.layer(index);
        if (mode == SF_COUNT_ALL) {
            total += layer.polygon_count();
            continue;
        }
        for (uint32_t p = 0; p < layer.polygon_count(); ++p) total += (layer.polygon_flags(p) & SF_POLY_SELECTED) != 0;
    }
    return clamp_count(total);
}

void EditSession::describe(const ElementRef &ref, sf_polygon_record &record, std::vector<sf_point_id> &ids) const {
    const Layer &layer = *layers_[ref.layer];
    const std::span<const uint32_t> corners = layer.polygon_points(ref.index);
    if (ids.size() < corners.size()) ids.resize(corners.size());  // only grows: the record gives the count
    const uint64_t key = ids_.layer_key(ElementKind::point, ref.layer);
    sf_point_id *out = ids.data();
    for (size_t k = 0; k < corners.size(); ++k)
        out[k] = reinterpret_cast<sf_point_id>(IdCodec::encode_with(key, corners[k]));
    record.id = polygon_id(ref.layer, ref.index);
    record.flags = layer.polygon_flags(ref.index);
    record.point_count = static_cast<int32_t>(corners.size());
    record.points = ids.data();
    record.type = layer.polygon_type(ref.index);
}

int32_t EditSession::scan_polygons(sf_polygon_visitor_fn visitor, void *context, int32_t set) {
    if (!usable("scan_polygons")) return 0;
    const std::vector<size_t> *layers = layer_set(set, "scan_polygons");
    if (layers == nullptr) return 0;
    if (visitor == nullptr) {
        log_.record("scan_polygons: null visitor");
        return 0;
    }
    // A visitor may add polygons (even to a layer being scanned) or scan
    // again: the counts are taken before the first visit, and each nesting
    // depth has its own record.
    if (scan_frames_.size() <= scan_depth_) scan_frames_.emplace_back();
    ScanFrame &frame = scan_frames_[scan_depth_];
    frame.counts.clear();
    for (size_t index : *layers) frame.counts.push_back(scene_.layer(index).polygon_count());

    struct Depth {
        size_t &depth;
        explicit Depth(size_t &d) : depth(d) { ++depth; }
        ~Depth() { --depth; }
    } depth(scan_depth_);

    sf_polygon_record record{};
    for (size_t k = 0; k < frame.counts.size(); ++k) {
        const uint32_t layer = static_cast<uint32_t>((*layers)[k]);
        for (uint32_t p = 0; p < frame.counts[k]; ++p) {
            describe({layer, p}, record, frame.ids);
            const int result = visitor(context, &record);
            if (result != 0) return result;
            // A visitor that ended the session (and perhaps rolled the scene
            // back) leaves nothing to visit.
            if (!active_) return 0;
        }
    }
    return 0;
}

[[gnu::always_inline]] inline const sf_point_record *EditSession::op_point_info(sf_point_id point) {
    ElementRef ref;
    if (!usable("point_info") || !resolve(point, "point_info", ref)) return nullptr;
    if (!withheld_points_.empty() && withheld(ref)) [[unlikely]]
        return nullptr;
    const Vec3 &position = layers_[ref.layer]->position(ref.index);
    point_record_.id = point;
    // One copy, so the stores are as wide as the reader's loads may be (a
    // load that spans two narrower stores is not forwarded from them).
    static_assert(sizeof point_record_.position == sizeof position);
    std::memcpy(point_record_.position, position.data(), sizeof position);
    point_record_.vmap_value = selected_ != nullptr ? selected_->value(ref.layer, ref.index) : nullptr;
    return &point_record_;
}

const sf_polygon_record *EditSession::polygon_info(sf_polygon_id polygon) {
    ElementRef ref;
    if (!usable("polygon_info") || !resolve(polygon, "polygon_info", ref)) return nullptr;
    describe(ref, polygon_record_, polygon_ids_);
    return &polygon_record_;
}

int32_t EditSession::polygon_normal(sf_polygon_id polygon, double normal[3]) {
    if (normal == nullptr) return refuse_null_output("polygon_normal");
    normal[0] = normal[1] = normal[2] = 0.0;
    ElementRef ref;
    if (!usable("polygon_normal") || !resolve(polygon, "polygon_normal", ref)) return 0;
    const Layer &layer = scene_.layer(ref.layer);
    Vec3 n;
    if (const auto reported = reported_normals_.find({ref.layer, ref.index}); reported != reported_normals_.end())
        n = reported->second;
    else if (!newell_normal(layer, layer.polygon_points(ref.index), n))
        return 0;
    normal[0] = n[0];
    normal[1] = n[1];
    normal[2] = n[2];
    return 1;
}

[[gnu::always_inline]] inline void *EditSession::op_select_vmap(void *map_handle, uint32_t type, const char *name) {
    if (!usable("select_vmap")) return nullptr;
    if (map_handle != nullptr || name == nullptr) [[unlikely]]
        return select_unusual(map_handle, type, name);
    return select_by_name(type, name);
}

void *EditSession::select_by_name(uint32_t type, const char *name) {
    const VmapSelection *selection = select_cache_.find(type, name);
    if (selection == nullptr) [[unlikely]]
        selection = select_cache_.build(scene_, type, name, selected_);
    // A missing map is no misuse: nothing is selected and reads find nothing.
    selected_ = selection->first != nullptr ? selection : nullptr;
    return const_cast<VertexMap *>(selection->first);
}

void *EditSession::select_unusual(void *map_handle, uint32_t type, const char *name) {
    if (map_handle != nullptr) log_.record("select_vmap: map handle given; only lookups by name are offered");
    if (name == nullptr) {
        log_.record("select_vmap: null name");
        selected_ = nullptr;
        return nullptr;
    }
    return select_by_name(type, name);
}

[[gnu::always_inline]] inline int32_t EditSession::op_get_point_vmap(sf_point_id point, float *values) {
    ElementRef ref;
    if (!usable("get_point_vmap") || !resolve(point, "get_point_vmap", ref)) return 0;
    if (values == nullptr) [[unlikely]]
        return refuse_null_output("get_point_vmap");
    if (selected_ == nullptr) return 0;
    const VertexMap *map = selected_->map(ref.layer);
    const float *value = map != nullptr ? map->value(ref.index) : nullptr;
    if (value == nullptr) return 0;
    map->copy_value(value, values);
    return 1;
}

int32_t EditSession::refuse_null_output(const char *operation) noexcept {
    note([&] { return std::string(operation) + ": null output"; });
    return 0;
}

bool EditSession::withheld(const ElementRef &point) const {
    return withheld_points_.count({point.layer, point.index}) != 0;
}

void EditSession::withhold_point(uint32_t layer, uint32_t index) { withheld_points_.insert({layer, index}); }

void EditSession::report_normal(uint32_t layer, uint32_t index, const Vec3 &normal) {
    reported_normals_[{layer, index}] = normal;
}

const sf_point_record *EditSession::point_info(sf_point_id point) { return op_point_info(point); }

void *EditSession::select_vmap(void *map_handle, uint32_t type, const char *name) {
    return op_select_vmap(map_handle, type, name);
}

int32_t EditSession::get_point_vmap(sf_point_id point, float *values) { return op_get_point_vmap(point, values); }

}  // namespace sowfield::host
