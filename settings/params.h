// The parameter record: every user setting of the command, plus the index of
// the clone being built. One instance, `params`, lives as long as the library,
// so the values accepted at one run are the values the next run starts from.
#pragma once

#include <cstdint>

#include "numeric/angles.h"

namespace sowfield {

// 10 degrees and 180 degrees as computed with 3.1415 for pi; the panel has
// always shown these values, so they are kept exactly.
inline constexpr double kDefaultAngleBound = 10.0 * kPanelPi / 180.0;
inline constexpr double kDefaultMaxSlope = kPanelPi;

class params_typ {
public:
    params_typ();
    virtual ~params_typ();

    // Units: angles in radians, "percent" settings as fractions (0.25 = 25 %),
    // flags 0 or 1, pop-ups as the 0-based index of the chosen entry
    // (0 = "none", k = the k-th weight map of the scene).
    int32_t current_clone = 0;  // written by the run loop only
    int32_t p_angle_absolute;
    int32_t auto_morph_maps;
    double dependence_power;
    double size_weightmap_influence;
    int32_t size_weightmap;
    double max_slope_angle;
    double min_slope_angle;
    int32_t slope_limits;
    double jitter;
    double distribution;
    int32_t h_align_normals;
    int32_t p_align_normals;
    double b_max;
    double b_min;
    double p_max;
    double p_min;
    double h_max;
    double h_min;
    double size_variation_x;
    double size_variation_y;
    double size_variation_z;
    int32_t independent_sizes;
    int32_t clone_count;
    int32_t iterations;
    int32_t size_by_poly_area;
    int32_t random_seed;
    int32_t density_weightmap;
    int32_t p_angle_weightmap;
};

// The settings of this loaded library.
extern params_typ params;

}  // namespace sowfield
