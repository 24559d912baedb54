// The map from a background point to the point created for it in the clone
// being built, so that points shared by several polygons are created once per
// clone and shared again by the copies.
#pragma once

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
    const sf_point_id *find(sf_point_id source) const;

    // Records `clone` for `source`, which must not be in the map yet.
    void insert(sf_point_id source, sf_point_id clone);

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

    size_t home_of(sf_point_id source) const;
    void grow();

    std::unique_ptr<slot[]> slots_;
    size_t capacity_ = 0;  // a power of two, or 0 before the first insert
    unsigned shift_ = 64;  // 64 - log2(capacity_), for the hash's top bits
    size_t size_ = 0;
    stamp_type generation_ = 1;
};

}  // namespace sowfield
