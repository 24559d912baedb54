// Tiny scene builders, so that a test reads like its sentence:
//
//     TwoLayerScene world;
//     add_quad(world.fg, {0, 0, 0}, {1, 0, 0}, {1, 0, -1}, {0, 0, -1});
//     add_cube(world.bg, {0, 0.5, 0}, 1.0);
//     set_weight(world.bg, "height", 0, 0.25f);
//
// Each polygon builder adds its own points (nothing is shared between
// separate calls) and returns the new polygon's index in the layer.
#pragma once

#include <cstdint>
#include <string_view>

#include "host/scene/scene.h"
#include "sowfield_host.h"

namespace sowfield::testing {

using host::Layer;
using host::Scene;
using host::Vec3;

// A scene of two layers: "foreground" (index 0, the foreground set) and
// "background" (index 1, the background set).
struct TwoLayerScene {
    TwoLayerScene();
    TwoLayerScene(const TwoLayerScene &) = delete;
    TwoLayerScene &operator=(const TwoLayerScene &) = delete;

    Scene scene;
    Layer &fg;
    Layer &bg;
};

struct PolygonStyle {
    bool selected = true;
    uint32_t type = SF_POLY_FACE;
    uint32_t surface = 0;
};

uint32_t add_triangle(Layer &layer, const Vec3 &a, const Vec3 &b, const Vec3 &c, PolygonStyle style = {});
uint32_t add_quad(Layer &layer, const Vec3 &a, const Vec3 &b, const Vec3 &c, const Vec3 &d, PolygonStyle style = {});

// An axis-aligned cube of edge `size` around `centre`: 8 shared points and 6
// quads whose points run counter-clockwise seen from outside. Returns the
// index of its first polygon (the others follow).
uint32_t add_cube(Layer &layer, const Vec3 &centre, double size, PolygonStyle style = {});

// The index of corner `corner` of polygon `polygon`.
uint32_t corner(const Layer &layer, uint32_t polygon, size_t corner);

// Vertex-map values of one point, creating the map when missing.
void set_weight(Layer &layer, std::string_view map, uint32_t point, float weight);
void set_uv(Layer &layer, std::string_view map, uint32_t point, float u, float v);
void set_morph(Layer &layer, std::string_view map, uint32_t point, float dx, float dy, float dz);
// The same weight on every corner of a polygon.
void set_polygon_weight(Layer &layer, std::string_view map, uint32_t polygon, float weight);

}  // namespace sowfield::testing
