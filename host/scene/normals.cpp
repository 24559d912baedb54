#include "host/scene/normals.h"

#include <cmath>

namespace sowfield::host {

Vec3 newell_sums(const Layer &layer, std::span<const uint32_t> points) {
    if (points.size() < 3) return {0.0, 0.0, 0.0};
    // Newell's sums: each edge (i, j) adds the cross-product terms of its two
    // ends; the result is twice the polygon's vector area, exact for planar
    // polygons and a least-squares orientation for others.
    double nx = 0.0, ny = 0.0, nz = 0.0;
    for (size_t i = 0; i < points.size(); ++i) {
        const Vec3 &a = layer.position(points[i]);
        const Vec3 &b = layer.position(points[i + 1 == points.size() ? 0 : i + 1]);
        nx += (a[1] - b[1]) * (a[2] + b[2]);
        ny += (a[2] - b[2]) * (a[0] + b[0]);
        nz += (a[0] - b[0]) * (a[1] + b[1]);
    }
    return {nx, ny, nz};
}

bool newell_normal(const Layer &layer, std::span<const uint32_t> points, Vec3 &normal) {
    normal = {0.0, 0.0, 0.0};
    const auto [nx, ny, nz] = newell_sums(layer, points);
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(length > 0.0) || !std::isfinite(length)) return false;
    normal = {nx / length, ny / length, nz / length};
    return true;
}

}  // namespace sowfield::host
