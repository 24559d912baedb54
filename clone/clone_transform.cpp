#include "clone/clone_transform.h"

#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>

#include "numeric/random.h"
#include "surface/polygon_weight.h"

namespace sowfield {

clone_state_typ clone_state;
const clone_site *current_site = nullptr;

namespace {

// One rotation's sine and cosine, kept with the bit pattern of the angle they
// belong to. Comparing bits rather than values tells -0.0 from 0.0 (the y
// rotation turns them into different sines) and lets a NaN angle match itself.
class cached_turn {
public:
    explicit cached_turn(AxisTurn (*make)(double)) : make_(make) {}

    const AxisTurn &operator()(double angle) {
        const auto bits = std::bit_cast<uint64_t>(angle);
        if (!filled_ || bits != bits_) {
            turn_ = make_(angle);
            bits_ = bits;
            filled_ = true;
        }
        return turn_;
    }

private:
    AxisTurn (*make_)(double);
    AxisTurn turn_;
    uint64_t bits_ = 0;
    bool filled_ = false;
};

// Keyed on the angles rather than filled by draw_clone_transform, so a caller
// that sets clone_state or the site directly still gets the right turns.
cached_turn bank_turn(turn_skipping_zero);
cached_turn pitch_turn(turn_skipping_zero);
cached_turn heading_turn(turn_always);
cached_turn site_pitch_turn(turn_skipping_zero);
cached_turn site_heading_turn(turn_always);

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

    frame.bank = bank_turn(clone_state.angles.z);
    frame.pitch = pitch_turn(clone_state.angles.y);
    frame.heading = heading_turn(clone_state.angles.x);

    if (settings.p_align_normals == 1) {
        assert(current_site != nullptr);
        frame.site_pitch = site_pitch_turn(current_site->pitch);
    }
    if (settings.h_align_normals == 1) {
        assert(current_site != nullptr);
        frame.site_heading = site_heading_turn(current_site->heading);
    }
    return frame;
}

double draw_jitter(const clone_frame &frame) { return draw(frame.jitter_low, frame.jitter_high); }

Point transform_point(const Point &point, const params_typ &settings) {
    return apply_frame(current_clone_frame(settings), point);
}

}  // namespace sowfield
