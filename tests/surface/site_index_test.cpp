// The grid-indexed sites against the plain x-sorted list they replace: the
// same order, the same spacing answers, and whole distributions that agree
// bit for bit.
#include "surface/site_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "numeric/random.h"
#include "site_list_reference.h"
#include "surface/attempt_stream.h"
#include "surface/target_polygons.h"
#include "tests/support/run_host.h"

namespace sowfield {
namespace {

using testing::reference_site_list;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

// Draws from the plug-in's own generator so that every case is repeatable.
struct dice : random {
    explicit dice(int32_t seed) { reseed(seed); }
    double in(double lo, double hi) { return double_between(lo, hi); }
    int32_t pick(int32_t count) { return std::min(int_between(0, count), count - 1); }  // 0 .. count - 1
    bool chance(double p) { return next_unit() < p; }
};

// A coordinate that is sometimes one of the awkward values.
double awkward(dice &d, double lo, double hi, double odd_share) {
    if (!d.chance(odd_share)) return d.in(lo, hi);
    const double odd[] = {kNaN, kInf, -kInf, -0.0, 0.0, 1.0, 1.0, lo, hi};
    return odd[d.pick(9)];
}

// The site numbers in the order the index links them; each node carries its
// number in `polygon_index`.
std::vector<size_t> linked_order(site_index &index) {
    std::vector<size_t> order;
    for (const clone_site *s = index.link(); s != nullptr; s = s->next) order.push_back(static_cast<size_t>(s->polygon_index));
    return order;
}

TEST(SiteIndexLink, SameOrderAsInsertingIntoTheSortedList) {
    dice d(41);
    for (int trial = 0; trial < 400; ++trial) {
        site_index index;
        reference_site_list list;
        const int32_t count = 1 + d.pick(80);
        const double odd_share = trial % 3 == 0 ? 0.0 : 0.3;
        for (int32_t i = 0; i < count; ++i) {
            Point p{awkward(d, -3, 3, odd_share), d.in(0, 1), d.in(0, 1)};
            if (trial % 2 == 0) p.x = std::round(p.x);  // few distinct values: many ties
            index.add(p).polygon_index = static_cast<int32_t>(list.insert(p));
        }
        ASSERT_EQ(linked_order(index), list.order()) << "trial " << trial;
        // Linking again gives the same list, and sites added after a link
        // go where inserting them into the list would put them.
        ASSERT_EQ(linked_order(index), list.order()) << "trial " << trial;
        for (int32_t i = 0; i < 5; ++i) {
            const Point p{awkward(d, -3, 3, odd_share), d.in(0, 1), d.in(0, 1)};
            index.add(p).polygon_index = static_cast<int32_t>(list.insert(p));
        }
        ASSERT_EQ(linked_order(index), list.order()) << "trial " << trial;
    }
}

TEST(SiteIndexLink, EmptyIndexLinksToNothing) {
    site_index index;
    EXPECT_EQ(index.link(), nullptr);
    index.add({1, 2, 3});
    index.clear();
    EXPECT_EQ(index.size(), 0u);
    EXPECT_EQ(index.link(), nullptr);
}

// A cloud of sites on a surface inside the box [lo, hi], some outside it
// and some not finite, queried at spacings from tiny to infinite.
TEST(SiteIndexSpacing, SameAnswersAsTheListWalk) {
    dice d(8);
    int64_t refusals = 0;
    int64_t queries = 0;
    for (int trial = 0; trial < 120; ++trial) {
        const Point lo{d.in(-50, 0), d.in(-5, 0), d.in(-50, 0)};
        const Point hi{lo.x + d.in(0, 100), lo.y + (trial % 4 == 0 ? 0.0 : d.in(0, 10)), lo.z + d.in(0, 100)};
        const double spacing = std::pow(10.0, d.in(-3, 2));
        const int32_t count = 1 + d.pick(400);
        const double odd_share = trial % 5 == 0 ? 0.05 : 0.0;
        site_index index;
        reference_site_list list;
        // Plan before or after the first sites: both must index every site.
        const int32_t planned_after = trial % 2 == 0 ? 0 : d.pick(count);
        for (int32_t i = 0; i < count; ++i) {
            if (i == planned_after) index.plan_grid(lo, hi, spacing, count);
            const Point p{awkward(d, lo.x - 5, hi.x + 5, odd_share), awkward(d, lo.y - 1, hi.y + 1, odd_share),
                          awkward(d, lo.z - 5, hi.z + 5, odd_share)};
            index.add(p);
            list.insert(p);
        }
        for (int q = 0; q < 300; ++q) {
            const Point p{awkward(d, lo.x - 8, hi.x + 8, odd_share), d.in(lo.y - 2, hi.y + 2),
                          awkward(d, lo.z - 8, hi.z + 8, odd_share)};
            double dist = spacing * d.in(0, 4);
            if (q % 50 == 0) dist = (q / 50) % 2 == 0 ? kInf : 1e300;
            if (q % 97 == 0) dist = kNaN;
            if (q % 89 == 0) dist = -spacing;
            if (q % 83 == 0) dist = 1e-310;
            const bool refused = index.has_site_within(p, dist);
            ASSERT_EQ(!refused, list.spacing_accepts(p, dist))
                << "trial " << trial << " query " << q << " d " << dist << " p " << p.x << " " << p.y << " " << p.z;
            refusals += refused ? 1 : 0;
            ++queries;
        }
    }
    // Both answers occur often enough for the comparison to mean something.
    EXPECT_GT(refusals, queries / 5);
    EXPECT_LT(refusals, queries * 4 / 5);
}

TEST(SiteIndexSpacing, SitesJustInsideTheSpacingAcrossCellBordersAreFound) {
    // Sites on the borders of the grid's cells and just below them, queried
    // at spacings within an ulp of their rounded distance, so that every
    // refusal hangs on one site that may lie in the next cell.
    site_index index;
    reference_site_list list;
    index.plan_grid({0, 0, 0}, {10, 0, 10}, 0.5, 400);
    const auto lattice = [](int k, bool below) { return below ? std::nextafter(k * 0.5, -kInf) : k * 0.5; };
    for (int i = 0; i <= 20; ++i)
        for (int k = 0; k <= 20; ++k) {
            const Point p{lattice(i, (i + k) % 2 == 1), 0, lattice(k, (i / 2 + k) % 2 == 1)};
            index.add(p);
            list.insert(p);
        }
    dice d(99);
    int refusals = 0;
    for (int q = 0; q < 60000; ++q) {
        const int i = d.pick(21);
        const int k = d.pick(21);
        const Point site{lattice(i, (i + k) % 2 == 1), 0, lattice(k, (i / 2 + k) % 2 == 1)};
        Point p = site;
        switch (q % 3) {
            case 0: {
                const double angle = d.in(0, 6.283185307179586);
                const double r = d.in(0.0, 1.0);
                p = {site.x + r * std::cos(angle), d.in(-0.01, 0.01), site.z + r * std::sin(angle)};
                break;
            }
            case 1: p.z += d.in(-1.0, 1.0); break;   // straight across the z border
            default: p.x += d.in(-1.0, 1.0); break;  // along x, onto the band's ends
        }
        const double dy = p.y - site.y;
        const double dx = p.x - site.x;
        const double dz = p.z - site.z;
        const double exact = std::sqrt(dy * dy + dx * dx + dz * dz);
        for (const double dist : {exact, std::nextafter(exact, kInf), std::nextafter(std::nextafter(exact, kInf), kInf),
                                  std::nextafter(exact, 0.0), std::abs(p.x - site.x), std::abs(p.z - site.z)}) {
            const bool refused = index.has_site_within(p, dist);
            ASSERT_EQ(!refused, list.spacing_accepts(p, dist)) << q << " " << dist;
            refusals += refused ? 1 : 0;
        }
    }
    EXPECT_GT(refusals, 60000);
}

// A random target surface in the host's session: triangles to hexagons in
// random planes, some bent out of their plane, some degenerate, a few with
// points that are not finite, each reporting a normal that may disagree with
// its points; every polygon weighted in "dense" and "tilt".
struct random_scene : testing::RunHost {
    random_scene(dice &d, int layout, bool odd_points) {
        world.fg.add_vmap(SF_VMAP_WGHT, "dense", 1);
        world.fg.add_vmap(SF_VMAP_WGHT, "tilt", 1);
        const int32_t polygons = 1 + d.pick(layout == 0 ? 4 : 40);
        for (int32_t i = 0; i < polygons; ++i) add_polygon(d, layout, odd_points && d.chance(0.1));
        begin();
        collect_targets(params_typ{});
    }

    void add_polygon(dice &d, int layout, bool odd) {
        const Point centre = layout == 1 ? Point{d.in(-20, 20), 0, d.in(-20, 20)}
                                         : Point{d.in(-20, 20), d.in(-20, 20), d.in(-20, 20)};
        // Two directions spanning the plane: ground, a wall, or any plane.
        Point u{1, 0, 0};
        Point v{0, 0, 1};
        if (layout == 2) v = {0, 1, 0};
        if (layout >= 3) {
            u = unit({d.in(-1, 1), d.in(-1, 1), d.in(-1, 1)});
            v = unit({d.in(-1, 1), d.in(-1, 1), d.in(-1, 1)});
        }
        const Point n = unit({u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x});
        const double size = d.in(0.05, 6);
        const int32_t corners = 1 + d.pick(6);  // 1 to 6 points
        std::vector<uint32_t> points;
        for (int32_t k = 0; k < corners; ++k) {
            const double a = 6.283185307179586 * k / corners + d.in(-0.2, 0.2);
            Point p = centre + u * (size * std::cos(a)) + v * (size * std::sin(a));
            if (d.chance(0.1)) p = p + n * d.in(-1, 1);  // bent
            if (d.chance(0.03) && k > 0) p = centre;      // coincident points
            if (odd) p.x = d.chance(0.5) ? kNaN : kInf;
            points.push_back(world.fg.add_point({p.x, p.y, p.z}));
        }
        Point normal = n;
        if (d.chance(0.2)) normal = n * -1.0;
        if (d.chance(0.05)) normal = {0, 0, 0};
        if (d.chance(0.1)) normal = {0, d.chance(0.5) ? 1.0 : -1.0, 0};
        const uint32_t polygon = add_face_over(world.fg, points, {normal.x, normal.y, normal.z});
        const double weights[] = {0.0, -0.8, -1.0, 1.0, 0.1, 0.5};
        const double dense = d.chance(0.4) ? weights[d.pick(6)] : d.in(-1, 1.5);
        testing::set_polygon_weight(world.fg, "dense", polygon, static_cast<float>(dense));
        testing::set_polygon_weight(world.fg, "tilt", polygon, static_cast<float>(d.in(0, 1)));
        if (d.chance(0.2)) testing::set_weight(world.fg, "dense", points[0], static_cast<float>(d.in(-2, 2)));
    }
};

params_typ random_settings(dice &d) {
    params_typ s;
    const int32_t counts[] = {1, 2, 17, 150, 400, 900};
    s.clone_count = counts[d.pick(6)];
    const double distributions[] = {0.0, 0.2, 0.8, 0.8, 1.5, 4.0, 50.0, 1e300, kInf};
    s.distribution = distributions[d.pick(9)];
    const int32_t iterations[] = {-2, 0, 1, 3, 15, 15, 40};
    s.iterations = iterations[d.pick(7)];
    s.size_by_poly_area = d.chance(0.5) ? 1 : 0;
    const int32_t density[] = {0, 0, 1, 1, 3};
    s.density_weightmap = density[d.pick(5)];
    s.p_angle_weightmap = d.chance(0.3) ? 2 : 0;
    s.p_angle_absolute = d.chance(0.5) ? 1 : 0;
    s.h_align_normals = d.chance(0.8) ? 1 : 0;
    s.p_align_normals = d.chance(0.8) ? 1 : 0;
    s.random_seed = d.int_between(-100000, 100000);
    return s;
}

void expect_same_bits(const clone_site &got, const testing::reference_site &want, size_t k) {
    ASSERT_EQ(got.polygon_index, want.polygon_index) << "site " << k;
    ASSERT_EQ(bits(got.position.x), bits(want.position.x)) << "site " << k;
    ASSERT_EQ(bits(got.position.y), bits(want.position.y)) << "site " << k;
    ASSERT_EQ(bits(got.position.z), bits(want.position.z)) << "site " << k;
    ASSERT_EQ(bits(got.heading), bits(want.heading)) << "site " << k;
    ASSERT_EQ(bits(got.pitch), bits(want.pitch)) << "site " << k;
    ASSERT_EQ(bits(got.area), bits(want.area)) << "site " << k;
}

TEST(SiteIndexDistribution, SameSitesAsTheListWalkBitForBit) {
    dice d(2024);
    size_t total_sites = 0;
    for (int trial = 0; trial < 160; ++trial) {
        const int layout = trial % 5;  // one polygon or few, ground, wall, any plane (twice)
        random_scene scene(d, layout, trial % 7 == 6);
        const params_typ settings = random_settings(d);
        SCOPED_TRACE("trial " + std::to_string(trial) + ", " + std::to_string(settings.clone_count) + " clones, " +
                     std::to_string(target_count) + " polygons, distribution " + std::to_string(settings.distribution) +
                     ", iterations " + std::to_string(settings.iterations));

        const int32_t lottery_seed = d.int_between(1, 1 << 30);
        generator.reseed(lottery_seed);
        const testing::reference_run want = testing::reference_distribute_sites(scene.catalogue, settings);
        const double next_after_reference = generator.next_unit();

        generator.reseed(lottery_seed);
        distribute_sites(scene.catalogue, settings);
        EXPECT_EQ(generator.next_unit(), next_after_reference);
        EXPECT_EQ(bits(mean_area), bits(want.mean_area));

        size_t k = 0;
        for (const clone_site *s = site_list; s != nullptr; s = s->next, ++k) {
            ASSERT_LT(k, want.sites.size());
            expect_same_bits(*s, want.sites[k], k);
        }
        ASSERT_EQ(k, want.sites.size());
        ASSERT_TRUE(scene.misuse.entries().empty()) << scene.misuse.entries().front();
        total_sites += k;
    }
    EXPECT_GT(total_sites, 20000u);
}


// The sites of a distribution run now against those of the list walk.
void expect_same_sites_as_list_walk(const vmap_catalogue &catalogue, const params_typ &settings) {
    const testing::reference_run want = testing::reference_distribute_sites(catalogue, settings);
    distribute_sites(catalogue, settings);
    size_t k = 0;
    for (const clone_site *s = site_list; s != nullptr; s = s->next, ++k) {
        ASSERT_LT(k, want.sites.size());
        expect_same_bits(*s, want.sites[k], k);
    }
    ASSERT_EQ(k, want.sites.size());
}

// Far more polygons than the clones come back to, so their charts share a
// small table: polygons meet in its places, and hexagons (their points kept
// apart from the table) fill and empty the point pool many times.
class SiteIndexOnQuilt : public testing::RunTest {
protected:
    void expect_list_walk_sites_on_quilt(double tilt, int32_t clones = 3000) {
        constexpr int kSide = 110;
        const host::Vec3 n = {-tilt, 1, 0};
        const auto bulge = [](int a, int b) { return static_cast<double>((a * 7 + b * 13) % 10) / 40.0; };
        for (int i = 0; i < kSide; ++i)
            for (int k = 0; k < kSide; ++k) {
                const auto at = [&](double x, double z) { return host::Vec3{x, tilt * x, z}; };
                if ((i + k) % 2 == 0)
                    add_face(world.fg, {at(i, k), at(i, k + 1.0), at(i + 1.0, k + 1.0), at(i + 1.0, k)}, n);
                else  // hexagons of many shapes, so that no two share their local points
                    add_face(world.fg,
                             {at(i, k), at(i - bulge(i, k), k + 0.5), at(i, k + 1.0), at(i + 1.0, k + 1.0),
                              at(i + 1.0 + bulge(k, i), k + 0.5), at(i + 1.0, k)},
                             n);
            }
        begin();
        collect_targets(params_typ{});
        ASSERT_EQ(target_count, kSide * kSide);
        for (const double distribution : {0.8, 3.0}) {
            params_typ settings;
            settings.clone_count = clones;
            settings.distribution = distribution;
            settings.iterations = 25;
            expect_same_sites_as_list_walk(catalogue, settings);
        }
    }
};

// Upright normals: every accepted site draws its heading.
TEST_F(SiteIndexOnQuilt, FlatMatchesTheListWalk) { expect_list_walk_sites_on_quilt(0.0); }

TEST_F(SiteIndexOnQuilt, TiltedMatchesTheListWalk) { expect_list_walk_sites_on_quilt(0.25); }

// Half as many clones as polygons: a worker works the attempts out.
TEST_F(SiteIndexOnQuilt, TiltedMatchesTheListWalkWithAWorker) { expect_list_walk_sites_on_quilt(0.25, 6100); }

// A worker works out the attempt at every position of the stream; without
// one, each is worked out when asked for, its polygon charted in a table of
// a few places: the same attempts either way, on polygons of one to six
// points, some of them at points that are not numbers.
TEST(AttemptStream, WorkerAndCallerWorkOutTheSameAttempts) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "no second core to run a worker on";
    dice d(77);
    for (int trial = 0; trial < 8; ++trial) {
        random_scene scene(d, 3 + trial % 2, trial % 2 == 1);
        random rng;
        rng.reseed(trial + 1);
        attempt_stream worker(rng, target_count, true);
        attempt_stream caller(rng, 4, false);
        ASSERT_TRUE(worker.has_worker());
        for (int64_t q = 0; q < 30000; ++q) {
            const stream_attempt &a = worker.at(q);
            const stream_attempt &b = caller.at(q);
            ASSERT_EQ(a.polygon_index, b.polygon_index) << "position " << q;
            ASSERT_EQ(a.draws, b.draws) << "position " << q;
            for (const auto &[x, y] : {std::pair{a.position, b.position}, std::pair{a.normal, b.normal}}) {
                ASSERT_EQ(bits(x.x), bits(y.x)) << "position " << q;
                ASSERT_EQ(bits(x.y), bits(y.y)) << "position " << q;
                ASSERT_EQ(bits(x.z), bits(y.z)) << "position " << q;
            }
            ASSERT_EQ(bits(a.unit), bits(b.unit)) << "position " << q;
        }
    }
}

class SiteIndexOnGround : public testing::RunTest {};

TEST_F(SiteIndexOnGround, DenseGroundMatchesTheListWalk) {
    // Many sites per cell and many refusals: a grid of small quads, crowded.
    for (int i = 0; i < 20; ++i)
        for (int k = 0; k < 20; ++k)
            testing::add_quad(world.fg, {i * 1.0, 0, k * 1.0}, {i * 1.0, 0, k + 1.0}, {i + 1.0, 0, k + 1.0},
                              {i + 1.0, 0, k * 1.0});
    begin();
    collect_targets(params_typ{});
    for (const double distribution : {0.8, 1.6, 3.0}) {
        params_typ settings;
        settings.clone_count = 3000;
        settings.distribution = distribution;
        settings.iterations = 25;
        expect_same_sites_as_list_walk(catalogue, settings);
    }
}

}  // namespace
}  // namespace sowfield
