#include "surface/site_distribution.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>
#include <vector>

#include "numeric/random.h"
#include "plugin/host_services.h"
#include "plugin/run_data.h"
#include "surface/target_polygons.h"
#include "tests/support/run_host.h"

namespace sowfield {
namespace {

using testing::install_targets;

const std::vector<Point> kSquare{{0, 0, 0}, {2, 0, 0}, {2, 0, 2}, {0, 0, 2}};

std::vector<const clone_site *> sites() {
    std::vector<const clone_site *> all;
    for (const clone_site *s = site_list; s != nullptr; s = s->next) all.push_back(s);
    return all;
}

// Records every attempt of the distributions run while it lives.
struct attempt_log {
    std::vector<site_attempt> attempts;
    attempt_log() {
        set_site_attempt_observer([](void *self, const site_attempt &a) { static_cast<attempt_log *>(self)->attempts.push_back(a); },
                                  this);
    }
    ~attempt_log() { set_site_attempt_observer(nullptr, nullptr); }
    attempt_log(const attempt_log &) = delete;
    attempt_log &operator=(const attempt_log &) = delete;

    int64_t tested() const {
        int64_t n = 0;
        for (const site_attempt &a : attempts) n += a.tested ? 1 : 0;
        return n;
    }
    int64_t refused() const {
        int64_t n = 0;
        for (const site_attempt &a : attempts) n += a.accepted ? 0 : 1;
        return n;
    }
};

class SiteDistribution : public testing::RunTest {
protected:
    // The density lottery draws from the process-wide generator; the
    // statistical checks were worked out from this seed.
    void SetUp() override { generator.reseed(1); }

    // One big selected square whose points all carry `weight` in "dense",
    // the second weight map, collected as the run's only target.
    void dense_square(float weight) {
        world.fg.add_vmap(SF_VMAP_WGHT, "other", 1);
        const uint32_t square = testing::add_quad(world.fg, {0, 0, 0}, {100, 0, 0}, {100, 0, 100}, {0, 0, 100});
        testing::set_polygon_weight(world.fg, "dense", square, weight);
        begin();
        collect_targets(params_typ{});
    }

    vmap_catalogue no_maps{nullptr};
};

TEST_F(SiteDistribution, WorkedRunOnOneSquare) {
    install_targets({{kSquare, {0, 1, 0}}});
    params_typ settings;
    settings.clone_count = 2;
    attempt_log log;
    distribute_sites(no_maps, settings);

    EXPECT_EQ(mean_area, 3.9999999999999982);
    const double base_spacing = 1.1313708498984758;
    struct expected {
        int32_t clone;
        int64_t attempt;
        Point position;
        double spacing;
        bool accepted;
    };
    const expected steps[] = {
        {0, 1, {0.4689350841727422, 0, 0.7914508010240856}, 1.0606601717798212, true},
        {1, 1, {0.6156912037673619, 0, 0.5701923571923264}, 1.0606601717798212, false},
        {1, 2, {0.5817751564508712, 0, 1.558989088879663}, 0.9982683969692434, false},
        {1, 3, {1.303264222876929, 0, 1.7961104786480102}, 0.9428090415820632, true},
    };
    ASSERT_EQ(log.attempts.size(), std::size(steps));
    for (size_t k = 0; k < std::size(steps); ++k) {
        const site_attempt &a = log.attempts[k];
        SCOPED_TRACE(k);
        EXPECT_EQ(a.clone, steps[k].clone);
        EXPECT_EQ(a.attempt, steps[k].attempt);
        EXPECT_EQ(a.polygon_index, 0);
        EXPECT_EQ(a.position.x, steps[k].position.x);
        EXPECT_EQ(a.position.y, 0.0);
        EXPECT_EQ(a.position.z, steps[k].position.z);
        EXPECT_TRUE(a.tested);
        EXPECT_EQ(a.spacing, steps[k].spacing);
        EXPECT_EQ(a.spacing, base_spacing / (static_cast<double>(a.attempt) / 15 + 1.0));
        EXPECT_EQ(a.accepted, steps[k].accepted);
    }

    const std::vector<const clone_site *> list = sites();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->position.x, 0.4689350841727422);
    EXPECT_EQ(list[0]->position.z, 0.7914508010240856);
    EXPECT_EQ(list[0]->pitch, 0.0);
    EXPECT_EQ(list[0]->heading, -2.1833009848541116);
    EXPECT_EQ(list[1]->position.x, 1.303264222876929);
    EXPECT_EQ(list[1]->position.z, 1.7961104786480102);
    EXPECT_EQ(list[1]->pitch, 0.0);
    EXPECT_EQ(list[1]->heading, 2.1712013397615344);
}

TEST_F(SiteDistribution, EqualSeedsRepeatTheSitesAndOtherSeedsDoNot) {
    install_targets({{kSquare, {0, 1, 0}},
                     {{{5, 1, 0}, {6, 1, 0}, {5, 2, 1}}, unit({0, 1, -1})},
                     {{{-3, 0, -3}, {-1, 0, -3}, {-1, 0, -1}, {-3, 0, -1}}, {0, 1, 0}}});
    params_typ settings;
    settings.clone_count = 200;
    settings.size_by_poly_area = 1;
    auto run = [&](int32_t seed) {
        settings.random_seed = seed;
        distribute_sites(no_maps, settings);
        std::vector<clone_site> copy;
        for (const clone_site *s : sites()) copy.push_back(*s);
        return copy;
    };
    const std::vector<clone_site> first = run(25);
    const std::vector<clone_site> again = run(25);
    const std::vector<clone_site> negative = run(-25);
    const std::vector<clone_site> other = run(26);
    ASSERT_EQ(first.size(), 200u);
    ASSERT_EQ(again.size(), 200u);
    int differing = 0;
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].position.x, again[i].position.x);
        EXPECT_EQ(first[i].position.y, again[i].position.y);
        EXPECT_EQ(first[i].position.z, again[i].position.z);
        EXPECT_EQ(first[i].heading, again[i].heading);
        EXPECT_EQ(first[i].pitch, again[i].pitch);
        EXPECT_EQ(first[i].area, again[i].area);
        EXPECT_EQ(first[i].polygon_index, again[i].polygon_index);
        EXPECT_EQ(first[i].position.x, negative[i].position.x);
        if (first[i].position.x != other[i].position.x) ++differing;
    }
    EXPECT_GT(differing, 190);
}

TEST_F(SiteDistribution, SitesAreSortedByXWithEveryClonePlaced) {
    install_targets({{kSquare, {0, 1, 0}}, {{{0, 0, 0}, {0, 3, 0}, {0, 3, 3}}, {1, 0, 0}}});
    params_typ settings;
    settings.clone_count = 500;
    distribute_sites(no_maps, settings);
    const std::vector<const clone_site *> list = sites();
    ASSERT_EQ(list.size(), 500u);
    for (size_t i = 1; i < list.size(); ++i) ASSERT_LE(list[i - 1]->position.x, list[i]->position.x);
}

TEST_F(SiteDistribution, EqualXKeepsTheOrderOfInsertion) {
    clone_site &a = insert_site({1, 0, 0});
    a.polygon_index = 1;
    insert_site({1, 0, 5}).polygon_index = 2;
    insert_site({0, 0, 0}).polygon_index = 3;
    insert_site({1, 7, 0}).polygon_index = 4;
    insert_site({-0.0, 0, 9}).polygon_index = 5;
    link_site_list();
    std::vector<int32_t> order;
    for (const clone_site *s : sites()) order.push_back(s->polygon_index);
    EXPECT_EQ(order, (std::vector<int32_t>{3, 5, 1, 2, 4}));
}

TEST_F(SiteDistribution, NoClonesMeansNoSitesAndAMonitorOfNoSteps) {
    install_targets({{kSquare, {0, 1, 0}}});
    begin();
    params_typ settings;
    settings.clone_count = 0;
    distribute_sites(no_maps, settings);
    EXPECT_EQ(site_list, nullptr);
    const host::MonitorRecord &monitor = monitors.record();
    EXPECT_EQ(monitor.titles, std::vector<std::string>{"Please wait"});
    EXPECT_EQ(monitor.captions, std::vector<std::string>{"Randomising positions..."});
    EXPECT_EQ(monitor.last_total, 0);
    EXPECT_EQ(monitor.steps, 0);
    EXPECT_EQ(monitor.done_calls, 1);
    EXPECT_EQ(monitor.destroyed, 1);

    settings.clone_count = -4;
    distribute_sites(no_maps, settings);
    EXPECT_EQ(site_list, nullptr);
    EXPECT_EQ(monitor.last_total, 0);
    EXPECT_EQ(monitor.destroyed, 2);
}

TEST_F(SiteDistribution, MonitorStepsOncePerCloneAndIsOptional) {
    install_targets({{kSquare, {0, 1, 0}}});
    begin();
    params_typ settings;
    settings.clone_count = 7;
    distribute_sites(no_maps, settings);
    const host::MonitorRecord &monitor = monitors.record();
    EXPECT_EQ(monitor.created, 1);
    EXPECT_EQ(monitor.last_total, 7);
    EXPECT_EQ(monitor.steps, 7);
    EXPECT_EQ(monitor.done_calls, 1);
    EXPECT_EQ(monitor.destroyed, 1);

    monitors.refuse_monitors();
    distribute_sites(no_maps, settings);
    EXPECT_EQ(sites().size(), 7u);
    monitor_service = nullptr;
    distribute_sites(no_maps, settings);
    EXPECT_EQ(sites().size(), 7u);
    EXPECT_EQ(monitor.created, 1);
}

TEST_F(SiteDistribution, DegenerateTargetsGiveFiniteSitesAndNoMeanArea) {
    install_targets({{{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, {0, 0, 0}}, {{{4, 0, 0}, {5, 0, 0}}, {0, 0, 0}}});
    params_typ settings;
    settings.clone_count = 50;
    settings.size_by_poly_area = 1;
    distribute_sites(no_maps, settings);
    EXPECT_EQ(mean_area, 0.0);
    const std::vector<const clone_site *> list = sites();
    ASSERT_EQ(list.size(), 50u);
    for (const clone_site *s : list) {
        EXPECT_TRUE(std::isfinite(s->position.x) && std::isfinite(s->position.y) && std::isfinite(s->position.z));
        EXPECT_TRUE(std::isfinite(s->heading));
        // A normal of (0, 0, 0) has no tilt to speak of, but acos(0) is taken.
        EXPECT_EQ(s->pitch, std::acos(0.0));
        EXPECT_EQ(s->area, 0.0);
        // Coincident points stand where they are; two points at the origin.
        EXPECT_EQ(s->position.x, s->polygon_index == 0 ? 1.0 : 0.0);
    }
}

TEST_F(SiteDistribution, PolygonsAreDrawnByIndexNotByArea) {
    // A tiny triangle and a large square get about as many sites each.
    install_targets({{{{0, 0, 0}, {0.01, 0, 0}, {0, 0, 0.01}}, {0, 1, 0}},
                     {{{10, 0, 0}, {110, 0, 0}, {110, 0, 100}, {10, 0, 100}}, {0, 1, 0}}});
    params_typ settings;
    settings.clone_count = 4000;
    settings.distribution = 0.0;
    distribute_sites(no_maps, settings);
    int on_small = 0;
    for (const clone_site *s : sites()) on_small += s->polygon_index == 0 ? 1 : 0;
    EXPECT_NEAR(on_small, 2000, 150);
}

TEST_F(SiteDistribution, NoIterationsAcceptEveryFirstAttemptUntested) {
    dense_square(-1.0f);
    params_typ settings;
    settings.clone_count = 30;
    settings.density_weightmap = 2;
    for (const int32_t iterations : {0, -3}) {
        settings.iterations = iterations;
        generator.reseed(5);
        attempt_log log;
        distribute_sites(catalogue, settings);
        EXPECT_EQ(sites().size(), 30u);
        EXPECT_EQ(log.attempts.size(), 30u);
        EXPECT_EQ(log.tested(), 0);
        // The density lottery was never reached.
        random twin;
        twin.reseed(5);
        EXPECT_EQ(generator.next_unit(), twin.next_unit());
    }
}

TEST_F(SiteDistribution, WeightOfMinusPointEightRefusesEveryTestedCandidate) {
    dense_square(-0.8f);
    params_typ settings;
    settings.clone_count = 25;
    settings.iterations = 6;
    settings.density_weightmap = 2;
    attempt_log log;
    distribute_sites(catalogue, settings);
    EXPECT_EQ(sites().size(), 25u);
    ASSERT_EQ(log.attempts.size(), 25u * 7);
    for (const site_attempt &a : log.attempts) {
        EXPECT_EQ(a.tested, a.attempt <= 6);
        EXPECT_EQ(a.accepted, a.attempt == 7);
    }
}

TEST_F(SiteDistribution, WeightZeroStillRefusesAboutFourPercentByLottery) {
    dense_square(0.0f);
    params_typ settings;
    settings.clone_count = 20000;
    settings.distribution = 0.0;  // no candidate is refused for its distance
    settings.density_weightmap = 2;
    generator.reseed(77);
    attempt_log log;
    distribute_sites(catalogue, settings);
    const double share = static_cast<double>(log.refused()) / static_cast<double>(log.tested());
    // int_between(1, 100) is at most 4 for 4 of its 99 likely values.
    EXPECT_NEAR(share, 4.0 / 99.0, 0.005);

    // Each tested candidate drew exactly once from the process-wide generator.
    random twin;
    twin.reseed(77);
    const int64_t draws = log.tested();
    for (int64_t i = 0; i < draws; ++i) twin.next_unit();
    EXPECT_EQ(generator.next_unit(), twin.next_unit());
}

TEST_F(SiteDistribution, ADensityIndexPastTheCatalogueWeighsOne) {
    dense_square(-0.8f);
    params_typ settings;
    settings.clone_count = 2000;
    settings.distribution = 0.0;
    settings.density_weightmap = 9;
    testing::CountedReads counted(*edit);
    catalogue.session = counted.record();
    attempt_log log;
    distribute_sites(catalogue, settings);
    // Weight 1.0: the lottery runs from 1 to 200, refusing about 2 %; the
    // map's own -0.8 would have refused everything.
    const double share = static_cast<double>(log.refused()) / static_cast<double>(log.tested());
    // Loose bounds: what matters is a few percent against the map's 100 %.
    EXPECT_GT(share, 0.0);
    EXPECT_LT(share, 0.06);
    EXPECT_EQ(counted.select_calls, 0);
}

class SiteIsFree : public SiteDistribution {
protected:
    void SetUp() override { insert_site({0, 0, 0}); }
};

TEST_F(SiteIsFree, ACandidateExactlyTheSpacingAwayIsAccepted) {
    params_typ settings;
    EXPECT_TRUE(site_is_free(settings, {0, 0, 1.0}, 0, 0, 1.0));
    EXPECT_FALSE(site_is_free(settings, {0, 0, std::nextafter(1.0, 0.0)}, 0, 0, 1.0));
    EXPECT_TRUE(site_is_free(settings, {-1.0, 0, 0}, 0, 0, 1.0));
    EXPECT_FALSE(site_is_free(settings, {0, -0.5, 0}, 0, 0, 1.0));
    // Spacing 0 refuses nothing, not even the same point.
    EXPECT_TRUE(site_is_free(settings, {0, 0, 0}, 0, 0, 0.0));
}

TEST_F(SiteIsFree, TheBandIncludesItsUpperEndAndExcludesItsLowerEnd) {
    // Values where p.x + d or p.x - d rounds onto a site whose rounded
    // distance from p is still below d: the site at the upper end is measured
    // and refuses, the one at the lower end is passed over.
    params_typ settings;
    random rng;
    rng.reseed(3);
    bool upper_seen = false;
    bool lower_seen = false;
    for (int i = 0; i < 200000 && !(upper_seen && lower_seen); ++i) {
        const double px = rng.double_between(0.0, 1.0);
        const double d = rng.double_between(0.0, 1.0);
        const double upper = px + d;
        if (!upper_seen && std::sqrt((px - upper) * (px - upper)) < d) {
            release_site_list();
            insert_site({upper, 0, 0});
            EXPECT_FALSE(site_is_free(settings, {px, 0, 0}, 0, 0, d)) << px << " " << d;
            upper_seen = true;
        }
        const double lower = px - d;
        if (!lower_seen && std::sqrt((px - lower) * (px - lower)) < d) {
            release_site_list();
            insert_site({lower, 0, 0});
            EXPECT_TRUE(site_is_free(settings, {px, 0, 0}, 0, 0, d)) << px << " " << d;
            lower_seen = true;
        }
    }
    EXPECT_TRUE(upper_seen);
    EXPECT_TRUE(lower_seen);
}

TEST_F(SiteIsFree, SmallPolygonsShrinkTheSpacingDownToHalf) {
    params_typ settings;
    settings.size_by_poly_area = 1;
    mean_area = 10.0;
    // A tenth of the mean: the factor is held at 0.5.
    EXPECT_TRUE(site_is_free(settings, {0.5, 0, 0}, 1.0, 0, 1.0));
    EXPECT_FALSE(site_is_free(settings, {0.49, 0, 0}, 1.0, 0, 1.0));
    // Three quarters of the mean: 0.75.
    EXPECT_TRUE(site_is_free(settings, {0.75, 0, 0}, 7.5, 0, 1.0));
    EXPECT_FALSE(site_is_free(settings, {0.74, 0, 0}, 7.5, 0, 1.0));
    // The mean or more leaves the spacing as it is.
    EXPECT_FALSE(site_is_free(settings, {0.99, 0, 0}, 10.0, 0, 1.0));
    EXPECT_FALSE(site_is_free(settings, {0.99, 0, 0}, 30.0, 0, 1.0));
    // Switched off, the area plays no part.
    settings.size_by_poly_area = 0;
    EXPECT_FALSE(site_is_free(settings, {0.6, 0, 0}, 1.0, 0, 1.0));
}

TEST_F(SiteIsFree, DensityWeightsWidenAndNarrowTheSpacing) {
    params_typ settings;
    settings.density_weightmap = 1;
    // A huge weight draws up to the largest integer rather than overflowing.
    generator.reseed(1);
    int accepted = 0;
    for (int i = 0; i < 50; ++i) accepted += site_is_free(settings, {0.01, 0, 0}, 0, 1e12, 1.0) ? 1 : 0;
    EXPECT_EQ(accepted, 50);
    // A weight that is not a number acts as weight 0: same spacing, same
    // lottery, same draws.
    const auto answers = [&](double weight) {
        generator.reseed(9);
        std::vector<bool> free;
        for (int i = 0; i < 300; ++i)
            for (const double x : {0.5, 0.99, 1.01}) free.push_back(site_is_free(settings, {x, 0, 0}, 0, weight, 1.0));
        free.push_back(generator.next_unit() > 0.5);
        return free;
    };
    EXPECT_EQ(answers(std::nan("")), answers(0.0));
    // Weight -0.4 (-40 %): the spacing is multiplied by 3 and the lottery
    // runs from 1 to 59 (truncated from 59.99...).
    int refused_near = 0;
    for (int i = 0; i < 200; ++i) refused_near += site_is_free(settings, {2.99, 0, 0}, 0, -0.4, 1.0) ? 0 : 1;
    EXPECT_EQ(refused_near, 200);
    int refused_far = 0;
    for (int i = 0; i < 2000; ++i) refused_far += site_is_free(settings, {3.01, 0, 0}, 0, -0.4, 1.0) ? 0 : 1;
    EXPECT_NEAR(refused_far, 2000.0 * 4 / 58, 40);
    // Weight 0.4: divided by 3, the lottery running from 1 to 140.
    int refused_close = 0;
    for (int i = 0; i < 200; ++i) refused_close += site_is_free(settings, {0.33, 0, 0}, 0, 0.4, 1.0) ? 0 : 1;
    EXPECT_EQ(refused_close, 200);
    int refused_beyond = 0;
    for (int i = 0; i < 2000; ++i) refused_beyond += site_is_free(settings, {0.34, 0, 0}, 0, 0.4, 1.0) ? 0 : 1;
    EXPECT_NEAR(refused_beyond, 2000.0 * 4 / 139, 25);
}

// One polygon facing along n; the one site's angles.
struct aligned_site {
    double heading, pitch;
};

aligned_site align(const Point &n, params_typ settings = {}) {
    install_targets({{kSquare, n}});
    settings.clone_count = 1;
    vmap_catalogue none(nullptr);
    distribute_sites(none, settings);
    const aligned_site result{site_list->heading, site_list->pitch};
    release_run_data();
    return result;
}

TEST_F(SiteDistribution, HeadingAndPitchFollowTheNormal) {
    const aligned_site left = align({-1, 0, 0});
    EXPECT_EQ(left.pitch, std::acos(0.0));
    EXPECT_EQ(left.heading, 3.1415926535898);
    const aligned_site right = align({1, 0, 0});
    EXPECT_EQ(right.heading, 0.0);
    EXPECT_EQ(right.pitch, std::numbers::pi / 2);
    EXPECT_EQ(align({0, 0, 1}).heading, std::numbers::pi / 2);
    EXPECT_EQ(align({0, 0, -1}).heading, -std::numbers::pi / 2);
    const Point tilted = unit({0.3, 0.8, -0.5});
    const aligned_site slope = align(tilted);
    EXPECT_EQ(slope.pitch, std::acos(tilted.y));
    EXPECT_NEAR(slope.heading, std::atan2(tilted.z, tilted.x), 1e-14);
}

TEST_F(SiteDistribution, AVerticalNormalGetsARandomHeadingAfterThePointDraws) {
    for (const double y : {1.0, -1.0}) {
        const aligned_site s = align({0, y, 0});
        EXPECT_EQ(s.pitch, 0.0);
        // The run's generator: two numbers for the point, then the heading.
        random twin;
        twin.reseed(25);
        twin.next_unit();
        twin.next_unit();
        EXPECT_EQ(s.heading, twin.double_between(-3.1415927410125732, 3.1415927410125732));
    }
}

TEST_F(SiteDistribution, WithoutAlignmentSitesHaveNoAngles) {
    params_typ settings;
    settings.h_align_normals = 0;
    settings.p_align_normals = 0;
    const aligned_site s = align(unit({1, 1, 1}), settings);
    EXPECT_EQ(s.heading, 0.0);
    EXPECT_EQ(s.pitch, 0.0);
    // Either switch alone gives both angles.
    settings.p_align_normals = 1;
    EXPECT_EQ(align({-1, 0, 0}, settings).heading, 3.1415926535898);
}

TEST_F(SiteDistribution, PitchWeightMapAddsToOrReplacesTheTilt) {
    const Point n = unit({1, 1, 0});
    const uint32_t flat = add_face(world.fg, {{0, 0, 0}, {2, 2, 0}, {2, 2, 2}, {0, 0, 2}}, {n.x, n.y, n.z});
    testing::set_polygon_weight(world.fg, "tilt", flat, 0.5f);
    const uint32_t zero = add_face(world.fg, {{5, 0, 0}, {7, 2, 0}, {7, 2, 2}, {5, 0, 2}}, {n.x, n.y, n.z});
    testing::set_polygon_weight(world.fg, "tilt", zero, 0.0f);
    begin();
    collect_targets(params_typ{});
    params_typ settings;
    settings.clone_count = 40;
    settings.p_angle_weightmap = 1;
    distribute_sites(catalogue, settings);
    for (const clone_site *s : sites()) {
        const double weight = s->polygon_index == 0 ? 0.5 : 0.0;
        EXPECT_EQ(s->pitch, std::acos(n.y) + weight * 1.5707963267949);
    }
    settings.p_angle_absolute = 1;
    distribute_sites(catalogue, settings);
    for (const clone_site *s : sites()) {
        const double weight = s->polygon_index == 0 ? 0.5 : 0.0;
        EXPECT_EQ(s->pitch, 1.5707963267949 + weight * 1.5707963267949);
    }
}

}  // namespace
}  // namespace sowfield
