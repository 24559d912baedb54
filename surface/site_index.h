// The sites chosen so far in one run, kept so that the spacing test finds the
// sites near a candidate without walking every earlier site.
//
// The spacing rule is stated on a list sorted by x: walk from the head, pass
// over sites with s.x <= p.x - d, stop at the first site with s.x > p.x + d,
// and refuse when a site in between lies at a distance below d. That walk
// looks at every site left of the band, so a run of n clones costs O(n^2).
// The rule has no side effects and only the existence of a refusing site
// matters, so this index answers the same question from a uniform grid over
// the two widest axes of the target surface, applying the very same
// comparisons to the sites the grid finds. The list itself is linked once, at
// the end, in the order the sorted insertions would have produced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "numeric/point.h"
#include "surface/site_distribution.h"

namespace sowfield {

class site_index {
public:
    // Forgets every site and the grid, and releases their memory.
    void clear();

    // Lays the grid over the box [lo, hi] (the target polygons' points), with
    // square cells of about `spacing` (the run's base spacing), coarsened so
    // that the grid stays within a few cells per expected site. Without a
    // grid (box or spacing not finite, or never planned) every test scans all
    // sites. Sites outside the box fall into the border cells.
    void plan_grid(const Point &lo, const Point &hi, double spacing, int64_t expected_sites);

    // True when an earlier site s has p.x - d < s.x <= p.x + d and
    // sqrt((p.y - s.y)^2 + (p.x - s.x)^2 + (p.z - s.z)^2) < d, the terms summed
    // in that order: exactly the sites on which the sorted walk would refuse.
    bool has_site_within(const Point &p, double d) const;

    // Makes room for `sites` sites in one go.
    void reserve(size_t sites);

    // Records a new site at `p` and returns its node, valid until the next
    // call of add or clear.
    clone_site &add(const Point &p);

    // Links all nodes into one list and returns its head (null when empty):
    // the order that inserting each site into an x-sorted list would give,
    // before the first site of strictly greater x, so equal x keep the order
    // in which they were added.
    clone_site *link();

    size_t size() const { return nodes_.size(); }

private:
    struct entry {
        double x, y, z;
        int32_t next;  // the next entry of the same cell, or -1
    };
    // A site whose x is not a number: the sorted insertion puts it after every
    // site present then, and no later site of lesser x passes it.
    struct unordered_site {
        size_t node;
        double max_x_before;  // greatest x among the sites present, or -inf
    };

    bool refuses(const entry &s, const Point &p, double lo_x, double hi_x, double d) const;
    bool scan_all(const Point &p, double lo_x, double hi_x, double d) const;
    int32_t cell_coord(double v, int axis) const;

    std::vector<clone_site> nodes_;  // in the order the sites were added
    std::vector<unordered_site> unordered_;
    double max_x_ = -std::numeric_limits<double>::infinity();  // greatest x added so far

    // Only sites with three finite coordinates can refuse a candidate (any
    // other gives a distance that is not below d), so only they are entered.
    std::vector<entry> entries_;
    std::vector<int32_t> heads_;  // first entry of each cell, or -1
    int axis_[2] = {0, 2};
    double origin_[2] = {0.0, 0.0};
    double inverse_cell_ = 0.0;
    int32_t cells_[2] = {0, 0};
};

}  // namespace sowfield
