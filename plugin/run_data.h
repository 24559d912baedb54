// The one end-of-run release of every per-run array and list. It lives with
// the driver, the one layer that sees the settings' lists, the target
// polygons and sites, and the clones' point map together.
#pragma once

namespace sowfield {

// Releases the target polygons, the site list, the point map, the five map
// name lists and the size weights, in that order. Each is set to empty, so a
// second call does nothing.
void release_run_data();

}  // namespace sowfield
