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
//
// The grid is flat: each cell holds the positions of its first sites itself,
// so that a test reads a few whole cells from one array instead of following
// a chain of sites spread over memory; the rare crowded cell continues in an
// overflow block.
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
    // square cells of twice `spacing` (the run's base spacing, above every
    // spacing the run tests without a density map), so that a test looks at
    // two by two cells; coarsened so that there are no more cells than
    // expected sites. Without a grid (box or spacing not finite, or never
    // planned) all sites share one cell. Sites outside the box fall into the
    // border cells.
    void plan_grid(const Point &lo, const Point &hi, double spacing, int64_t expected_sites);

    // True when an earlier site s has p.x - d < s.x <= p.x + d and
    // sqrt((p.y - s.y)^2 + (p.x - s.x)^2 + (p.z - s.z)^2) < d, the terms summed
    // in that order: exactly the sites on which the sorted walk would refuse.
    bool has_site_within(const Point &p, double d) const;

    // Asks the memory for the cells has_site_within(p, d) would read, ahead
    // of that call.
    void prefetch_around(const Point &p, double d) const;

    // Makes room for `sites` sites in one go.
    void reserve(size_t sites);

    // Records a new site at `p` and returns its node, valid until the next
    // call of add, link or clear.
    clone_site &add(const Point &p);

    // Links all nodes into one list and returns its head (null when empty):
    // the order that inserting each site into an x-sorted list would give,
    // before the first site of strictly greater x, so equal x keep the order
    // in which they were added. The nodes move into list order; sites added
    // later are placed as if inserted into that list.
    clone_site *link();

    size_t size() const { return nodes_.size(); }

private:
    struct slot {
        double x, y, z;
    };
    // One cell, or one overflow block of a crowded cell: two cache lines.
    struct alignas(64) block {
        static constexpr int32_t kSlots = 5;
        int32_t count;  // slots in use
        int32_t more;   // the next overflow block of the cell, or -1
        slot sites[kSlots];
    };
    static_assert(sizeof(block) == 128, "a block fills two cache lines");

    // A site whose x is not a number: the sorted insertion puts it after every
    // site present then, and no later site of lesser x passes it.
    struct unordered_site {
        size_t node;
        double max_x_before;  // greatest x among the sites present, or -inf
    };

    bool cell_box(const Point &p, double d, int32_t first[2], int32_t last[2]) const;
    bool block_refuses(const block &b, const Point &p, double lo_x, double hi_x, double d) const;
    bool scan_all(const Point &p, double lo_x, double hi_x, double d) const;
    int32_t cell_coord(double v, int axis) const;
    size_t cell_of(const Point &p) const;
    void make_cells();
    std::vector<uint32_t> nodes_by_x() const;
    std::vector<uint32_t> with_unordered(const std::vector<uint32_t> &sorted) const;
    void restate_insertion_order();
    void enter(const Point &p);

    std::vector<clone_site> nodes_;  // in the order the sites were added
    std::vector<unordered_site> unordered_;
    double max_x_ = -std::numeric_limits<double>::infinity();  // greatest x added so far

    // Only sites with three finite coordinates can refuse a candidate (any
    // other gives a distance that is not below d), so only they are entered.
    std::vector<block> cells_;     // row after row along the first axis
    std::vector<block> overflow_;  // further blocks of crowded cells
    int axis_[2] = {0, 2};
    double origin_[2] = {0.0, 0.0};
    double inverse_cell_ = 0.0;
    int32_t counts_[2] = {1, 1};
    size_t entered_ = 0;  // finite sites in the cells
};

}  // namespace sowfield
