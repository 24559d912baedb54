// A growable array in fixed-size blocks: elements never move once added, the
// slack is at most one block, and indexing is two shifts and a load. Elements
// must be trivially copyable; new ones are uninitialised until written.
//
// Blocks come from block_pool, whose helper thread faults their pages in
// ahead of need. (Offering the blocks for transparent huge pages was tried
// first, to save page faults while a large scene grows: on a host with
// memory accounting the faults' system time doubled instead.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include <memory>

#include "host/scene/block_pool.h"

namespace sowfield::host {

template <class T, unsigned BlockBits = 16>
class BlockArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    static constexpr size_t kBlock = size_t{1} << BlockBits;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    T &operator[](size_t i) { return blocks_[i >> BlockBits][i & (kBlock - 1)]; }
    const T &operator[](size_t i) const { return blocks_[i >> BlockBits][i & (kBlock - 1)]; }

    [[gnu::always_inline]] void push_back(const T &value) {
        if ((size_ & (kBlock - 1)) == 0 && (size_ >> BlockBits) == blocks_.size()) [[unlikely]]
            add_block();
        blocks_[size_ >> BlockBits][size_ & (kBlock - 1)] = value;
        ++size_;
    }

    // Grows to `n` elements, new ones set to `fill`.
    void resize(size_t n, const T &fill = T{}) {
        while (size_ < n) push_back(fill);
        if (n < size_) shrink(n);
    }

    // Drops elements at and after `n` and frees the blocks no longer used.
    void shrink(size_t n) {
        if (n >= size_) return;
        size_ = n;
        const size_t keep = (n + kBlock - 1) >> BlockBits;
        blocks_.resize(keep);
        memory_.resize(keep);  // frees the blocks dropped
    }

    // Appends `n` elements that must stay contiguous; when they would cross a
    // block boundary the rest of the block is padded with `fill`. Returns the
    // index of the first element. Needs n <= kBlock.
    size_t append_contiguous(const T *values, size_t n, const T &fill = T{}) {
        const size_t offset = size_ & (kBlock - 1);
        // The common case: the current block exists and has room.
        if (offset != 0 && n <= kBlock - offset) [[likely]] {
            const size_t start = size_;
            if (n != 0) std::memcpy(blocks_[size_ >> BlockBits] + offset, values, n * sizeof(T));
            size_ += n;
            return start;
        }
        const size_t room = kBlock - offset;
        if (n > room && room != kBlock)
            for (size_t i = 0; i < room; ++i) push_back(fill);
        const size_t start = size_;
        for (size_t i = 0; i < n; ++i) push_back(values[i]);
        return start;
    }

    void reserve_blocks(size_t n) {
        blocks_.reserve((n + kBlock - 1) >> BlockBits);
        memory_.reserve((n + kBlock - 1) >> BlockBits);
    }

private:
    void add_block() {
        blocks_.reserve(blocks_.size() + 1);  // so the second push_back cannot fail
        memory_.reserve(memory_.size() + 1);  // so that the block is owned once taken
        constexpr size_t bytes = kBlock * sizeof(T);
        memory_.emplace_back(static_cast<T *>(block_pool::take(bytes)), block_pool::give_back{bytes});
        blocks_.push_back(memory_.back().get());
    }

    std::vector<T *> blocks_;  // the blocks' addresses, for indexing
    std::vector<std::unique_ptr<T[], block_pool::give_back>> memory_;
    size_t size_ = 0;
};

}  // namespace sowfield::host
