// One site per clone: a polygon picked by index, a point on it, refused while
// it lies too close to an earlier site, and the angles of the polygon normal.
//
// The random draws happen in a fixed order, which is what makes a seed give
// the same sites again: per attempt the polygon index, then the point's two
// numbers (all from the run's own generator), then the density lottery (from
// the process-wide generator); per accepted site the random heading.
#include "surface/site_distribution.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "numeric/angles.h"
#include "numeric/random.h"
#include "plugin/host_services.h"
#include "surface/attempt_stream.h"
#include "surface/polygon_weight.h"
#include "surface/random_point.h"
#include "surface/site_index.h"
#include "surface/target_polygons.h"

namespace sowfield {

clone_site *site_list = nullptr;
double mean_area = 0.0;

namespace {

constexpr double kNearAxis = 0.001;

// Charts pay when polygons are drawn on again and again, from half as many
// clones as polygons on. A run of fewer rarely comes back to a polygon; it
// keeps its charts in a small shared table: 4096 places, 768 KiB.
constexpr int32_t kSharedChartPlaces = 4096;

bool charts_every_polygon(const params_typ &settings) { return settings.clone_count >= target_count / 2; }

// A worker works out an attempt at every position of the stream, about three
// times as many as are made; that pays once most of their polygons are
// charted already (and not for the few thousand clones that take less time
// than starting a thread).
constexpr int32_t kWorkerClones = 2048;

bool use_worker(const params_typ &settings) {
    return settings.clone_count >= kWorkerClones && charts_every_polygon(settings) &&
           std::thread::hardware_concurrency() >= 2;
}

// The sites of the run being distributed.
site_index run_sites;

site_attempt_observer attempt_observer = nullptr;
void *attempt_observer_context = nullptr;

// The upper bound of the density lottery: the weight in percent plus 100,
// truncated toward zero. Held at the 32-bit maximum for huge weights (the
// plain conversion would be undefined); a weight that is not a number draws
// as weight 0 does, just as it leaves the spacing unchanged.
int32_t lottery_bound(double percent_plus_100) {
    if (std::isnan(percent_plus_100)) return 100;
    if (percent_plus_100 >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(percent_plus_100);
}

// The next draw of the run's stream, for the heading of a level polygon.
class stream_draws {
public:
    stream_draws(attempt_stream &attempts, int64_t &position) : attempts_(attempts), position_(position) {}
    double double_between(double a, double b) {
        return draw_between([this] { return attempts_.unit(position_++); }, a, b);
    }

private:
    attempt_stream &attempts_;
    int64_t &position_;
};

// Asks the memory for the grid cells the coming attempt will read, either
// way this one goes: refused, the next starts at `position`; accepted with
// a drawn heading, one further on.
void prefetch_coming_tests(attempt_stream &attempts, int64_t position, double spacing) {
    for (int64_t k = 0; k < 2; ++k)
        if (const stream_attempt *coming = attempts.ready(position + k))
            run_sites.prefetch_around(coming->position, spacing);
}

const char *weightmap_name(const vmap_catalogue &catalogue, int32_t index) {
    const vmap_name_node *node = weightmap_at(catalogue, index);
    return node != nullptr ? node->name : nullptr;
}

// One pass over the target polygons: their total area (summed in index
// order, as total_area does) and the box around every finite point, over
// which the site index lays its grid.
struct surface_survey {
    double total = 0.0;
    Point lo;
    Point hi;
};

surface_survey survey_targets() {
    constexpr double inf = std::numeric_limits<double>::infinity();
    surface_survey survey;
    survey.lo = {inf, inf, inf};
    survey.hi = {-inf, -inf, -inf};
    Point &lo = survey.lo;
    Point &hi = survey.hi;
    for (int32_t i = 0; i < target_count; ++i) {
        survey.total += polygon_area(i, target_polygons.get());
        const face6_typ &record = target_polygons[static_cast<size_t>(i)];
        if (!record.points) continue;
        for (int32_t k = 0; k < record.point_count; ++k) {
            const Point &p = record.points[k];
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
    }
    // Polygons of fewer than three points put their sites at the origin.
    lo = {std::min(lo.x, 0.0), std::min(lo.y, 0.0), std::min(lo.z, 0.0)};
    hi = {std::max(hi.x, 0.0), std::max(hi.y, 0.0), std::max(hi.z, 0.0)};
    return survey;
}

// Heading and pitch that turn a clone's +y onto the normal n, plus the
// "P angle weightmap" term. The heading of a normal along y is drawn from
// the run's stream.
void align_with_normal(clone_site &site, const Point &n, int32_t polygon_index, stream_draws &draws,
                       const vmap_catalogue &catalogue, const params_typ &settings) {
    double pitch = 0.0;
    if (n.y > -1.0 && n.y < 1.0) pitch = std::acos(n.y);
    double heading;
    if (n.z < -kNearAxis || n.z > kNearAxis) {
        heading = std::acos(n.x / std::sqrt(n.x * n.x + n.z * n.z));
        if (n.z < 0.0) heading = -heading;
    } else if (n.x > kNearAxis) {
        heading = 0.0;
    } else if (n.x < -kNearAxis) {
        heading = kPi;
    } else {
        heading = draws.double_between(-kPiSingle, kPiSingle);
    }
    if (settings.p_angle_weightmap != 0) {
        const char *name = weightmap_name(catalogue, settings.p_angle_weightmap);
        if (settings.p_angle_absolute == 1) pitch = kHalfPi;
        pitch = pitch +
                polygon_weight(catalogue, target_polygons[static_cast<size_t>(polygon_index)].polygon, name) * kHalfPi;
    }
    site.pitch = pitch;
    site.heading = heading;
}

// The "Please wait" progress display, when the host offers one; destroyed on
// every way out of the distribution.
class progress_monitor {
public:
    explicit progress_monitor(int32_t steps) {
        if (monitor_service == nullptr) return;
        monitor_ = monitor_service->monitor_create("Please wait", "Randomising positions...");
        // A count of clones below zero makes no sites, and so no steps.
        if (monitor_ != nullptr) monitor_->monitor_init(monitor_->state, std::max(steps, 0));
    }
    ~progress_monitor() {
        if (monitor_ == nullptr) return;
        monitor_->monitor_done(monitor_->state);
        monitor_service->monitor_destroy(monitor_);
    }
    progress_monitor(const progress_monitor &) = delete;
    progress_monitor &operator=(const progress_monitor &) = delete;

    void step() {
        if (monitor_ != nullptr) monitor_->monitor_step(monitor_->state, 1);
    }

private:
    sf_monitor *monitor_ = nullptr;
};

}  // namespace

void set_site_attempt_observer(site_attempt_observer observer, void *context) {
    attempt_observer = observer;
    attempt_observer_context = context;
}

bool site_is_free(const params_typ &settings, const Point &p, double area, double weight, double spacing) {
    double d = spacing;
    if (settings.size_by_poly_area != 0 && mean_area > area) d = std::max(0.5, area / mean_area) * d;
    if (settings.density_weightmap != 0) {
        const double b = weight * 100.0;
        if (b < -1.0)
            d = d * (b / -20.0 + 1.0);
        else if (b > 1.0)
            d = d / (b / 20.0 + 1.0);
        if (b + 100.0 <= 20.0) return false;
        const int32_t k = generator.int_between(1, lottery_bound(b + 100.0));
        if (k <= 4) return false;
    }
    return !run_sites.has_site_within(p, d);
}

clone_site &insert_site(const Point &p) { return run_sites.add(p); }

void link_site_list() { site_list = run_sites.link(); }

void release_site_list() {
    site_list = nullptr;
    run_sites.clear();
}

// One site per clone, each from as many attempts as it takes, the attempts
// taken from the run's stream one after another.
void choose_sites(attempt_stream &attempts, const vmap_catalogue &catalogue, const params_typ &settings,
                  double base_spacing, progress_monitor &monitor) {
    const bool align = settings.h_align_normals == 1 || settings.p_align_normals == 1;
    const double first_spacing = base_spacing / (1.0 / settings.iterations + 1.0);
    const char *density_name = nullptr;
    if (settings.density_weightmap != 0) density_name = weightmap_name(catalogue, settings.density_weightmap);

    int64_t position = 0;  // where the next attempt starts in the run's stream
    for (int32_t i = 0; i < settings.clone_count; ++i) {
        int64_t j = 0;
        for (;;) {
            const stream_attempt &drawn = attempts.at(position);
            position += drawn.draws;
            const int32_t r = drawn.polygon_index;
            const Point p = drawn.position;
            prefetch_coming_tests(attempts, position, first_spacing);
            double a = 0.0;
            if (settings.size_by_poly_area != 0) a = polygon_area(r, target_polygons.get());
            double w = 0.0;
            if (settings.density_weightmap != 0)
                w = polygon_weight(catalogue, target_polygons[static_cast<size_t>(r)].polygon, density_name);

            ++j;
            site_attempt attempt;
            attempt.tested = j <= settings.iterations;
            if (attempt.tested) {
                attempt.spacing = base_spacing / (static_cast<double>(j) / settings.iterations + 1.0);
                attempt.accepted = site_is_free(settings, p, a, w, attempt.spacing);
            } else {
                attempt.accepted = true;
            }
            if (attempt_observer != nullptr) {
                attempt.clone = i;
                attempt.attempt = j;
                attempt.polygon_index = r;
                attempt.position = p;
                attempt_observer(attempt_observer_context, attempt);
            }
            if (!attempt.accepted) continue;

            clone_site &site = insert_site(p);
            site.polygon_index = r;
            if (settings.size_by_poly_area != 0) site.area = a;
            site.heading = 0.0;
            if (align) {
                stream_draws draws(attempts, position);
                align_with_normal(site, drawn.normal, r, draws, catalogue, settings);
            }
            break;
        }
        monitor.step();
    }
}

void distribute_sites(const vmap_catalogue &catalogue, const params_typ &settings) {
    assert(target_count >= 1 && "the driver stops runs without target polygons");
    release_site_list();
    if (target_count < 1) {
        mean_area = 0.0;
        return;
    }

    progress_monitor monitor(settings.clone_count);
    random rng;
    rng.reseed(settings.random_seed);
    {
        // Started before the survey, so that a worker works meanwhile; gone, and
        // its charts with it, before the sites are linked.
        attempt_stream attempts(rng, charts_every_polygon(settings) ? target_count : kSharedChartPlaces,
                                use_worker(settings));

        const surface_survey survey = survey_targets();
        const double total = survey.total;
        const double base_spacing = std::sqrt(total / settings.clone_count) * settings.distribution;
        // With every target polygon degenerate the total is 0, and so are the
        // mean and the spacing: no site is refused for its distance, and no ratio
        // against the mean is ever formed here.
        mean_area = total / target_count;

        if (settings.clone_count > 0) {
            run_sites.plan_grid(survey.lo, survey.hi, base_spacing, settings.clone_count);
            run_sites.reserve(static_cast<size_t>(settings.clone_count));
        }

        choose_sites(attempts, catalogue, settings, base_spacing, monitor);
    }
    link_site_list();
}

}  // namespace sowfield
