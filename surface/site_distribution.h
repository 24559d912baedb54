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
    double heading = 0.0;  // azimuth of the polygon normal about y, radians
    double pitch = 0.0;    // tilt of the normal from +y, plus the "P angle weightmap" term
    double area = 0.0;     // the polygon's area; written only with "Size depends on Poly Area"
    clone_site *next = nullptr;  // the following site in ascending x
};

// Head of the run's sites, in ascending x of their positions (ties in the
// order they were chosen); null when empty. The nodes live in one block owned
// by the distribution; release_site_list frees them.
extern clone_site *site_list;

// Total area of the target polygons divided by their number.
extern double mean_area;

// Fills `site_list` with `clone_count` sites (none for a count of 0 or less).
// Needs target_count >= 1; with no target polygon it makes no sites.
// Polygons and points come from a generator reseeded with |random_seed|; the
// density lottery draws from the process-wide `generator`.
void distribute_sites(const vmap_catalogue &catalogue, const params_typ &settings);

// The acceptance test of one candidate p on a polygon of area `area` with
// density weight `weight`, at spacing `spacing`: the poly-area and density
// adjustments of the spacing, the density lottery (one draw from `generator`
// when it is reached), then the spacing test against every site recorded so
// far. `area` is read only with "Size depends on Poly Area", `weight` only
// with a "Density WeightMap".
bool site_is_free(const params_typ &settings, const Point &p, double area, double weight, double spacing);

// Records a site at p and returns its node, valid until the next insert_site,
// link_site_list or release_site_list. The nodes join `site_list` when link_site_list runs.
clone_site &insert_site(const Point &p);

// Links every recorded site into `site_list`: ascending x, a site going after
// all earlier sites of equal x. distribute_sites ends with it.
void link_site_list();

// Releases every site; the list becomes empty.
void release_site_list();

// One attempt at a site, as the distribution made it: for the tests and for
// tools that show how a result came about.
struct site_attempt {
    int32_t clone = 0;        // 0-based clone number
    int64_t attempt = 0;      // 1-based attempt within the clone
    int32_t polygon_index = 0;
    Point position;
    bool tested = false;      // false for the attempt past "Iterations", taken untested
    double spacing = 0.0;     // the spacing handed to site_is_free, when tested
    bool accepted = false;
};

// Called after every attempt, accepted or not; null (the default) for none.
using site_attempt_observer = void (*)(void *context, const site_attempt &attempt);
void set_site_attempt_observer(site_attempt_observer observer, void *context);

}  // namespace sowfield
