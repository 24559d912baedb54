// The size and orientation of one clone, and the mapping of background points
// into it.
#pragma once

#include "numeric/point.h"
#include "settings/params.h"
#include "surface/site_distribution.h"

namespace sowfield {

// Written by draw_clone_transform, read by transform_point. Zero when the
// library is loaded and never reset: every clone overwrites what it reads.
struct clone_state_typ {
    Point angles;  // x = heading, y = pitch, z = bank, radians
    double scale_x = 0.0;  // the one size factor unless sizes are independent
    double scale_y = 0.0;  // drawn and read only with independent sizes
    double scale_z = 0.0;  // drawn and read only with independent sizes
};

extern clone_state_typ clone_state;

// The site the clone being built stands on; set by the driver.
extern const clone_site *current_site;

// The floor on a site's area relative to the mean area, before the
// dependence power multiplies it.
inline constexpr double kAreaRatioFloor = 0.7;

// Draws from `generator`, in this order: heading, pitch and bank (each
// between its two bounds; equal bounds draw nothing), then the size factor
// along x and, with independent sizes, along y and z (a variation of 0 draws
// nothing).
//
// With "Size depends on Poly Area" every size factor is multiplied by the
// site's area over the mean area, held at kAreaRatioFloor or above, times the
// dependence power. A ratio that is not a finite number (a mean area of 0
// when every target polygon is degenerate, or an area that could not be
// measured) is held at the floor too, so that no infinite or undefined size
// ever reaches the geometry.
void draw_clone_transform(const params_typ &settings);

// Maps a background point into the clone, relative to its site (the caller
// adds the site's position): size, a jitter factor drawn from `generator` on
// every call when jitter is above 0, the "Size WeightMap" factor of the site's
// polygon (negative weights with half the influence), then bank about z,
// pitch about x and heading about y, then, when switched on, the site's pitch
// about z and the site's heading about y.
//
// The sines and cosines are kept from one call to the next while the angles
// stay the same, so a clone pays for its trigonometry once, not per point;
// results are bit for bit those of rotating by the angles directly.
Point transform_point(const Point &p, const params_typ &settings);

// What transform_point applies that stays the same through one clone: the
// size factors, the jitter bounds, the size-weight factor and the five turns
// (a turn that does not apply is skipped). A clone's copy works it out once
// and maps each of its points with apply_frame, which gives bit for bit what
// transform_point gives, without looking at the settings again per point.
struct clone_frame {
    bool independent_sizes = false;
    double scale_x = 1.0;
    double scale_y = 1.0;
    double scale_z = 1.0;
    bool jitter = false;  // draw a jitter factor between the two bounds
    double jitter_low = 1.0;
    double jitter_high = 1.0;
    bool weighted = false;  // multiply by weight_factor
    double weight_factor = 1.0;
    AxisTurn bank;
    AxisTurn pitch;
    AxisTurn heading;
    AxisTurn site_pitch;    // skipped without pitch alignment
    AxisTurn site_heading;  // skipped without heading alignment
};

// The frame of clone_state, current_site and `settings` as they are now.
clone_frame current_clone_frame(const params_typ &settings);

// One jitter factor from `generator`, between the frame's bounds.
double draw_jitter(const clone_frame &frame);

// transform_point through a frame: the same operations in the same order.
inline Point apply_frame(const clone_frame &frame, const Point &point) {
    Point p = point;
    if (frame.independent_sizes)
        p = {p.x * frame.scale_x, p.y * frame.scale_y, p.z * frame.scale_z};
    else
        p = p * frame.scale_x;
    if (frame.jitter) p = p * draw_jitter(frame);
    if (frame.weighted) p = p * frame.weight_factor;
    p = rotate_z(p, frame.bank);
    p = rotate_x(p, frame.pitch);
    p = rotate_y(p, frame.heading);
    p = rotate_z(p, frame.site_pitch);
    p = rotate_y(p, frame.site_heading);
    return p;
}

}  // namespace sowfield
