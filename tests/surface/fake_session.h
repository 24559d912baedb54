// A small in-memory edit session for the surface tests: points with weight
// values, polygons with given normals, and a monitor service that records
// what it is told. Ids are spaced, non-sequential addresses, so code that
// takes them for indices shows up.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "numeric/point.h"
#include "settings/params.h"
#include "settings/vmap_catalogue.h"
#include "sowfield_host.h"

namespace sowfield::testing {

class fake_session {
public:
    fake_session();
    fake_session(const fake_session &) = delete;
    fake_session &operator=(const fake_session &) = delete;

    sf_point_id add_point(const Point &position);

    // A polygon over existing points. `normal` is what polygon_normal reports.
    sf_polygon_id add_polygon(std::initializer_list<sf_point_id> points, const Point &normal, bool selected = true,
                              uint32_t type = SF_POLY_FACE);
    // Points and polygon in one go.
    sf_polygon_id add_face(std::initializer_list<Point> corners, const Point &normal, bool selected = true,
                           uint32_t type = SF_POLY_FACE);
    // A polygon record claiming `count` points with none behind it.
    sf_polygon_id add_empty_polygon();

    void set_weight(const std::string &map, sf_point_id point, float value);
    // Every point of the polygon gets `value` in `map`.
    void set_polygon_weight(const std::string &map, sf_polygon_id polygon, float value);

    // An id that the session never gave out.
    static sf_polygon_id unknown_polygon();

    sf_edit_session *session() { return &session_; }
    int32_t polygon_count() const { return static_cast<int32_t>(polygons_.size()); }

    int select_calls = 0;
    int polygon_info_calls = 0;
    int point_info_calls = 0;

private:
    struct point_data {
        Point position;
        std::map<std::string, float> weights;
    };
    struct polygon_data {
        std::vector<sf_point_id> points;
        Point normal;
        uint32_t flags;
        uint32_t type;
    };

    static fake_session &of(void *state);
    static int32_t scan(void *state, sf_polygon_visitor_fn visitor, void *context, int32_t layer_set);
    static const sf_point_record *point_info(void *state, sf_point_id point);
    static const sf_polygon_record *polygon_info(void *state, sf_polygon_id polygon);
    static int32_t polygon_normal(void *state, sf_polygon_id polygon, double normal[3]);
    static void *select_vmap(void *state, void *handle, uint32_t type, const char *name);

    const point_data *find_point(sf_point_id id) const;
    const polygon_data *find_polygon(sf_polygon_id id) const;
    sf_polygon_record record_of(size_t index) const;

    sf_edit_session session_{};
    std::vector<point_data> points_;
    std::vector<polygon_data> polygons_;
    std::string selected_map_;
    bool map_selected_ = false;
    sf_point_record point_record_{};
    sf_polygon_record polygon_record_{};
    float value_{};
};

// Fills the catalogue's weight-map names as a run does, from a scene-objects
// service that reports these weight maps in this order.
void fill_catalogue(vmap_catalogue &catalogue, const std::vector<std::string> &weight_maps);

// A monitor service that counts what it is asked.
struct fake_monitor_log {
    int created = 0;
    int destroyed = 0;
    int done = 0;
    int32_t total = -1;
    int32_t steps = 0;
    std::string title;
    std::string caption;
};

// Installs a monitor service writing to `log` as the run's `monitor_service`
// (or none when `log` is null); `create_fails` makes monitor_create answer null.
void install_monitor_service(fake_monitor_log *log, bool create_fails = false);

// Collects the session's polygons as the run does: allocates the target array
// for every polygon, scans with the collection callback, `edit_session` set.
void collect_targets(fake_session &scene, const params_typ &settings);

// One target polygon written straight into `target_polygons`, for tests that
// need no host.
struct target_shape {
    std::vector<Point> points;
    Point normal;
    sf_polygon_id polygon = nullptr;
};

// Replaces `target_polygons` with these records, in order.
void install_targets(const std::vector<target_shape> &targets);

}  // namespace sowfield::testing
