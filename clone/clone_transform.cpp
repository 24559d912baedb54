#include "clone/clone_transform.h"

#include <cassert>
#include <cmath>

#include "numeric/random.h"
#include "surface/polygon_weight.h"

namespace sowfield {

clone_state_typ clone_state;
const clone_site *current_site = nullptr;

namespace {

double draw(double lo, double hi) { return generator.double_between(lo, hi); }

double area_ratio(const clone_site &site) {
    double r = site.area / mean_area;
    if (!std::isfinite(r) || r < kAreaRatioFloor) r = kAreaRatioFloor;
    return r;
}

double size_draw(double variation, double f) { return draw(1.0 - variation, variation + 1.0) * f; }

}  // namespace

void draw_clone_transform(const params_typ &settings) {
    clone_state.angles.x = draw(settings.h_min, settings.h_max);
    clone_state.angles.y = draw(settings.p_min, settings.p_max);
    clone_state.angles.z = draw(settings.b_min, settings.b_max);

    double f = 1.0;
    if (settings.size_by_poly_area == 1) {
        assert(current_site != nullptr && "the driver sets the site before building a clone");
        // The power is a factor on the ratio, not an exponent.
        f = area_ratio(*current_site) * settings.dependence_power;
    }
    clone_state.scale_x = size_draw(settings.size_variation_x, f);
    if (settings.independent_sizes == 1) {
        clone_state.scale_y = size_draw(settings.size_variation_y, f);
        clone_state.scale_z = size_draw(settings.size_variation_z, f);
    }
}

clone_frame current_clone_frame(const params_typ &settings) {
    clone_frame frame;
    frame.independent_sizes = settings.independent_sizes == 1;
    frame.scale_x = clone_state.scale_x;
    if (frame.independent_sizes) {
        frame.scale_y = clone_state.scale_y;
        frame.scale_z = clone_state.scale_z;
    }

    // One factor for all three coordinates: a point moves along the line
    // through the pivot, never sideways.
    frame.jitter = settings.jitter > 0.0;
    if (frame.jitter) {
        frame.jitter_low = 1.0 - settings.jitter;
        frame.jitter_high = settings.jitter + 1.0;
    }

    if (settings.size_weightmap > 0) {
        assert(current_site != nullptr && size_weights != nullptr && "size weights are computed before the clones");
        const double w = size_weights[static_cast<size_t>(current_site->polygon_index)];
        const double influence = settings.size_weightmap_influence;
        frame.weighted = true;
        frame.weight_factor = w < 0.0 ? w * 0.5 * influence + 1.0 : w * influence + 1.0;
    }

    frame.bank = turn_skipping_zero(clone_state.angles.z);
    frame.pitch = turn_skipping_zero(clone_state.angles.y);
    frame.heading = turn_always(clone_state.angles.x);

    if (settings.p_align_normals == 1) {
        assert(current_site != nullptr);
        frame.site_pitch = turn_skipping_zero(current_site->pitch);
    }
    if (settings.h_align_normals == 1) {
        assert(current_site != nullptr);
        frame.site_heading = turn_always(current_site->heading);
    }
    return frame;
}

double draw_jitter(const clone_frame &frame) { return draw(frame.jitter_low, frame.jitter_high); }

Point transform_point(const Point &point, const params_typ &settings) {
    return apply_frame(current_clone_frame(settings), point);
}

}  // namespace sowfield
