// The choice of one site per clone on the target polygons.
#pragma once

#include <cstdint>

#include "numeric/point.h"
#include "settings/params.h"
#include "settings/vmap_catalogue.h"

namespace sowfield {

struct clone_site {
    int32_t polygon_index = 0;
    Point position;
    double heading = 0.0;
    double pitch = 0.0;
    double area = 0.0;
    clone_site *next = nullptr;  // the following site in ascending x
};

// Head of the run's sites, in ascending x of their positions (ties in the
// order they were chosen); null when empty.
extern clone_site *site_list;

// Total area of the target polygons divided by their number.
extern double mean_area;

// Fills `site_list` with `clone_count` sites. Needs target_count >= 1.
void distribute_sites(const vmap_catalogue &catalogue, const params_typ &settings);

// Releases every site; the list becomes empty.
void release_site_list();

}  // namespace sowfield
