// Telling apart, among the points and polygons a run added, the clones that
// are exact placed copies of the object (the background geometry), so that a
// writer can store the object once and each such clone as a placement.
//
// A clone is built by walking the background polygons in order and creating
// each background point the first time a polygon meets it, so clone point i
// corresponds to point i of that walk and clone polygon j to background
// polygon j. A clone counts as a placed copy when one transform
//     position = translation + rotation * (scale * object point)
// (per-axis scale, possibly negative) gives every one of its points, its
// polygons are the object's (type, surface, corners), every vertex-map value
// is the object's (morph displacements under the same rotation and scale)
// and its "SF_index" value is one value for the whole clone.
//
// The transform is solved from a few well-spread points of the clone, then
// checked on every point and morph value against what a file would hold (the
// single-precision translation, rotation and scale applied to the object's
// single-precision points). A clone passes when no coordinate differs by more
// than kPlacementTolerance * (|translation| + r), r the largest distance of
// its points from the translation (maximum norm), and likewise for morph
// displacements relative to the largest one. An importer that computes the
// placement in single precision adds its own rounding, which stays below
// three times that again: the positions it shows differ from the real
// clone's by at most kPlacementBound * (|translation| + r).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/scene/scene.h"

namespace sowfield::io {

// 2^-22 and 2^-20: four and sixteen units of single-precision rounding.
inline constexpr double kPlacementTolerance = 0x1p-22;
inline constexpr double kPlacementBound = 0x1p-20;

// Where one clone stands, as a file stores it (every value is a float).
struct ClonePlacement {
    uint64_t clone = 0;  // 0-based, in the order the run added the clones
    std::array<float, 3> translation{};
    std::array<float, 4> rotation{0, 0, 0, 1};  // unit quaternion x, y, z, w
    std::array<float, 3> scale{1, 1, 1};
    float sf_index = 0.0f;
};

struct CloneInstances {
    // The object as every clone copies it: the background points in the order
    // a clone meets them, the background polygons over them and the values of
    // the layer's vertex maps (except "SF_index") that the clones copy.
    host::Layer object;
    uint32_t first_point = 0;    // the first clone's first point in the layer
    uint32_t first_polygon = 0;  // and its first polygon
    uint32_t clone_points = 0;   // points and polygons of one clone
    uint32_t clone_polygons = 0;
    uint64_t clones = 0;                  // clones the run added
    std::vector<ClonePlacement> placed;   // the placed copies, in clone order
    // Why the other clones are not placed copies: a reason and how many
    // clones it concerns, most frequent first.
    std::vector<std::pair<std::string, uint64_t>> not_placed;

    uint64_t realized() const { return clones - placed.size(); }
};

// Looks at the points from `first_point` and the polygons from
// `first_polygon` of the foreground layer, which a run over the background
// layers `background` added.
CloneInstances find_clone_instances(const host::Scene &scene, size_t foreground, const std::vector<size_t> &background,
                                    uint32_t first_point, uint32_t first_polygon);

// The rotation and scale of a placement as a matrix (column-major, 3 x 3)
// in double precision, as the checks and the reader apply it.
std::array<double, 9> placement_matrix(const ClonePlacement &placement);

}  // namespace sowfield::io
