#include "settings/params.h"

#include <gtest/gtest.h>

namespace sowfield {
namespace {

TEST(Params, DefaultsAreTheOnesUsersSeeAtFirstRun) {
    const params_typ p;
    EXPECT_EQ(p.clone_count, 30);
    EXPECT_EQ(p.size_variation_x, 0.25);
    EXPECT_EQ(p.size_variation_y, 0.25);
    EXPECT_EQ(p.size_variation_z, 0.25);
    EXPECT_EQ(p.independent_sizes, 0);
    // Ten degrees and 180 degrees as computed with 3.1415 for pi.
    EXPECT_EQ(p.h_max, 0.17452777777777778);
    EXPECT_EQ(p.h_min, -0.17452777777777778);
    EXPECT_EQ(p.p_max, 0.17452777777777778);
    EXPECT_EQ(p.p_min, -0.17452777777777778);
    EXPECT_EQ(p.b_max, 0.17452777777777778);
    EXPECT_EQ(p.b_min, -0.17452777777777778);
    EXPECT_EQ(p.max_slope_angle, 3.1415);
    EXPECT_EQ(p.min_slope_angle, 0.0);
    EXPECT_EQ(p.slope_limits, 0);
    EXPECT_EQ(p.h_align_normals, 1);
    EXPECT_EQ(p.p_align_normals, 1);
    EXPECT_EQ(p.distribution, 0.8);
    EXPECT_EQ(p.iterations, 15);
    EXPECT_EQ(p.random_seed, 25);
    EXPECT_EQ(p.size_weightmap, 0);
    EXPECT_EQ(p.density_weightmap, 0);
    EXPECT_EQ(p.p_angle_weightmap, 0);
    EXPECT_EQ(p.dependence_power, 0.5);
    EXPECT_EQ(p.size_weightmap_influence, 0.5);
    EXPECT_EQ(p.jitter, 0.0);
    EXPECT_EQ(p.auto_morph_maps, 0);
    EXPECT_EQ(p.size_by_poly_area, 0);
    EXPECT_EQ(p.p_angle_absolute, 0);
}

TEST(Params, TheLibraryInstanceStartsFromTheDefaults) {
    const params_typ fresh;
    EXPECT_EQ(params.clone_count, fresh.clone_count);
    EXPECT_EQ(params.random_seed, fresh.random_seed);
    EXPECT_EQ(params.current_clone, 0);
}

}  // namespace
}  // namespace sowfield
