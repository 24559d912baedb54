// What the clones need of each background point: its position and its
// values in the maps the clones carry. The background does not change while
// the clones are built (they only add points of their own), so each point is
// read from the host once, by the first clone that meets it, and every later
// clone takes it from here instead of asking the host again for the point and
// for each of its maps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "numeric/point.h"
#include "sowfield_host.h"

namespace sowfield {

// One map's value of a background point, as read: the values its type has
// (at most three), and whether the point has a value in the map at all.
struct background_value {
    float values[3] = {0.0f, 0.0f, 0.0f};
    bool present = false;
};

struct background_point {
    Point position;
    sf_point_id id = nullptr;  // as the host describes it
    bool described = false;    // position and id read
    bool valued = false;       // values read
};

// Background points by their number in the point map (point_id_map::number),
// each with one background_value per map the clones carry, in copy order.
class background_point_table {
public:
    // Called as each clone starts. Forgets everything when the point map's
    // numbering or the number of maps changed since the last clone.
    void prepare(uint64_t numbering, size_t maps);

    // The point of `number`, made (not yet described) on first use.
    background_point &point(uint32_t number) {
        if (number >= points_.size()) [[unlikely]]
            grow(number);
        return points_[number];
    }
    // Its values, one per map; valid for a number point() has seen.
    background_value *values(uint32_t number) { return values_.data() + size_t{number} * maps_; }

    // Forgets everything and gives the memory back (end of run).
    void release();

private:
    void grow(uint32_t number);

    std::vector<background_point> points_;
    std::vector<background_value> values_;
    size_t maps_ = 0;
    uint64_t numbering_ = UINT64_MAX;
};

}  // namespace sowfield
