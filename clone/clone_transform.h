// The size and orientation of one clone, and the mapping of background points
// into it.
#pragma once

#include "numeric/point.h"
#include "settings/params.h"
#include "surface/site_distribution.h"

namespace sowfield {

struct clone_state_typ {
    Point angles;  // x = heading, y = pitch, z = bank, radians
    double scale_x = 0.0;
    double scale_y = 0.0;
    double scale_z = 0.0;
};

extern clone_state_typ clone_state;

// The site the clone being built stands on; set by the driver.
extern const clone_site *current_site;

// Draws the clone's angles, then its size factors, from `generator`.
void draw_clone_transform(const params_typ &settings);

// Size, jitter, size weight, random orientation, then alignment with the
// site's normal; relative to the site (not translated).
Point transform_point(const Point &p, const params_typ &settings);

}  // namespace sowfield
