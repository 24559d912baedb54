#include "tests/support/scene_builders.h"

#include <array>

namespace sowfield::testing {

TwoLayerScene::TwoLayerScene() : fg(scene.add_layer("foreground")), bg(scene.add_layer("background")) {
    scene.foreground = {0};
    scene.background = {1};
}

namespace {

template <size_t N>
uint32_t add_polygon(Layer &layer, const std::array<Vec3, N> &corners, PolygonStyle style) {
    std::array<uint32_t, N> points{};
    for (size_t i = 0; i < N; ++i) points[i] = layer.add_point(corners[i]);
    return layer.add_polygon(style.type, points, style.surface, style.selected ? SF_POLY_SELECTED : 0u);
}

}  // namespace

uint32_t add_triangle(Layer &layer, const Vec3 &a, const Vec3 &b, const Vec3 &c, PolygonStyle style) {
    return add_polygon<3>(layer, {a, b, c}, style);
}

uint32_t add_quad(Layer &layer, const Vec3 &a, const Vec3 &b, const Vec3 &c, const Vec3 &d, PolygonStyle style) {
    return add_polygon<4>(layer, {a, b, c, d}, style);
}

uint32_t add_cube(Layer &layer, const Vec3 &centre, double size, PolygonStyle style) {
    const double h = size / 2;
    uint32_t p[8];
    // Bit 0 of i picks +x, bit 1 +y, bit 2 +z.
    for (uint32_t i = 0; i < 8; ++i)
        p[i] = layer.add_point({centre[0] + ((i & 1) ? h : -h), centre[1] + ((i & 2) ? h : -h),
                                centre[2] + ((i & 4) ? h : -h)});
    // Each face counter-clockwise seen from outside (its normal points out).
    const uint32_t faces[6][4] = {
        {0, 2, 3, 1},  // -z
        {4, 5, 7, 6},  // +z
        {0, 1, 5, 4},  // -y
        {2, 6, 7, 3},  // +y
        {0, 4, 6, 2},  // -x
        {1, 3, 7, 5},  // +x
    };
    const uint32_t flags = style.selected ? SF_POLY_SELECTED : 0u;
    uint32_t first = 0;
    for (int f = 0; f < 6; ++f) {
        const uint32_t points[4] = {p[faces[f][0]], p[faces[f][1]], p[faces[f][2]], p[faces[f][3]]};
        const uint32_t index = layer.add_polygon(style.type, points, style.surface, flags);
        if (f == 0) first = index;
    }
    return first;
}

uint32_t corner(const Layer &layer, uint32_t polygon, size_t corner) { return layer.polygon_points(polygon)[corner]; }

void set_weight(Layer &layer, std::string_view map, uint32_t point, float weight) {
    layer.add_vmap(SF_VMAP_WGHT, map, 1).set_value(point, &weight);
}

void set_uv(Layer &layer, std::string_view map, uint32_t point, float u, float v) {
    const float values[2] = {u, v};
    layer.add_vmap(SF_VMAP_TXUV, map, 2).set_value(point, values);
}

void set_morph(Layer &layer, std::string_view map, uint32_t point, float dx, float dy, float dz) {
    const float values[3] = {dx, dy, dz};
    layer.add_vmap(SF_VMAP_MORF, map, 3).set_value(point, values);
}

void set_polygon_weight(Layer &layer, std::string_view map, uint32_t polygon, float weight) {
    for (uint32_t point : layer.polygon_points(polygon)) set_weight(layer, map, point, weight);
}

}  // namespace sowfield::testing
