// The foreground polygons that may carry clones, copied out of the host once
// per run, and the area operations on them.
#pragma once

#include <cstdint>
#include <memory>

#include "numeric/point.h"
#include "sowfield_host.h"

namespace sowfield {

class face6_typ {
public:
    face6_typ();
    virtual ~face6_typ();
    face6_typ(const face6_typ &) = delete;
    face6_typ &operator=(const face6_typ &) = delete;

    // Replaces the point array with `count` cleared points.
    void allocate_points(int32_t count);

    int32_t point_count = 0;
    std::unique_ptr<Point[]> points;  // world positions, in the polygon's order
    Point normal;                     // as the host's polygon_normal gave it
    sf_polygon_id polygon = nullptr;  // the host's id
};

// The run's target polygons; the index into this array is the polygon index
// that the weights, the sites and the clones use.
extern std::unique_ptr<face6_typ[]> target_polygons;
extern int32_t target_capacity;
extern int32_t target_count;

// Destroys any previous array and creates `capacity` records in their new
// state. Returns true when the array could not be created.
bool allocate_target_polygons(int32_t capacity);

// Scan visitor over the foreground; `context` is the params_typ. Records each
// selected "FACE" polygon within the slope limits. Always returns 0.
int collect_target_polygon(void *context, const sf_polygon_record *polygon);

double triangle_area(const Point &a, const Point &b, const Point &c);
double polygon_area(int32_t index, const face6_typ *polygons);
double total_area(const face6_typ *polygons, int32_t count);

}  // namespace sowfield
