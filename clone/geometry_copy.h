// One clone: a transformed copy of every background polygon, with its points
// and their vertex-map values, added to the foreground.
#pragma once

#include <cstdint>

#include "clone/point_map.h"
#include "settings/params.h"
#include "sowfield_host.h"

namespace sowfield {

// The number the current clone appends to morph-map names; 0 for none.
extern int32_t morph_suffix;

// Background point -> its copy in the current clone. Emptied at the start of
// every clone, so points are shared within a clone and never across clones.
extern point_id_map point_map;

// Points and vertex-map values of the run's clones left out because they were
// not finite numbers: a coordinate that is not a number or infinite in the
// background or under a site, or a size, jitter or weight factor that
// overflowed. Such a point is not made, so the polygons over it are left out;
// such a value is not written. The driver zeroes it before the clones and
// reports it once after them.
extern int64_t non_finite_left_out;

// The weight map that tells each clone's points apart: the clone's index over
// the number of clones.
inline constexpr char kCloneIndexMap[] = "SF_index";

// Builds the clone of `current_site` (the driver sets it and
// `settings.current_clone`): draws the transform, then the morph-map number
// (from `generator`, when "Auto morph maps" is not 0), and copies every
// background polygon through the run's `edit_session`. A background point
// that no polygon uses is not copied.
void build_clone(const params_typ &settings);

// build_clone's scan visitor over the background; `context` is the
// params_typ, and the clone's transform is the one build_clone drew. Copies one
// polygon: each of its points not yet in this clone is transformed, moved
// onto the site, added, and given its vertex-map values ("TXUV", "WGHT", the
// clone index in "SF_index", "MORF" turned with the clone and written under
// the numbered name, "MNVW", "SPOT" as it is); then the polygon is added with
// the source's type, the source as template and the new points in the
// source's order. Always 0, so the scan goes on.
//
// A polygon the host cannot describe a point of is left out whole, before
// any of its points is made. A point the host refuses to add gets no values,
// and the polygons over it are left out; the other points of the clone
// still are made.
int copy_polygon(void *context, const sf_polygon_record *polygon);

// Empties the point map and gives back its memory and the clone's scratch
// (end of run).
void release_point_map();

}  // namespace sowfield
