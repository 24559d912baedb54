#include "fake_edit.h"

#include <algorithm>
#include <cstring>

namespace sowfield::testing {

namespace {

constexpr uintptr_t kBackgroundBase = 0x4a1000;
constexpr uintptr_t kAddedBase = 0x9c3000;
constexpr uintptr_t kPolygonBase = 0x2e7000;
constexpr uintptr_t kStride = 0x48;

template <typename Id>
Id id_at(uintptr_t base, size_t index) {
    return reinterpret_cast<Id>(base + kStride * (index + 1));
}

std::string id_text(const void *id) { return std::to_string(reinterpret_cast<uintptr_t>(id)); }

}  // namespace

fake_edit::fake_edit() {
    session_.state = this;
    session_.scan_polygons = scan;
    session_.point_info = point_info;
    session_.add_point = add_point_call;
    session_.set_point_vmap = set_point_vmap;
    session_.add_polygon = add_polygon_call;
    session_.select_vmap = select_vmap;
    session_.get_point_vmap = get_point_vmap;
}

fake_edit &fake_edit::of(void *state) { return *static_cast<fake_edit *>(state); }

sf_point_id fake_edit::add_point(const Point &position) {
    points_.push_back({position});
    return id_at<sf_point_id>(kBackgroundBase, points_.size() - 1);
}

sf_polygon_id fake_edit::add_polygon(const std::vector<sf_point_id> &points, uint32_t type) {
    polygons_.push_back(points);
    polygon_types_.push_back(type);
    return id_at<sf_polygon_id>(kPolygonBase, polygons_.size() - 1);
}

void fake_edit::set_value(sf_point_id point, uint32_t type, const std::string &map, std::vector<float> values) {
    maps_[{type, map}][point] = std::move(values);
}

long fake_edit::background_index(sf_point_id id) const {
    const auto raw = reinterpret_cast<uintptr_t>(id);
    if (raw <= kBackgroundBase || (raw - kBackgroundBase) % kStride != 0) return -1;
    const size_t index = (raw - kBackgroundBase) / kStride - 1;
    return index < points_.size() ? static_cast<long>(index) : -1;
}

int32_t fake_edit::dimension_of(uint32_t type) {
    switch (type) {
        case SF_VMAP_TXUV: return 2;
        case SF_VMAP_MORF:
        case SF_VMAP_SPOT: return 3;
        default: return 1;
    }
}

int32_t fake_edit::scan(void *state, sf_polygon_visitor_fn visitor, void *context, int32_t layer_set) {
    fake_edit &self = of(state);
    if (layer_set != SF_LAYERS_BACKGROUND) {
        self.misuse.push_back("scan of layer set " + std::to_string(layer_set));
        return 0;
    }
    // Polygons added during the scan go to the foreground and are not visited.
    const size_t count = self.polygons_.size();
    for (size_t i = 0; i < count; ++i) {
        const std::vector<sf_point_id> &points = self.polygons_[i];
        const sf_polygon_record record{id_at<sf_polygon_id>(kPolygonBase, i), 0,
                                       static_cast<int32_t>(points.size()), points.data(), self.polygon_types_[i]};
        if (const int result = visitor(context, &record); result != 0) return result;
    }
    return 0;
}

const sf_point_record *fake_edit::point_info(void *state, sf_point_id point) {
    fake_edit &self = of(state);
    ++self.point_info_calls;
    const long index = self.background_index(point);
    if (index < 0 || self.undescribed.count(point) != 0) return nullptr;
    const Point &p = self.points_[static_cast<size_t>(index)].position;
    self.record_ = {point, {p.x, p.y, p.z}, nullptr};
    return &self.record_;
}

sf_point_id fake_edit::add_point_call(void *state, const double position[3]) {
    fake_edit &self = of(state);
    if (self.refuse_points_from > 0 && static_cast<int>(self.added_points.size()) + 1 >= self.refuse_points_from)
        return nullptr;
    const auto id = id_at<sf_point_id>(kAddedBase, self.added_points.size());
    self.added_index_[id] = self.added_points.size();
    self.added_points.emplace_back(id, Point{position[0], position[1], position[2]});
    return id;
}

int32_t fake_edit::set_point_vmap(void *state, sf_point_id point, uint32_t type, const char *name, int32_t dimension,
                                  const float *values) {
    fake_edit &self = of(state);
    if (!self.is_added(point)) {
        self.misuse.push_back("set_point_vmap on foreign point " + id_text(point));
        return 0;
    }
    if (name == nullptr || dimension != dimension_of(type)) {
        self.misuse.push_back("set_point_vmap with a null name or dimension " + std::to_string(dimension));
        return 0;
    }
    self.written.push_back({point, type, name, std::vector<float>(values, values + dimension)});
    return 1;
}

sf_polygon_id fake_edit::add_polygon_call(void *state, uint32_t type, sf_polygon_id template_polygon,
                                          const char *surface, int32_t count, const sf_point_id *points) {
    fake_edit &self = of(state);
    for (int32_t i = 0; i < count; ++i) {
        if (!self.is_added(points[i])) {
            self.misuse.push_back("add_polygon over foreign point " + id_text(points[i]));
            return nullptr;
        }
    }
    self.added_polygons.push_back({type, template_polygon, surface != nullptr, {points, points + count}});
    return id_at<sf_polygon_id>(kPolygonBase + 0x800000, self.added_polygons.size() - 1);
}

void *fake_edit::select_vmap(void *state, void *, uint32_t type, const char *name) {
    fake_edit &self = of(state);
    const auto found = self.maps_.find({type, name});
    self.selected_ = found != self.maps_.end() ? &found->second : nullptr;
    return const_cast<void *>(static_cast<const void *>(self.selected_));
}

int32_t fake_edit::get_point_vmap(void *state, sf_point_id point, float *values) {
    fake_edit &self = of(state);
    if (self.background_index(point) < 0) self.misuse.push_back("get_point_vmap of foreign point " + id_text(point));
    if (self.selected_ == nullptr) return 0;
    const auto found = self.selected_->find(point);
    if (found == self.selected_->end()) return 0;
    std::copy(found->second.begin(), found->second.end(), values);
    return 1;
}

Point fake_edit::position_of(sf_point_id added) const { return added_points.at(added_index_.at(added)).second; }

std::vector<float> fake_edit::value_of(sf_point_id added, uint32_t type, const std::string &map) const {
    std::vector<float> last;
    for (const written_value &w : written)
        if (w.point == added && w.type == type && w.map == map) last = w.values;
    return last;
}

std::set<std::string> fake_edit::maps_written(uint32_t type) const {
    std::set<std::string> names;
    for (const written_value &w : written)
        if (w.type == type) names.insert(w.map);
    return names;
}

map_lists::map_lists(std::vector<std::string> uv, std::vector<std::string> weight, std::vector<std::string> morph,
                     std::vector<std::string> subpatch, std::vector<std::string> spot)
    : names_{std::move(uv), std::move(weight), std::move(morph), std::move(subpatch), std::move(spot)} {
    vmap_name_node **heads[5] = {&txuv_maps, &wght_maps, &morf_maps, &mnvw_maps, &spot_maps};
    for (int k = 0; k < 5; ++k) {
        release_name_list(*heads[k]);
        vmap_name_node **tail = heads[k];
        for (const std::string &name : names_[k]) {
            *tail = new vmap_name_node{name.c_str(), nullptr};
            tail = &(*tail)->next;
        }
    }
}

map_lists::~map_lists() {
    release_name_list(txuv_maps);
    release_name_list(wght_maps);
    release_name_list(morf_maps);
    release_name_list(mnvw_maps);
    release_name_list(spot_maps);
}

}  // namespace sowfield::testing
