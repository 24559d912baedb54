#include "settings/params.h"

namespace sowfield {

params_typ::params_typ()
    : p_angle_absolute(0),
      auto_morph_maps(0),
      dependence_power(0.5),
      size_weightmap_influence(0.5),
      size_weightmap(0),
      max_slope_angle(kDefaultMaxSlope),
      min_slope_angle(0.0),
      slope_limits(0),
      jitter(0.0),
      distribution(0.8),
      h_align_normals(1),
      p_align_normals(1),
      b_max(kDefaultAngleBound),
      b_min(-kDefaultAngleBound),
      p_max(kDefaultAngleBound),
      p_min(-kDefaultAngleBound),
      h_max(kDefaultAngleBound),
      h_min(-kDefaultAngleBound),
      size_variation_x(0.25),
      size_variation_y(0.25),
      size_variation_z(0.25),
      independent_sizes(0),
      clone_count(30),
      iterations(15),
      size_by_poly_area(0),
      random_seed(25),
      density_weightmap(0),
      p_angle_weightmap(0) {}

params_typ::~params_typ() = default;

params_typ params;

}  // namespace sowfield
