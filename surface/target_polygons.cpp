#include "surface/target_polygons.h"

#include <cmath>
#include <new>

#include "plugin/host_services.h"
#include "settings/params.h"

namespace sowfield {

std::unique_ptr<face6_typ[]> target_polygons;
int32_t target_capacity = 0;
int32_t target_count = 0;

face6_typ::face6_typ() = default;

face6_typ::~face6_typ() = default;

void face6_typ::allocate_points(int32_t count) {
    points.reset();
    point_count = count;
    if (count > 0) points = std::make_unique<Point[]>(static_cast<size_t>(count));
}

bool allocate_target_polygons(int32_t capacity) {
    target_polygons.reset();
    target_capacity = 0;
    if (capacity <= 0) return false;
    target_polygons.reset(new (std::nothrow) face6_typ[static_cast<size_t>(capacity)]);
    if (!target_polygons) return true;
    target_capacity = capacity;
    return false;
}

namespace {

// Angle between the normal and +Y: 0 facing up, pi/2 a wall, pi facing down.
double slope_of(const Point &n) { return std::atan2(std::sqrt(n.z * n.z + n.x * n.x), n.y); }

bool within_slope_limits(const params_typ &settings, const Point &normal) {
    if (settings.slope_limits != 1) return true;
    const double slope = slope_of(normal);
    return !(slope > settings.max_slope_angle) && !(slope < settings.min_slope_angle);
}

}  // namespace

int collect_target_polygon(void *context, const sf_polygon_record *polygon) {
    const auto &settings = *static_cast<const params_typ *>(context);
    if (polygon->type != SF_POLY_FACE) return 0;
    if ((polygon->flags & SF_POLY_SELECTED) == 0) return 0;
    // The host's count and its scan should agree; should they not, the array
    // is never written past its end.
    if (target_count >= target_capacity) return 0;

    sf_edit_session &edit = *edit_session;
    Point normal;
    edit.polygon_normal(edit.state, polygon->id, &normal.x);
    if (!within_slope_limits(settings, normal)) return 0;

    face6_typ &record = target_polygons[static_cast<size_t>(target_count)];
    record.polygon = polygon->id;
    record.normal = normal;
    record.allocate_points(polygon->point_count);
    for (int32_t j = 0; j < record.point_count; ++j) {
        const sf_point_record *point = edit.point_info(edit.state, polygon->points[j]);
        if (point != nullptr) record.points[j] = {point->position[0], point->position[1], point->position[2]};
    }
    ++target_count;
    return 0;
}

double triangle_area(const Point &a, const Point &b, const Point &c) {
    const double d1 = distance(a, b);
    const double d2 = distance(b, c);
    const double d3 = distance(c, a);
    const double s = (d2 + d1 + d3) * 0.5;
    const double product = (s - d1) * s * (s - d2) * (s - d3);
    // Rounding can take the product of a degenerate (collinear) triangle a
    // little below zero; its area is zero, not the NaN that sqrt would give.
    return product > 0.0 ? std::sqrt(product) : 0.0;
}

double polygon_area(int32_t index, const face6_typ *polygons) {
    const face6_typ &record = polygons[index];
    if (record.point_count < 3 || !record.points) return 0.0;
    double area = 0.0;
    for (int32_t k = 2; k < record.point_count; ++k)
        area += triangle_area(record.points[0], record.points[k - 1], record.points[k]);
    return area;
}

double total_area(const face6_typ *polygons, int32_t count) {
    double total = 0.0;
    for (int32_t i = 0; i < count; ++i) total += polygon_area(i, polygons);
    return total;
}

}  // namespace sowfield
