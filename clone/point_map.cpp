#include "clone/point_map.h"

#include <bit>

namespace sowfield {

namespace {

constexpr size_t kFirstCapacity = 64;

}  // namespace

void point_id_map::grow() {
    const size_t new_capacity = capacity_ == 0 ? kFirstCapacity : capacity_ * 2;
    std::unique_ptr<slot[]> old = std::move(slots_);
    const size_t old_capacity = capacity_;
    slots_ = std::make_unique<slot[]>(new_capacity);  // value-initialised: every stamp 0
    capacity_ = new_capacity;
    shift_ = 64u - static_cast<unsigned>(std::countr_zero(new_capacity));
    const stamp_type old_generation = generation_;
    generation_ = 1;
    size_ = 0;
    for (size_t k = 0; k < old_capacity; ++k) {
        if (old[k].stamp != old_generation) continue;
        const size_t mask = capacity_ - 1;
        size_t i = home_of(old[k].source);
        while (slots_[i].stamp == generation_) i = (i + 1) & mask;
        slots_[i] = {old[k].source, old[k].clone, generation_};
        ++size_;
    }
}

void point_id_map::reset() {
    size_ = 0;
    if (++generation_ != 0) return;
    // The stamps wrapped: clear them so no slot of an old generation can pass
    // for one of the new.
    for (size_t k = 0; k < capacity_; ++k) slots_[k].stamp = 0;
    generation_ = 1;
}

void point_id_map::release() {
    slots_.reset();
    capacity_ = 0;
    shift_ = 64;
    size_ = 0;
    generation_ = 1;
}

}  // namespace sowfield
