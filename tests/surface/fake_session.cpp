#include "fake_session.h"

#include <deque>

#include "plugin/host_services.h"
#include "surface/target_polygons.h"

namespace sowfield::testing {

namespace {

constexpr uintptr_t kPointBase = 0x51f000;
constexpr uintptr_t kPolygonBase = 0x93a000;
constexpr uintptr_t kStride = 0x38;

template <typename Id>
Id id_at(uintptr_t base, size_t index) {
    return reinterpret_cast<Id>(base + kStride * (index + 1));
}

// The index behind an id, or -1 for an id never given out.
template <typename Id>
long index_of(uintptr_t base, Id id, size_t count) {
    const auto raw = reinterpret_cast<uintptr_t>(id);
    if (raw <= base || (raw - base) % kStride != 0) return -1;
    const size_t index = (raw - base) / kStride - 1;
    return index < count ? static_cast<long>(index) : -1;
}

}  // namespace

fake_session::fake_session() {
    session_.state = this;
    session_.scan_polygons = scan;
    session_.point_info = point_info;
    session_.polygon_info = polygon_info;
    session_.polygon_normal = polygon_normal;
    session_.select_vmap = select_vmap;
}

fake_session &fake_session::of(void *state) { return *static_cast<fake_session *>(state); }

sf_point_id fake_session::add_point(const Point &position) {
    points_.push_back({position, {}});
    return id_at<sf_point_id>(kPointBase, points_.size() - 1);
}

sf_polygon_id fake_session::add_polygon(std::initializer_list<sf_point_id> points, const Point &normal, bool selected,
                                        uint32_t type) {
    polygons_.push_back({std::vector<sf_point_id>(points), normal, selected ? SF_POLY_SELECTED : 0u, type});
    return id_at<sf_polygon_id>(kPolygonBase, polygons_.size() - 1);
}

sf_polygon_id fake_session::add_face(std::initializer_list<Point> corners, const Point &normal, bool selected,
                                     uint32_t type) {
    std::vector<sf_point_id> ids;
    for (const Point &corner : corners) ids.push_back(add_point(corner));
    polygons_.push_back({ids, normal, selected ? SF_POLY_SELECTED : 0u, type});
    return id_at<sf_polygon_id>(kPolygonBase, polygons_.size() - 1);
}

sf_polygon_id fake_session::add_empty_polygon() { return add_polygon({}, Point{0, 1, 0}); }

void fake_session::set_weight(const std::string &map, sf_point_id point, float value) {
    const long index = index_of(kPointBase, point, points_.size());
    if (index >= 0) points_[static_cast<size_t>(index)].weights[map] = value;
}

void fake_session::set_polygon_weight(const std::string &map, sf_polygon_id polygon, float value) {
    const polygon_data *data = find_polygon(polygon);
    if (data == nullptr) return;
    for (const sf_point_id point : data->points) set_weight(map, point, value);
}

sf_polygon_id fake_session::unknown_polygon() { return reinterpret_cast<sf_polygon_id>(kPolygonBase + 3); }

const fake_session::point_data *fake_session::find_point(sf_point_id id) const {
    const long index = index_of(kPointBase, id, points_.size());
    return index >= 0 ? &points_[static_cast<size_t>(index)] : nullptr;
}

const fake_session::polygon_data *fake_session::find_polygon(sf_polygon_id id) const {
    const long index = index_of(kPolygonBase, id, polygons_.size());
    return index >= 0 ? &polygons_[static_cast<size_t>(index)] : nullptr;
}

sf_polygon_record fake_session::record_of(size_t index) const {
    const polygon_data &data = polygons_[index];
    sf_polygon_record record{};
    record.id = id_at<sf_polygon_id>(kPolygonBase, index);
    record.flags = data.flags;
    record.point_count = static_cast<int32_t>(data.points.size());
    record.points = data.points.data();
    record.type = data.type;
    return record;
}

int32_t fake_session::scan(void *state, sf_polygon_visitor_fn visitor, void *context, int32_t) {
    fake_session &self = of(state);
    for (size_t i = 0; i < self.polygons_.size(); ++i) {
        const sf_polygon_record record = self.record_of(i);
        if (const int result = visitor(context, &record); result != 0) return result;
    }
    return 0;
}

const sf_point_record *fake_session::point_info(void *state, sf_point_id point) {
    fake_session &self = of(state);
    ++self.point_info_calls;
    const point_data *data = self.find_point(point);
    if (data == nullptr) return nullptr;
    self.point_record_ = {};
    self.point_record_.id = point;
    self.point_record_.position[0] = data->position.x;
    self.point_record_.position[1] = data->position.y;
    self.point_record_.position[2] = data->position.z;
    if (self.map_selected_) {
        const auto found = data->weights.find(self.selected_map_);
        if (found != data->weights.end()) {
            self.value_ = found->second;
            self.point_record_.vmap_value = &self.value_;
        }
    }
    // The record given out by polygon_info is no longer valid: scribble on it
    // so that a reader who kept it sees nonsense.
    self.polygon_record_.point_count = -7;
    self.polygon_record_.points = nullptr;
    return &self.point_record_;
}

const sf_polygon_record *fake_session::polygon_info(void *state, sf_polygon_id polygon) {
    fake_session &self = of(state);
    ++self.polygon_info_calls;
    const long index = index_of(kPolygonBase, polygon, self.polygons_.size());
    if (index < 0) return nullptr;
    self.polygon_record_ = self.record_of(static_cast<size_t>(index));
    return &self.polygon_record_;
}

int32_t fake_session::polygon_normal(void *state, sf_polygon_id polygon, double normal[3]) {
    const polygon_data *data = of(state).find_polygon(polygon);
    if (data == nullptr) {
        normal[0] = normal[1] = normal[2] = 0.0;
        return 0;
    }
    normal[0] = data->normal.x;
    normal[1] = data->normal.y;
    normal[2] = data->normal.z;
    return 1;
}

void *fake_session::select_vmap(void *state, void *, uint32_t type, const char *name) {
    fake_session &self = of(state);
    ++self.select_calls;
    self.map_selected_ = type == SF_VMAP_WGHT && name != nullptr;
    self.selected_map_ = self.map_selected_ ? name : "";
    return self.map_selected_ ? &self.selected_map_ : nullptr;
}

namespace {

fake_monitor_log *monitor_log = nullptr;
bool monitor_create_fails = false;
sf_monitor the_monitor{};

void monitor_init(void *, int32_t total) { monitor_log->total = total; }
int32_t monitor_step(void *, int32_t increment) {
    monitor_log->steps += increment;
    return 0;
}
void monitor_done(void *) { ++monitor_log->done; }

sf_monitor *monitor_create(const char *title, const char *caption) {
    if (monitor_create_fails) return nullptr;
    ++monitor_log->created;
    monitor_log->title = title;
    monitor_log->caption = caption;
    the_monitor = {nullptr, monitor_init, monitor_step, monitor_done};
    return &the_monitor;
}

void monitor_destroy(sf_monitor *) { ++monitor_log->destroyed; }

const sf_monitor_service the_monitor_service{monitor_create, monitor_destroy};

}  // namespace

namespace {

const std::vector<std::string> *scene_weight_maps = nullptr;

int32_t count_vmaps(uint32_t type) {
    return type == SF_VMAP_WGHT ? static_cast<int32_t>(scene_weight_maps->size()) : 0;
}

const char *vmap_name(uint32_t type, int32_t index) {
    if (type != SF_VMAP_WGHT || index < 0 || static_cast<size_t>(index) >= scene_weight_maps->size()) return nullptr;
    return (*scene_weight_maps)[static_cast<size_t>(index)].c_str();
}

}  // namespace

void fill_catalogue(vmap_catalogue &catalogue, const std::vector<std::string> &weight_maps) {
    // The names stay the caller's: keep them where the catalogue can point.
    static std::deque<std::vector<std::string>> kept;
    kept.push_back(weight_maps);
    scene_weight_maps = &kept.back();
    const sf_scene_objects_service scene{count_vmaps, vmap_name};
    build_weightmap_choices(catalogue, &scene);
}

void install_monitor_service(fake_monitor_log *log, bool create_fails) {
    monitor_log = log;
    monitor_create_fails = create_fails;
    monitor_service = log != nullptr ? &the_monitor_service : nullptr;
}

void collect_targets(fake_session &scene, const params_typ &settings) {
    edit_session = scene.session();
    allocate_target_polygons(scene.polygon_count());
    target_count = 0;
    edit_session->scan_polygons(edit_session->state, collect_target_polygon, const_cast<params_typ *>(&settings),
                                SF_LAYERS_FOREGROUND);
}

void install_targets(const std::vector<target_shape> &targets) {
    allocate_target_polygons(static_cast<int32_t>(targets.size()));
    target_count = 0;
    for (const target_shape &shape : targets) {
        face6_typ &record = target_polygons[static_cast<size_t>(target_count++)];
        record.allocate_points(static_cast<int32_t>(shape.points.size()));
        for (size_t k = 0; k < shape.points.size(); ++k) record.points[k] = shape.points[k];
        record.normal = shape.normal;
        record.polygon = shape.polygon;
    }
}

}  // namespace sowfield::testing
