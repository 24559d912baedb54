#include "surface/random_point.h"

namespace sowfield {

// Placeholder until the surface work lands: every site at the polygon's first point.
void compute_frame_angles(polygon_frame &) {}
void to_local(const polygon_frame &, Point *, const Point &, int32_t) {}
void to_world(const polygon_frame &, Point *, const Point &, int32_t) {}
Point random_point_on_polygon(random &, const face6_typ &record) {
    return record.point_count > 2 ? record.points[0] : Point{};
}

}  // namespace sowfield
