// The map from a background point to the point created for it in the clone
// being built, so that points shared by several polygons are created once per
// clone and shared again by the copies.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "sowfield_host.h"

namespace sowfield {

// Host ids are opaque, so the map hashes them (open addressing, linear
// probing) instead of searching a list: a lookup costs the same whether the
// clone has made ten points or a million.
//
// Each slot carries the generation it was written in; `reset` starts a new
// generation, which empties the map without touching its memory. Once the
// table has grown to a clone's size, building further clones allocates
// nothing.
class point_id_map {
public:
    point_id_map() = default;
    point_id_map(const point_id_map &) = delete;
    point_id_map &operator=(const point_id_map &) = delete;

    // The clone point recorded for `source`, or null when there is none. The
    // recorded value itself may be null (a point the host refused); the
    // pointer is valid until the next insert, reset or release.
    const sf_point_id *find(sf_point_id source) const {
        if (size_ == 0) return nullptr;
        const size_t mask = capacity_ - 1;
        // The load stays at most one half, so an unwritten slot always ends the walk.
        for (size_t i = home_of(source);; i = (i + 1) & mask) {
            const slot &s = slots_[i];
            if (s.stamp != generation_) return nullptr;
            if (s.source == source) return &s.clone;
        }
    }

    // Records `clone` for `source`, which must not be in the map yet.
    void insert(sf_point_id source, sf_point_id clone) {
        assert(find(source) == nullptr && "a background point is created once per clone");
        if ((size_ + 1) * 2 > capacity_) [[unlikely]]
            grow();
        const size_t mask = capacity_ - 1;
        size_t i = home_of(source);
        while (slots_[i].stamp == generation_) i = (i + 1) & mask;
        slots_[i] = {source, clone, generation_};
        ++size_;
    }

    // Forgets every entry; the memory is kept for the next clone.
    void reset();

    // Forgets every entry and gives the memory back (end of run).
    void release();

    size_t size() const { return size_; }
    size_t capacity() const { return capacity_; }

private:
    // A 16-bit stamp keeps a slot at 24 bytes; every 65535 resets the stamps
    // wrap and are cleared once, a cost shared by that many clones.
    using stamp_type = uint16_t;

    struct slot {
        sf_point_id source;
        sf_point_id clone;
        stamp_type stamp;  // generation of the write; 0 = never written
    };

    // Fibonacci hashing: the multiplication carries every bit of the id into
    // the top bits, which pick the slot, so ids that differ only in high bits
    // (layer numbers) or share low zero bits (aligned addresses) still spread.
    size_t home_of(sf_point_id source) const {
        const auto key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(source));
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    void grow();

    std::unique_ptr<slot[]> slots_;
    size_t capacity_ = 0;  // a power of two, or 0 before the first insert
    unsigned shift_ = 64;  // 64 - log2(capacity_), for the hash's top bits
    size_t size_ = 0;
    stamp_type generation_ = 1;
};

}  // namespace sowfield
