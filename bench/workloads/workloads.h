// The benchmark workloads, generated rather than committed: a terrain to
// scatter on and a closed object to scatter, built straight into host layers.
#pragma once

#include <cstdint>

#include "host/scene/scene.h"

namespace sowfield::bench {

// A `quads` x `quads` grid of quads, `side` units across, centred on the
// origin, with a gentle height field (so normals vary) and one steep ridge.
// Every polygon is selected; points run counter-clockwise seen from above.
void build_terrain(host::Layer &layer, int quads, double side);

// A closed surface of revolution about +y, `rings` x `segments` points plus
// its two poles, the lower pole at the origin (so a clone stands exactly on its
// site). Carries a UV map "UV", a weight map "height" and a morph map "bulge"
// on every point. With the defaults, 2,002 points and 2,050 polygons.
void build_object(host::Layer &layer, int rings = 40, int segments = 50);

// A scene whose foreground is `surface`-sized terrain and whose background
// is the object.
struct Workload {
    host::Scene scene;
    uint64_t object_points = 0;
    uint64_t object_polygons = 0;
};
void build_workload(Workload &workload, int terrain_quads = 512, double side = 100.0);

}  // namespace sowfield::bench
