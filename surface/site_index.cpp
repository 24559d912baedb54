#include "surface/site_index.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

namespace sowfield {

namespace {

constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

// Grid size bounds: at most one cell per expected site (cells of twice the
// spacing hold about two and a half sites each once all are placed), and no
// run asks for more than 1 Mi cells (128 MiB) whatever its clone count.
constexpr int64_t kMinCells = int64_t{1} << 10;
constexpr int64_t kMaxCells = int64_t{1} << 20;

double coordinate(const Point &p, int axis) { return axis == 0 ? p.x : (axis == 1 ? p.y : p.z); }

bool refuses(const Point &s, const Point &p, double lo_x, double hi_x, double d) {
    if (!(s.x > lo_x) || s.x > hi_x) return false;
    const double dy = p.y - s.y;
    const double dx = p.x - s.x;
    const double dz = p.z - s.z;
    return std::sqrt(dy * dy + dx * dx + dz * dz) < d;
}

// Both cache lines of a block.
void prefetch_block(const void *block) {
    __builtin_prefetch(block);
    __builtin_prefetch(static_cast<const char *>(block) + 64);
}

}  // namespace

void site_index::clear() {
    std::vector<clone_site>().swap(nodes_);
    std::vector<unordered_site>().swap(unordered_);
    std::vector<block>().swap(cells_);
    std::vector<block>().swap(overflow_);
    max_x_ = kMinusInfinity;
    entered_ = 0;
    counts_[0] = counts_[1] = 1;
    origin_[0] = origin_[1] = 0.0;
    inverse_cell_ = 0.0;
}

void site_index::reserve(size_t sites) { nodes_.reserve(sites); }

void site_index::plan_grid(const Point &lo, const Point &hi, double spacing, int64_t expected_sites) {
    counts_[0] = counts_[1] = 1;
    origin_[0] = origin_[1] = 0.0;
    inverse_cell_ = 0.0;
    const double extent[3] = {hi.x - lo.x, hi.y - lo.y, hi.z - lo.z};
    bool usable = spacing > 0.0 && std::isfinite(spacing);
    for (const double e : extent) usable = usable && e >= 0.0 && std::isfinite(e);
    if (usable) {
        // The two widest axes carry the grid; the third is left to the
        // distance test. Horizontal ground prefers x and z, a wall the axes
        // of its plane.
        int order[3] = {0, 2, 1};
        std::stable_sort(order, order + 3, [&](int a, int b) { return extent[a] > extent[b]; });
        axis_[0] = order[0];
        axis_[1] = order[1];

        const int64_t cap = std::clamp(expected_sites, kMinCells, kMaxCells);
        double cell = 2.0 * spacing;
        double count[2] = {};
        for (;;) {
            for (int k = 0; k < 2; ++k) count[k] = std::floor(extent[axis_[k]] / cell) + 1.0;
            if (count[0] * count[1] <= static_cast<double>(cap)) break;
            cell *= 2.0;
        }
        for (int k = 0; k < 2; ++k) {
            counts_[k] = static_cast<int32_t>(count[k]);
            origin_[k] = coordinate(lo, axis_[k]);
        }
        inverse_cell_ = 1.0 / cell;
    }
    make_cells();
    for (const clone_site &node : nodes_)
        if (all_finite(node.position)) enter(node.position);
}

void site_index::make_cells() {
    block empty{};
    empty.count = 0;
    empty.more = -1;
    cells_.assign(static_cast<size_t>(counts_[0]) * static_cast<size_t>(counts_[1]), empty);
    overflow_.clear();
    entered_ = 0;
}

// Monotone in v (subtraction, multiplication by a positive constant and the
// clamp all keep order), so a site inside a query range is always found in a
// cell of that range, whatever the rounding.
int32_t site_index::cell_coord(double v, int k) const {
    const double t = (v - origin_[k]) * inverse_cell_;
    if (!(t >= 0.0)) return 0;
    if (t >= static_cast<double>(counts_[k] - 1)) return counts_[k] - 1;
    return static_cast<int32_t>(t);
}

size_t site_index::cell_of(const Point &p) const {
    return static_cast<size_t>(cell_coord(coordinate(p, axis_[0]), 0)) * static_cast<size_t>(counts_[1]) +
           static_cast<size_t>(cell_coord(coordinate(p, axis_[1]), 1));
}

void site_index::enter(const Point &p) {
    if (cells_.empty()) make_cells();
    block *b = &cells_[cell_of(p)];
    while (b->count == block::kSlots) {
        if (b->more < 0) {
            // Index first: growing the overflow may move the block b is in.
            const auto more = static_cast<int32_t>(overflow_.size());
            b->more = more;
            block empty{};
            empty.count = 0;
            empty.more = -1;
            overflow_.push_back(empty);
            b = &overflow_[static_cast<size_t>(more)];
            break;
        }
        b = &overflow_[static_cast<size_t>(b->more)];
    }
    b->sites[b->count++] = {p.x, p.y, p.z};
    ++entered_;
}

bool site_index::block_refuses(const block &b, const Point &p, double lo_x, double hi_x, double d) const {
    for (int32_t k = 0; k < b.count; ++k)
        if (refuses({b.sites[k].x, b.sites[k].y, b.sites[k].z}, p, lo_x, hi_x, d)) return true;
    return false;
}

bool site_index::scan_all(const Point &p, double lo_x, double hi_x, double d) const {
    for (const clone_site &node : nodes_)
        if (refuses(node.position, p, lo_x, hi_x, d)) return true;
    return false;
}

// The cells that hold every site a test of p at spacing d must look at.
// Along x the band is the walk's own comparison. Across it, a distance that
// comes out below d after rounding can exceed d in exact terms by a few units
// in the last place (and by the underflow of tiny squares), so the box is
// widened by far more than that. False when no site can refuse p.
bool site_index::cell_box(const Point &p, double d, int32_t first[2], int32_t last[2]) const {
    // No comparison with a spacing that is not a number holds, and a spacing
    // of 0 or less leaves an empty band: such a candidate is never refused.
    if (!(d > 0.0)) return false;
    // A non-finite coordinate makes every distance infinite or not a number.
    if (!all_finite(p) || entered_ == 0) return false;
    const double reach = d + (d * 0x1p-20 + 1e-150);
    for (int k = 0; k < 2; ++k) {
        const int axis = axis_[k];
        const double v = coordinate(p, axis);
        const double lo = axis == 0 ? p.x - d : v - reach;
        const double hi = axis == 0 ? p.x + d : v + reach;
        first[k] = cell_coord(lo, k);
        last[k] = cell_coord(hi, k);
    }
    return true;
}

void site_index::prefetch_around(const Point &p, double d) const {
    int32_t first[2];
    int32_t last[2];
    if (!cell_box(p, d, first, last)) return;
    // A wide box is read cell by cell anyway; fetching ahead pays for the
    // few cells of an ordinary test.
    constexpr int64_t kPrefetchedCells = 16;
    if (int64_t{last[0] - first[0] + 1} * int64_t{last[1] - first[1] + 1} > kPrefetchedCells) return;
    const size_t row = static_cast<size_t>(counts_[1]);
    for (int32_t c0 = first[0]; c0 <= last[0]; ++c0)
        for (int32_t c1 = first[1]; c1 <= last[1]; ++c1)
            prefetch_block(cells_.data() + static_cast<size_t>(c0) * row + static_cast<size_t>(c1));
}

bool site_index::has_site_within(const Point &p, double d) const {
    int32_t first[2];
    int32_t last[2];
    if (!cell_box(p, d, first, last)) return false;
    const double lo_x = p.x - d;
    const double hi_x = p.x + d;
    const int64_t box = int64_t{last[0] - first[0] + 1} * int64_t{last[1] - first[1] + 1};
    // A spacing as wide as the surface: looking at every site is cheaper
    // than visiting every cell. Sites that are not finite never refuse.
    if (box > static_cast<int64_t>(entered_)) return scan_all(p, lo_x, hi_x, d);

    const size_t row = static_cast<size_t>(counts_[1]);
    for (int32_t c0 = first[0]; c0 <= last[0]; ++c0) {
        const block *cells = cells_.data() + static_cast<size_t>(c0) * row;
        for (int32_t c1 = first[1]; c1 <= last[1]; ++c1)
            for (const block *b = &cells[c1];; b = &overflow_[static_cast<size_t>(b->more)]) {
                if (block_refuses(*b, p, lo_x, hi_x, d)) return true;
                if (b->more < 0) break;
            }
    }
    return false;
}

clone_site &site_index::add(const Point &p) {
    const size_t node = nodes_.size();
    if (std::isnan(p.x))
        unordered_.push_back({node, max_x_});
    else if (p.x > max_x_)
        max_x_ = p.x;
    nodes_.emplace_back();
    nodes_.back().position = p;

    if (all_finite(p)) enter(p);
    return nodes_.back();
}

// The nodes whose x is a number, in ascending x, equal x in the order added:
// a stable radix sort on the bits of x, turned so that their order as
// unsigned integers is the order of the values (-0 counts as +0, as the
// comparisons of the sorted insertion have it). Digits all sites share are
// skipped.
std::vector<uint32_t> site_index::nodes_by_x() const {
    struct keyed {
        uint64_t key;
        uint32_t node;
    };
    std::vector<keyed> from;
    from.reserve(nodes_.size() - unordered_.size());
    for (size_t i = 0; i < nodes_.size(); ++i) {
        const double x = nodes_[i].position.x;
        if (std::isnan(x)) continue;
        uint64_t bits;
        const double plus_zero_x = x + 0.0;
        std::memcpy(&bits, &plus_zero_x, sizeof bits);
        const uint64_t key = (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
        from.push_back({key, static_cast<uint32_t>(i)});
    }
    std::vector<keyed> to(from.size());
    constexpr int kDigitBits = 16;
    constexpr size_t kBuckets = size_t{1} << kDigitBits;
    std::vector<size_t> start(kBuckets);
    for (int shift = 0; shift < 64; shift += kDigitBits) {
        std::fill(start.begin(), start.end(), 0);
        for (const keyed &k : from) ++start[(k.key >> shift) & (kBuckets - 1)];
        if (!from.empty() && start[(from.front().key >> shift) & (kBuckets - 1)] == from.size()) continue;
        size_t sum = 0;
        for (size_t &b : start) sum += std::exchange(b, sum);
        for (const keyed &k : from) to[start[(k.key >> shift) & (kBuckets - 1)]++] = k;
        from.swap(to);
    }
    std::vector<uint32_t> order(from.size());
    for (size_t i = 0; i < from.size(); ++i) order[i] = from[i].node;
    return order;
}

// The sorted sites with those whose x is not a number put in. Such a site
// compares greater than nothing, so the sorted insertion appends it, and a
// later site goes before it only when some site already present then has a
// greater x. The sites that end up after it are thus those added later with
// x at least the greatest x present when it was added: a tail of the sorted
// order.
std::vector<uint32_t> site_index::with_unordered(const std::vector<uint32_t> &sorted) const {
    std::vector<uint32_t> order;
    order.reserve(nodes_.size());
    size_t next_sorted = 0;
    for (const unordered_site &u : unordered_) {
        const auto tail = std::partition_point(sorted.begin(), sorted.end(), [&](uint32_t s) {
            return !(s > u.node && nodes_[s].position.x >= u.max_x_before);
        });
        const auto until = static_cast<size_t>(tail - sorted.begin());
        for (; next_sorted < until; ++next_sorted) order.push_back(sorted[next_sorted]);
        order.push_back(static_cast<uint32_t>(u.node));
    }
    for (; next_sorted < sorted.size(); ++next_sorted) order.push_back(sorted[next_sorted]);
    return order;
}

clone_site *site_index::link() {
    if (nodes_.empty()) return nullptr;

    // Sites whose x is a number: ascending x, equal x in the order added.
    std::vector<uint32_t> sorted = nodes_by_x();
    const std::vector<uint32_t> order = unordered_.empty() ? std::move(sorted) : with_unordered(sorted);

    // The nodes move into list order, so that whoever walks the list reads
    // memory front to back instead of jumping about.
    std::vector<clone_site> linked;
    linked.reserve(order.size());
    for (const uint32_t node : order) linked.push_back(nodes_[node]);
    nodes_.swap(linked);
    for (size_t k = 0; k + 1 < nodes_.size(); ++k) nodes_[k].next = &nodes_[k + 1];
    nodes_.back().next = nullptr;
    restate_insertion_order();
    return nodes_.data();
}

// A list made by sorted insertions comes out the same when its sites are
// inserted again one by one in list order, so the nodes, now in list order,
// are taken for the order of insertion: later sites and links go on from it.
void site_index::restate_insertion_order() {
    unordered_.clear();
    max_x_ = kMinusInfinity;
    for (size_t i = 0; i < nodes_.size(); ++i) {
        const double x = nodes_[i].position.x;
        if (std::isnan(x))
            unordered_.push_back({i, max_x_});
        else if (x > max_x_)
            max_x_ = x;
    }
}

}  // namespace sowfield
