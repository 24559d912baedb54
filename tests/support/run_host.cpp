#include "tests/support/run_host.h"

#include "clone/clone_transform.h"
#include "clone/geometry_copy.h"
#include "numeric/random.h"
#include "plugin/host_services.h"
#include "plugin/run_data.h"
#include "surface/site_distribution.h"
#include "surface/target_polygons.h"

namespace sowfield::testing {

void reset_run_state() {
    release_run_data();
    clear_host_services();
    current_site = nullptr;
    clone_state = {};
    mean_area = 0.0;
    morph_suffix = 0;
    non_finite_left_out = 0;
    set_site_attempt_observer(nullptr, nullptr);
    generator.reseed(kRunSeed);
}

RunHost::RunHost() { reset_run_state(); }

RunHost::~RunHost() {
    catalogue.release();
    reset_run_state();
    if (session.active()) session.end(0);
}

sf_edit_session &RunHost::begin() {
    edit = edit_session = session.begin();
    EXPECT_NE(edit, nullptr);
    scene_objects_service = host::SceneObjectsService::table();
    monitor_service = host::MonitorService::table();
    catalogue.release();
    catalogue.session = edit_session;
    build_weightmap_choices(catalogue, scene_objects_service);
    list_vmaps(scene_objects_service, SF_VMAP_TXUV, txuv_maps);
    list_vmaps(scene_objects_service, SF_VMAP_WGHT, wght_maps);
    list_vmaps(scene_objects_service, SF_VMAP_MORF, morf_maps);
    list_vmaps(scene_objects_service, SF_VMAP_MNVW, mnvw_maps);
    list_vmaps(scene_objects_service, SF_VMAP_SPOT, spot_maps);
    return *edit_session;
}

uint32_t RunHost::layer_index(const Layer &layer) const {
    for (size_t k = 0; k < world.scene.layer_count(); ++k)
        if (&world.scene.layer(k) == &layer) return static_cast<uint32_t>(k);
    ADD_FAILURE() << "a layer of another scene";
    return 0;
}

sf_point_id RunHost::point(const Layer &layer, uint32_t index) const {
    return session.point_id(layer_index(layer), index);
}

sf_polygon_id RunHost::polygon(const Layer &layer, uint32_t index) const {
    return session.polygon_id(layer_index(layer), index);
}

uint32_t RunHost::add_face(Layer &layer, std::initializer_list<Vec3> corners, const Vec3 &normal, PolygonStyle style) {
    std::vector<uint32_t> points;
    for (const Vec3 &corner : corners) points.push_back(layer.add_point(corner));
    return add_face_over(layer, points, normal, style);
}

uint32_t RunHost::add_face_over(Layer &layer, const std::vector<uint32_t> &points, const Vec3 &normal,
                                PolygonStyle style) {
    const uint32_t index =
        layer.add_polygon(style.type, points, style.surface, style.selected ? SF_POLY_SELECTED : 0u);
    session.report_normal(layer_index(layer), index, normal);
    return index;
}

void RunHost::collect_targets(const params_typ &settings) {
    allocate_target_polygons(static_cast<int32_t>(world.fg.polygon_count()));
    target_count = 0;
    edit_session->scan_polygons(edit_session->state, collect_target_polygon, const_cast<params_typ *>(&settings),
                                SF_LAYERS_FOREGROUND);
}

void RunTest::TearDown() {
    for (const std::string &entry : misuse.entries()) ADD_FAILURE() << "host noticed: " << entry;
}

CountedReads::CountedReads(const sf_edit_session &inner) : inner_(inner) {
    record_.state = this;
    record_.select_vmap = select_vmap;
    record_.polygon_info = polygon_info;
    record_.point_info = point_info;
}

void *CountedReads::select_vmap(void *state, void *handle, uint32_t type, const char *name) {
    CountedReads &self = of(state);
    ++self.select_calls;
    return self.inner_.select_vmap(self.inner_.state, handle, type, name);
}

const sf_polygon_record *CountedReads::polygon_info(void *state, sf_polygon_id polygon) {
    CountedReads &self = of(state);
    ++self.polygon_info_calls;
    return self.inner_.polygon_info(self.inner_.state, polygon);
}

const sf_point_record *CountedReads::point_info(void *state, sf_point_id point) {
    CountedReads &self = of(state);
    ++self.point_info_calls;
    return self.inner_.point_info(self.inner_.state, point);
}

void install_targets(const std::vector<target_shape> &targets) {
    allocate_target_polygons(static_cast<int32_t>(targets.size()));
    target_count = 0;
    for (const target_shape &shape : targets) {
        face6_typ &record = target_polygons[static_cast<size_t>(target_count++)];
        record.allocate_points(static_cast<int32_t>(shape.points.size()));
        for (size_t k = 0; k < shape.points.size(); ++k) record.points[k] = shape.points[k];
        record.normal = shape.normal;
    }
}

}  // namespace sowfield::testing
