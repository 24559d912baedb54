// Settings shared by the clone tests.
#pragma once

#include "settings/params.h"

namespace sowfield::testing {

// Every size factor 1, no jitter, no weights, no angles, no alignment: the
// clone transform is the identity, and draws nothing.
inline params_typ identity_settings() {
    params_typ s;
    s.h_min = s.h_max = s.p_min = s.p_max = s.b_min = s.b_max = 0.0;
    s.size_variation_x = s.size_variation_y = s.size_variation_z = 0.0;
    s.h_align_normals = s.p_align_normals = 0;
    return s;
}

}  // namespace sowfield::testing
