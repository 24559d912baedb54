#include "clone/point_map.h"

#include <bit>

namespace sowfield {

namespace {

constexpr size_t kFirstCapacity = 64;

// Numbers given to ids that no recent clone asked about are let go when they
// outnumber the largest clone this many times (plus a margin), so a host that
// hands out new ids all the time cannot make the map grow without end.
constexpr size_t kStaleNumbersFactor = 4;
constexpr size_t kStaleNumbersMargin = 1024;

}  // namespace

uint32_t point_id_map::number_of(sf_point_id source) const {
    if (capacity_ == 0) return kNone;
    const size_t mask = capacity_ - 1;
    // The load stays at most one half, so an empty slot always ends the walk.
    for (size_t i = home_of(source);; i = (i + 1) & mask) {
        const slot &s = slots_[i];
        if (s.used == 0) return kNone;
        if (s.source == source) return s.number;
    }
}

uint32_t point_id_map::number_for(sf_point_id source) {
    const uint32_t known = number_of(source);
    if (known != kNone) return known;
    if ((made_.size() + 1) * 2 > capacity_) grow();
    const size_t mask = capacity_ - 1;
    size_t i = home_of(source);
    while (slots_[i].used != 0) i = (i + 1) & mask;
    const auto number = static_cast<uint32_t>(made_.size());
    slots_[i] = {source, number, 1};
    made_.push_back({nullptr, 0});
    return number;
}

uint32_t point_id_map::learn_step(sf_point_id source) {
    const uint32_t number = number_of(source);
    if (cursor_ < walk_.size())
        walk_[cursor_] = {source, number};
    else
        walk_.push_back({source, number});
    return number;
}

void point_id_map::grow() {
    const size_t new_capacity = capacity_ == 0 ? kFirstCapacity : capacity_ * 2;
    std::unique_ptr<slot[]> old = std::move(slots_);
    const size_t old_capacity = capacity_;
    slots_ = std::make_unique<slot[]>(new_capacity);  // value-initialised: every slot empty
    capacity_ = new_capacity;
    shift_ = 64u - static_cast<unsigned>(std::countr_zero(new_capacity));
    const size_t mask = capacity_ - 1;
    for (size_t k = 0; k < old_capacity; ++k) {
        if (old[k].used == 0) continue;
        size_t i = home_of(old[k].source);
        while (slots_[i].used != 0) i = (i + 1) & mask;
        slots_[i] = old[k];
    }
}

void point_id_map::forget_numbers() {
    ++numbering_;
    for (size_t k = 0; k < capacity_; ++k) slots_[k].used = 0;
    made_.clear();
    walk_.clear();
}

void point_id_map::reset() {
    if (size_ > largest_) largest_ = size_;
    size_ = 0;
    cursor_ = 0;
    last_step_ = SIZE_MAX;
    if (made_.size() > kStaleNumbersFactor * largest_ + kStaleNumbersMargin) forget_numbers();
    if (++generation_ != 0) return;
    // The stamps wrapped: clear them so no point of an old generation can
    // pass for one of the new.
    for (made_point &m : made_) m.stamp = 0;
    generation_ = 1;
}

void point_id_map::release() {
    ++numbering_;
    slots_.reset();
    capacity_ = 0;
    shift_ = 64;
    made_ = {};
    walk_ = {};
    cursor_ = 0;
    last_source_ = nullptr;
    last_step_ = SIZE_MAX;
    size_ = 0;
    largest_ = 0;
    generation_ = 1;
}

}  // namespace sowfield
