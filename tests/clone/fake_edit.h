// A small in-memory edit session for the clone tests: a background of points,
// polygons and vertex-map values, and a record of everything the plug-in adds
// to the foreground. Ids are spaced, non-sequential addresses in separate
// ranges for background points, new points and polygons, so an id used as an
// index, or one from the wrong range, shows up as misuse.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "numeric/point.h"
#include "settings/vmap_catalogue.h"
#include "sowfield_host.h"

namespace sowfield::testing {

class fake_edit {
public:
    fake_edit();
    fake_edit(const fake_edit &) = delete;
    fake_edit &operator=(const fake_edit &) = delete;

    sf_edit_session *session() { return &session_; }

    // The background.
    sf_point_id add_point(const Point &position);
    sf_polygon_id add_polygon(const std::vector<sf_point_id> &points, uint32_t type = SF_POLY_FACE);
    void set_value(sf_point_id point, uint32_t type, const std::string &map, std::vector<float> values);

    // Host behaviour to cope with: point_info answers null for these points;
    // add_point refuses (answers null) from its n-th call on (0 = never).
    std::set<sf_point_id> undescribed;
    int refuse_points_from = 0;

    struct added_polygon {
        uint32_t type;
        sf_polygon_id template_polygon;
        bool surface_given;
        std::vector<sf_point_id> points;
    };
    struct written_value {
        sf_point_id point;
        uint32_t type;
        std::string map;
        std::vector<float> values;
    };

    // What the plug-in did, in call order.
    std::vector<std::pair<sf_point_id, Point>> added_points;
    std::vector<added_polygon> added_polygons;
    std::vector<written_value> written;
    std::vector<std::string> misuse;  // foreign ids, wrong dimensions, null names
    int point_info_calls = 0;

    // Helpers over the record.
    bool is_added(sf_point_id id) const { return added_index_.count(id) != 0; }
    Point position_of(sf_point_id added) const;
    // The last value written to an added point in a map, or empty.
    std::vector<float> value_of(sf_point_id added, uint32_t type, const std::string &map) const;
    // Every map name written for `type`.
    std::set<std::string> maps_written(uint32_t type) const;

private:
    using map_key = std::pair<uint32_t, std::string>;
    struct background_point {
        Point position;
    };

    static fake_edit &of(void *state);
    static int32_t scan(void *state, sf_polygon_visitor_fn visitor, void *context, int32_t layer_set);
    static const sf_point_record *point_info(void *state, sf_point_id point);
    static sf_point_id add_point_call(void *state, const double position[3]);
    static int32_t set_point_vmap(void *state, sf_point_id point, uint32_t type, const char *name, int32_t dimension,
                                  const float *values);
    static sf_polygon_id add_polygon_call(void *state, uint32_t type, sf_polygon_id template_polygon,
                                          const char *surface, int32_t count, const sf_point_id *points);
    static void *select_vmap(void *state, void *handle, uint32_t type, const char *name);
    static int32_t get_point_vmap(void *state, sf_point_id point, float *values);

    long background_index(sf_point_id id) const;
    static int32_t dimension_of(uint32_t type);

    sf_edit_session session_{};
    std::vector<background_point> points_;
    std::vector<std::vector<sf_point_id>> polygons_;
    std::vector<uint32_t> polygon_types_;
    std::map<map_key, std::map<sf_point_id, std::vector<float>>> maps_;
    const std::map<sf_point_id, std::vector<float>> *selected_ = nullptr;
    std::map<sf_point_id, size_t> added_index_;
    sf_point_record record_{};
};

// The five map-name lists of a run, set from names the holder keeps alive,
// and emptied again when it goes.
class map_lists {
public:
    map_lists(std::vector<std::string> uv, std::vector<std::string> weight, std::vector<std::string> morph,
              std::vector<std::string> subpatch, std::vector<std::string> spot);
    ~map_lists();
    map_lists(const map_lists &) = delete;
    map_lists &operator=(const map_lists &) = delete;

private:
    std::vector<std::string> names_[5];
};

}  // namespace sowfield::testing
