// The edit session over a two-layer scene, driven through its C record as a
// plug-in drives it.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/edit/edit_session.h"
#include "tests/support/scene_builders.h"

namespace sowfield::host {

using sowfield::testing::add_cube;
using sowfield::testing::add_quad;
using sowfield::testing::add_triangle;
using sowfield::testing::set_weight;
using sowfield::testing::TwoLayerScene;
using ::testing::HasSubstr;

// A floor quad whose points run counter-clockwise seen from above (+y).
inline uint32_t add_floor(Layer &layer, double y = 0.0, sowfield::testing::PolygonStyle style = {}) {
    return add_quad(layer, {0, y, 0}, {0, y, 1}, {1, y, 1}, {1, y, 0}, style);
}

class EditSessionTest : public ::testing::Test {
protected:
    sf_edit_session &begin() {
        edit = session.begin();
        EXPECT_NE(edit, nullptr);
        return *edit;
    }
    // The calls go through the C record, as a plug-in makes them.
    int32_t count_points(int32_t set, int32_t mode) { return edit->count_points(edit->state, set, mode); }
    int32_t count_polygons(int32_t set, int32_t mode) { return edit->count_polygons(edit->state, set, mode); }
    void end(int32_t code) { edit->end_edit(edit->state, code, 0); }

    TwoLayerScene world;
    ContractLog log;
    EditSession session{world.scene, log};
    sf_edit_session *edit = nullptr;
};

}  // namespace sowfield::host
