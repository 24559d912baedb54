// The stand-in host as one run of the plug-in sees it, for the unit tests of
// the plug-in's folders: the host's own strict edit session over a two-layer
// scene, its scene-objects and monitor services, installed where the run
// reads them; and the plug-in's run state reset around every use, the
// shared generator on a fixed seed so that no test hangs on the clock.
//
//     TEST_F(RunTest, ...) {
//         add_face(world.fg, {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}}, {0, 1, 0});
//         begin();
//         collect_targets(params_typ{});
//         ...
//     }   // misuse that the session or a service noticed fails the test
//
// Odd host behaviour (a withheld point, refused points, a given normal) is
// set on `session` with its test switches.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "host/services/contract_log.h"
#include "host/edit/edit_session.h"
#include "host/services/monitor_service.h"
#include "host/services/scene_objects_service.h"
#include "numeric/point.h"
#include "settings/params.h"
#include "settings/vmap_catalogue.h"
#include "tests/support/scene_builders.h"

namespace sowfield::testing {

// The seed the shared generator is given before and after every test.
constexpr int32_t kRunSeed = 25;

// Releases every per-run array and list, forgets the run's services and
// session, clears the clone state and the site observer, and reseeds the
// shared generator with kRunSeed.
void reset_run_state();

class RunHost {
public:
    RunHost();
    ~RunHost();
    RunHost(const RunHost &) = delete;
    RunHost &operator=(const RunHost &) = delete;

    // Begins the edit session over the scene as built so far and installs
    // it and the services as the run's; lists the scene's vertex maps into
    // `catalogue` and the five name lists, as a run does before its panel.
    sf_edit_session &begin();
    sf_edit_session *edit = nullptr;  // what begin() began

    // Ids of the current session.
    sf_point_id point(const Layer &layer, uint32_t index) const;
    sf_polygon_id polygon(const Layer &layer, uint32_t index) const;

    // A polygon over new points for which polygon_normal reports `normal`,
    // whatever its points say. Returns its index in the layer.
    uint32_t add_face(Layer &layer, std::initializer_list<Vec3> corners, const Vec3 &normal, PolygonStyle style = {});
    // The same over existing points.
    uint32_t add_face_over(Layer &layer, const std::vector<uint32_t> &points, const Vec3 &normal,
                           PolygonStyle style = {});

    // Collects the foreground's polygons into `target_polygons` as a run
    // does (the session begun).
    void collect_targets(const params_typ &settings);

    TwoLayerScene world;
    host::ContractLog misuse;
    host::EditSession session{world.scene, misuse};
    host::SceneObjectsService scene_objects{world.scene};
    host::MonitorService monitors{misuse, false};
    vmap_catalogue catalogue{nullptr};

private:
    uint32_t layer_index(const Layer &layer) const;

    host::SceneObjectsService::Scope objects_scope_{scene_objects};
    host::MonitorService::Scope monitors_scope_{monitors};
};

// A RunHost per test; any misuse it recorded fails the test.
class RunTest : public ::testing::Test, public RunHost {
protected:
    void TearDown() override;
};

// A session record offering only select_vmap, polygon_info and point_info,
// each counted and passed on to `inner`: for tests of how often the plug-in
// asks the host for a polygon's weights.
class CountedReads {
public:
    explicit CountedReads(const sf_edit_session &inner);
    CountedReads(const CountedReads &) = delete;
    CountedReads &operator=(const CountedReads &) = delete;

    sf_edit_session *record() { return &record_; }

    int select_calls = 0;
    int polygon_info_calls = 0;
    int point_info_calls = 0;

private:
    static CountedReads &of(void *state) { return *static_cast<CountedReads *>(state); }
    static void *select_vmap(void *state, void *handle, uint32_t type, const char *name);
    static const sf_polygon_record *polygon_info(void *state, sf_polygon_id polygon);
    static const sf_point_record *point_info(void *state, sf_point_id point);

    sf_edit_session inner_;
    sf_edit_session record_{};
};

// One target polygon written straight into `target_polygons`, for tests
// that need no host.
struct target_shape {
    std::vector<Point> points;
    Point normal;
};

// Replaces `target_polygons` with these records, in order.
void install_targets(const std::vector<target_shape> &targets);

}  // namespace sowfield::testing
