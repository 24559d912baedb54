// The map from a background point to the point created for it in the clone
// being built, so that points shared by several polygons are created once per
// clone and shared again by the copies.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sowfield_host.h"

namespace sowfield {

// Host ids are opaque, so the map hashes them (open addressing, linear
// probing) instead of searching a list: a lookup costs the same whether the
// clone has made ten points or a million.
//
// Every clone asks about the same background points in the same order (the
// host's polygon order), so the map keeps, from one clone to the next:
//  - a number for every id it has met, given in the order first met (the
//    hash table maps id -> number);
//  - the walk: the ids asked about by find, in the order asked, each with
//    its number.
// The clone points themselves sit in an array indexed by number, each with
// the generation it was written in; `reset` starts a new generation, which
// empties the map without touching its memory. When the i-th question of a
// clone is about the same id as the i-th question of the walk, the answer
// comes from the walk and the array, read in order, instead of a probe of
// the table at a random place. Any other question (a first clone, a host
// whose order changed) goes through the table, as a plain hash map would.
// Once grown to a clone's size, building further clones allocates nothing.
class point_id_map {
public:
    point_id_map() = default;
    point_id_map(const point_id_map &) = delete;
    point_id_map &operator=(const point_id_map &) = delete;

    // The clone point recorded for `source`, or null when there is none. The
    // recorded value itself may be null (a point the host refused); the
    // pointer is valid until the next insert, reset or release.
    const sf_point_id *find(sf_point_id source) {
        uint32_t number = kNone;
        if (cursor_ < walk_.size() && walk_[cursor_].source == source) [[likely]]
            number = walk_[cursor_].number;
        if (number == kNone) number = learn_step(source);
        last_source_ = source;
        last_step_ = cursor_;
        ++cursor_;
        if (number == kNone || made_[number].stamp != generation_) return nullptr;
        return &made_[number].clone;
    }

    // Records `clone` for `source`, which must not be in the map yet.
    void insert(sf_point_id source, sf_point_id clone) {
        assert(!contains(source) && "a background point is created once per clone");
        made_[number(source)] = {clone, generation_};
        ++size_;
    }

    // The number of `source`: small, dense, given in the order ids are first
    // met, and the same in every clone until the numbers are forgotten (see
    // numbering()). Given now when the id has none. Cheapest right after
    // find(source), the usual order.
    uint32_t number(sf_point_id source) {
        const bool just_asked = last_step_ < walk_.size() && last_source_ == source;
        uint32_t known = just_asked ? walk_[last_step_].number : kNone;
        if (known == kNone) {
            known = number_for(source);
            if (just_asked) walk_[last_step_].number = known;
        }
        return known;
    }

    // Changes whenever the numbers given so far are forgotten (a host that
    // keeps handing out new ids; the end of a run), so that whatever is kept
    // by number can tell that it no longer applies.
    uint64_t numbering() const { return numbering_; }

    // Forgets every entry; the memory is kept for the next clone.
    void reset();

    // Forgets every entry and gives the memory back (end of run).
    void release();

    // Entries recorded since the last reset.
    size_t size() const { return size_; }
    // Slots of the id table.
    size_t capacity() const { return capacity_; }

private:
    static constexpr uint32_t kNone = UINT32_MAX;

    struct slot {
        sf_point_id source;
        uint32_t number;  // valid when used
        uint32_t used;    // 0 for an empty slot (any id, null too, can be a key)
    };
    struct made_point {
        sf_point_id clone;
        uint32_t stamp;  // generation of the write; 0 = never written
    };
    struct step {
        sf_point_id source;
        uint32_t number;  // kNone until the id has one
    };

    // Fibonacci hashing: the multiplication carries every bit of the id into
    // the top bits, which pick the slot, so ids that differ only in high bits
    // (layer numbers) or share low zero bits (aligned addresses) still spread.
    size_t home_of(sf_point_id source) const {
        const auto key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(source));
        return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> shift_);
    }
    // The number of `source`, or kNone.
    uint32_t number_of(sf_point_id source) const;
    // The number of `source`, given now when it has none.
    uint32_t number_for(sf_point_id source);
    // find's question that the walk could not answer: through the table,
    // and written into the walk for the next clone.
    uint32_t learn_step(sf_point_id source);
    bool contains(sf_point_id source) const {
        const uint32_t number = number_of(source);
        return number != kNone && made_[number].stamp == generation_;
    }
    void grow();
    void forget_numbers();

    std::unique_ptr<slot[]> slots_;
    size_t capacity_ = 0;  // a power of two, or 0 before the first number
    unsigned shift_ = 64;  // 64 - log2(capacity_), for the hash's top bits
    std::vector<made_point> made_;  // by number
    std::vector<step> walk_;
    size_t cursor_ = 0;  // find's questions in this clone so far
    sf_point_id last_source_ = nullptr;
    size_t last_step_ = SIZE_MAX;  // walk step of the last find
    size_t size_ = 0;
    size_t largest_ = 0;  // the most entries any clone had
    uint32_t generation_ = 1;
    uint64_t numbering_ = 0;
};

}  // namespace sowfield
