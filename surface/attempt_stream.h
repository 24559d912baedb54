// The attempts at sites, worked out ahead of the spacing tests.
//
// An attempt starts at some position of the run's stream of random numbers
// and takes the polygon index and the point's draws from there on. What it
// draws depends on nothing but that position: not on earlier acceptances,
// not on the sites. Acceptance only moves where the next attempt starts (an
// accepted site on a level polygon draws its heading before it). So the
// attempt that would start at every position can be worked out before it is
// known which positions will be used. With a spare core, a worker does that
// for every position of the stream while the spacing tests run on the
// calling thread; else each attempt is worked out when it is asked for.
// Either way the calling thread sees the same attempts.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>

#include "numeric/point.h"
#include "numeric/random.h"
#include "surface/polygon_charts.h"

namespace sowfield {

// The attempt that starts at one position of the stream.
struct alignas(64) stream_attempt {
    Point position;     // the drawn point
    Point normal;       // the polygon's normal, as its record holds it
    double unit = 0.0;  // the stream's own draw at this position
    int32_t polygon_index = 0;
    int32_t draws = 0;  // draws the attempt takes: polygon and point
};
static_assert(sizeof(stream_attempt) == 64, "one attempt per cache line");

class attempt_stream {
public:
    // Draws what `rng` would draw from now on (from a copy of its state), on
    // the target polygons, charting them in `chart_places` places (see
    // polygon_charts). With `worker`, a thread works ahead when one can be
    // started.
    attempt_stream(const CRandom &rng, int32_t chart_places, bool worker);
    ~attempt_stream();
    attempt_stream(const attempt_stream &) = delete;
    attempt_stream &operator=(const attempt_stream &) = delete;

    // The attempt starting at `position`. Positions asked for never go
    // down; the result stays valid until `at` or `ready` is asked for a
    // position eight or more further on.
    const stream_attempt &at(int64_t position);

    // The attempt at `position` when it is already worked out (or, without
    // a worker, when its polygon is charted), else null; never waits. For
    // fetching ahead what a coming attempt will read.
    const stream_attempt *ready(int64_t position);

    // The stream's draw at `position`, no lower than the last attempt asked for.
    double unit(int64_t position);

    bool has_worker() const { return worker_.joinable(); }

private:
    static constexpr int64_t kChunk = 1024;  // attempts the worker hands over at once
    static constexpr int64_t kChunks = 8;    // chunks the ring holds
    static constexpr int64_t kRing = kChunk * kChunks;
    static constexpr int64_t kUnitWindow = 16;

    // What working attempts out writes: the generator and the charts. On a
    // block of its own, so that a worker's writes and the caller's never
    // share a cache line.
    struct alignas(64) work_state {
        CRandom draws;
        polygon_charts charts;
    };

    // Between the worker and the caller: attempts below `produced` are
    // ready (-1 when the worker failed); the worker never overwrites
    // attempts at or above `floor`.
    struct handover {
        alignas(64) std::atomic<int64_t> produced{0};
        alignas(64) std::atomic<int64_t> floor{0};
        std::atomic<bool> stop{false};
        std::exception_ptr failure;  // set before produced becomes -1
    };

    static void work(work_state &state, handover &shared, stream_attempt *ring);
    const stream_attempt &wait_for(int64_t position);
    const stream_attempt &work_out_here(int64_t position);
    void look_ahead(int64_t next);
    double inline_unit(int64_t position);

    std::unique_ptr<work_state> work_;
    std::unique_ptr<handover> shared_;
    std::unique_ptr<stream_attempt[]> ring_;
    std::thread worker_;

    // The caller's own: without a worker, the attempts last worked out and
    // the last draws; with one, its last look at `produced` and where it
    // next moves `floor` up.
    // Eight, so that readying the next attempts never overwrites the one the
    // caller holds, which lies at most four positions before them.
    static constexpr int64_t kKept = 8;
    stream_attempt kept_[kKept];
    int64_t kept_position_[kKept] = {-1, -1, -1, -1, -1, -1, -1, -1};
    double inline_units_[kUnitWindow] = {};
    int64_t units_drawn_ = 0;
    int64_t known_produced_ = 0;
    int64_t next_free_ = 0;
};

}  // namespace sowfield
