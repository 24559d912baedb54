// Memory for the blocks of a scene's storage, made ready ahead of need.
//
// A scene that grows by gigabytes spends much of its time in page faults:
// the first write to each fresh page traps into the kernel, which clears it.
// A helper thread takes that work off the thread that fills the scene: for
// every block size asked for, it keeps a few blocks mapped with their pages
// already present, and take() hands one over at once (when none is ready it
// maps one itself, as an allocator would). Blocks given back are kept for
// reuse up to the same count and unmapped beyond it.
//
// Blocks smaller than kPooledBytes come from operator new and are not pooled.
// take() returns storage of `bytes` bytes, aligned to at least 16 bytes, with
// unspecified content; give() must receive the same size. Both may be called
// from any thread.
#pragma once

#include <cstddef>

namespace sowfield::host::block_pool {

inline constexpr size_t kPooledBytes = size_t{64} << 10;

// Blocks kept ready per size: enough that the helper, which maps the next
// while the filling thread uses the last, never falls behind a scene that
// grows steadily, and few enough that the spare memory stays small (a few
// megabytes for all the sizes a scene uses).
inline constexpr size_t kReadyPerSize = 2;

// Throws std::bad_alloc when no memory can be had.
void *take(size_t bytes);
void give(void *block, size_t bytes) noexcept;

// Blocks of `bytes` bytes ready to be taken now (for tests).
size_t ready(size_t bytes);

// Deleter of a block taken from the pool.
struct give_back {
    size_t bytes = 0;
    void operator()(void *block) const noexcept { give(block, bytes); }
};

}  // namespace sowfield::host::block_pool
