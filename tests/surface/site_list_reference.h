// The site distribution written the plain way: sites in a singly linked list
// sorted by x, and a spacing test that walks the list from its head. The
// production code answers the same spacing questions from a grid; the tests
// run both on the same scenes and settings and require the same sites.
#pragma once

#include <vector>

#include "numeric/point.h"
#include "settings/params.h"
#include "settings/vmap_catalogue.h"

namespace sowfield::testing {

// Sites in a singly linked list sorted by x, as first designed.
class reference_site_list {
public:
    reference_site_list() = default;
    reference_site_list(const reference_site_list &) = delete;
    reference_site_list &operator=(const reference_site_list &) = delete;
    ~reference_site_list();

    // Links a new site before the first site of strictly greater x, or at
    // the end; returns its number (0 for the first site inserted, and so on).
    size_t insert(const Point &p);

    // Walks from the head: passes over sites with s.x <= p.x - d, stops and
    // accepts at the first site with s.x > p.x + d, refuses at a site whose
    // distance is below d; accepts at the end.
    bool spacing_accepts(const Point &p, double d) const;

    // The site numbers in list order.
    std::vector<size_t> order() const;

private:
    struct node {
        Point position;
        size_t number;
        node *next;
    };
    node *head_ = nullptr;
    size_t count_ = 0;
};

struct reference_site {
    int32_t polygon_index = 0;
    Point position;
    double heading = 0.0;
    double pitch = 0.0;
    double area = 0.0;
};

struct reference_run {
    std::vector<reference_site> sites;  // in list order
    double mean_area = 0.0;
};

// Runs the whole distribution over the current target polygons, drawing from
// a generator reseeded with the seed and from the process-wide `generator`
// exactly as distribute_sites does. Leaves `site_list` and `mean_area` alone.
reference_run reference_distribute_sites(const vmap_catalogue &catalogue, const params_typ &settings);

}  // namespace sowfield::testing
