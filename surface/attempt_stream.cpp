#include "surface/attempt_stream.h"

#include <algorithm>
#include <cassert>
#include <functional>
#include <limits>
#include <system_error>
#include <vector>

#include "surface/target_polygons.h"

namespace sowfield {

namespace {

// How far ahead of the attempt it works out the worker asks the memory for
// what a coming attempt reads.
constexpr int64_t kFetchRecordAhead = 16;
constexpr int64_t kFetchPointsAhead = 8;

// How far ahead of the attempt it asks for the caller fetches the worker's
// attempts, and how many: those of the next few attempts.
constexpr int64_t kFetchRingAhead = 16;
constexpr int64_t kFetchRingEntries = 4;

// The most draws one attempt takes: the polygon, then the point's two.
constexpr int64_t kMostDraws = 3;

// The polygon a draw u picks: every index equally likely, whatever the
// polygons' areas. With one polygon there is no draw and u is not read.
int32_t polygon_of(double u) {
    const int32_t count = target_count;
    if (count == 1 || u == 1.0) return count - 1;
    const auto r = static_cast<int32_t>(u * static_cast<double>(count));
    return r < count ? r : count - 1;
}

// Draws taken from a run of the stream's numbers, counted.
class unit_reader {
public:
    explicit unit_reader(const double *units) : units_(units) {}
    double next_unit() { return units_[taken_++]; }
    double double_between(double a, double b) {
        return draw_between([this] { return next_unit(); }, a, b);
    }
    int32_t taken() const { return taken_; }

private:
    const double *units_;
    int32_t taken_ = 0;
};

// The attempt that starts with units[0]; reads at most kMostDraws units.
stream_attempt work_out(const double *units, polygon_charts &charts) {
    unit_reader draws(units);
    const int32_t r = polygon_of(target_count == 1 ? 0.0 : draws.next_unit());
    const polygon_chart &chart = charts.chart(r, target_polygons[static_cast<size_t>(r)]);
    stream_attempt attempt;
    attempt.position = random_point_on_chart(draws, chart, charts.pool());
    attempt.normal = chart.normal;
    attempt.unit = units[0];
    attempt.polygon_index = r;
    attempt.draws = draws.taken();
    return attempt;
}

// Waits until `value` no longer holds `seen`. The other side is usually about
// to move it, and putting a thread to sleep and waking it costs far more on a
// virtual machine than spinning for a while, so it sleeps only after a
// hundred microseconds or so of yielding.
void wait_while_equal(const std::atomic<int64_t> &value, int64_t seen) {
    for (int spin = 0; spin < 2000; ++spin) {
        if (value.load(std::memory_order_acquire) != seen) return;
        std::this_thread::yield();
    }
    value.wait(seen, std::memory_order_acquire);
}

// Asks the memory for a polygon's chart place and record.
void prefetch_target(const polygon_charts &charts, int32_t r) {
    charts.prefetch(r);
    __builtin_prefetch(&target_polygons[static_cast<size_t>(r)]);
}

void prefetch_points(const face6_typ &record) {
    const char *points = reinterpret_cast<const char *>(record.points.get());
    if (points == nullptr) return;
    const size_t bytes = static_cast<size_t>(record.point_count) * sizeof(Point);
    for (size_t line = 0; line < bytes && line < 256; line += 64) __builtin_prefetch(points + line);
}

}  // namespace

attempt_stream::attempt_stream(const CRandom &rng, int32_t chart_places, bool worker)
    : work_(std::make_unique<work_state>()) {
    work_->draws.copy_state(rng);
    work_->charts.reset(target_count, chart_places);
    if (!worker || target_count < 1) return;
    shared_ = std::make_unique<handover>();
    ring_.reset(new stream_attempt[kRing]);
    try {
        worker_ = std::thread(work, std::ref(*work_), std::ref(*shared_), ring_.get());
    } catch (const std::system_error &) {
        // No thread to be had: every attempt is worked out when asked for.
        ring_.reset();
    }
}

attempt_stream::~attempt_stream() {
    if (!worker_.joinable()) return;
    shared_->stop.store(true, std::memory_order_release);
    shared_->floor.store(std::numeric_limits<int64_t>::max(), std::memory_order_release);
    shared_->floor.notify_one();
    worker_.join();
}

const stream_attempt &attempt_stream::at(int64_t position) {
    if (worker_.joinable()) {
        // The caller is done with what lies a chunk behind.
        if (position >= next_free_) {
            next_free_ = position - position % kChunk + kChunk;
            shared_->floor.store(position - kChunk, std::memory_order_release);
            shared_->floor.notify_one();
        }
        // The worker wrote these on the other core: fetching them ahead
        // takes the transfer out of the caller's way.
        for (int64_t k = 0; k < kFetchRingEntries; ++k)
            __builtin_prefetch(&ring_[static_cast<size_t>((position + kFetchRingAhead + k) % kRing)]);
        return wait_for(position);
    }
    const int64_t slot = position % kKept;
    const stream_attempt &attempt = kept_position_[slot] == position ? kept_[slot] : work_out_here(position);
    look_ahead(position + attempt.draws);
    return attempt;
}

const stream_attempt &attempt_stream::work_out_here(int64_t position) {
    double units[kMostDraws];
    for (int64_t k = 0; k < kMostDraws; ++k) units[k] = inline_unit(position + k);
    const int64_t slot = position % kKept;
    kept_[slot] = work_out(units, work_->charts);
    kept_position_[slot] = position;
    return kept_[slot];
}

// Readies, on the caller's thread, the attempts that may come after one
// whose draws end before `next`: the next starts there, or one further on
// when this one is accepted and draws a heading. Their polygons' points are
// fetched unless charted (then ready() works them out from the chart); and
// the records of the attempts after those.
void attempt_stream::look_ahead(int64_t next) {
    const polygon_charts &charts = work_->charts;
    for (int64_t k = 0; k < 2; ++k) {
        const int32_t r = polygon_of(inline_unit(next + k));
        if (charts.made(r) == nullptr) {
            prefetch_points(target_polygons[static_cast<size_t>(r)]);
            charts.prefetch(r);
        }
        prefetch_target(charts, polygon_of(inline_unit(next + k + kMostDraws)));
    }
}

const stream_attempt *attempt_stream::ready(int64_t position) {
    if (!worker_.joinable()) {
        const int64_t slot = position % kKept;
        if (kept_position_[slot] == position) return &kept_[slot];
        if (work_->charts.made(polygon_of(inline_unit(position))) == nullptr) return nullptr;
        return &work_out_here(position);
    }
    if (position >= known_produced_) {
        const int64_t produced = shared_->produced.load(std::memory_order_acquire);
        if (produced < 0) return nullptr;
        known_produced_ = produced;
        if (position >= known_produced_) return nullptr;
    }
    return &ring_[static_cast<size_t>(position % kRing)];
}

double attempt_stream::unit(int64_t position) {
    if (worker_.joinable()) return wait_for(position).unit;
    return inline_unit(position);
}

const stream_attempt &attempt_stream::wait_for(int64_t position) {
    while (position >= known_produced_) {
        const int64_t produced = shared_->produced.load(std::memory_order_acquire);
        if (produced < 0) std::rethrow_exception(shared_->failure);
        if (position < produced) {
            known_produced_ = produced;
            break;
        }
        wait_while_equal(shared_->produced, produced);
    }
    return ring_[static_cast<size_t>(position % kRing)];
}

double attempt_stream::inline_unit(int64_t position) {
    assert(position + kUnitWindow > units_drawn_ && "draws are asked for in order");
    while (units_drawn_ <= position) inline_units_[units_drawn_++ % kUnitWindow] = work_->draws.next_unit();
    return inline_units_[position % kUnitWindow];
}

void attempt_stream::work(work_state &state, handover &shared, stream_attempt *ring) {
    try {
        // The draws from the chunk's first position on, and as many beyond
        // its end as the fetching ahead and the last attempts read.
        constexpr int64_t kTail = kFetchRecordAhead + kMostDraws;
        std::vector<double> units(static_cast<size_t>(kChunk + kTail));
        for (double &u : units) u = state.draws.next_unit();
        for (int64_t first = 0;; first += kChunk) {
            for (;;) {
                const int64_t floor = shared.floor.load(std::memory_order_acquire);
                if (shared.stop.load(std::memory_order_acquire)) return;
                if (first + kChunk - floor <= kRing) break;
                wait_while_equal(shared.floor, floor);
            }
            for (int64_t k = 0; k < kChunk; ++k) {
                prefetch_target(state.charts, polygon_of(units[static_cast<size_t>(k + kFetchRecordAhead)]));
                const int32_t near = polygon_of(units[static_cast<size_t>(k + kFetchPointsAhead)]);
                if (state.charts.made(near) == nullptr) prefetch_points(target_polygons[static_cast<size_t>(near)]);
                ring[(first + k) % kRing] = work_out(units.data() + k, state.charts);
            }
            shared.produced.store(first + kChunk, std::memory_order_release);
            shared.produced.notify_one();
            std::copy(units.end() - kTail, units.end(), units.begin());
            for (auto u = units.begin() + kTail; u != units.end(); ++u) *u = state.draws.next_unit();
        }
    } catch (...) {
        shared.failure = std::current_exception();
        shared.produced.store(-1, std::memory_order_release);
        shared.produced.notify_one();
    }
}

}  // namespace sowfield
