#include "host/block_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

namespace sowfield::host::block_pool {
namespace {

// A size no other test uses, so that counts of ready blocks are this test's.
size_t odd_size(size_t k) { return kPooledBytes * 3 + 4096 * k + 40; }

// Waits (up to a generous limit) for the helper to have `count` blocks of
// `bytes` ready.
bool ready_soon(size_t bytes, size_t count) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (ready(bytes) < count) {
        if (std::chrono::steady_clock::now() > limit) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(BlockPool, BlocksAreWholeAndDistinctAndTheHelperKeepsSomeReady) {
    const size_t bytes = odd_size(1);
    std::vector<unsigned char *> blocks;
    for (int k = 0; k < 6; ++k) {
        auto *block = static_cast<unsigned char *>(take(bytes));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
        std::memset(block, k + 1, bytes);  // every byte is writable
        blocks.push_back(block);
    }
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(blocks[k][0], k + 1);
        EXPECT_EQ(blocks[k][bytes - 1], k + 1) << "blocks overlap";
    }
    // Taking asked the helper for more: some are ready without being given.
    EXPECT_TRUE(ready_soon(bytes, 1));
    for (unsigned char *block : blocks) give(block, bytes);
}

TEST(BlockPool, GivenBlocksAreKeptForReuseUpToALimit) {
    const size_t bytes = odd_size(2);
    void *first = take(bytes);
    ASSERT_TRUE(ready_soon(bytes, 2));
    // The pool is full: a block given back now is unmapped, not kept.
    give(first, bytes);
    EXPECT_EQ(ready(bytes), 2u);
    std::set<void *> seen;
    void *a = take(bytes);
    void *b = take(bytes);
    seen.insert(a);
    seen.insert(b);
    EXPECT_EQ(seen.size(), 2u);
    give(a, bytes);
    give(b, bytes);
    EXPECT_LE(ready(bytes), 2u);
}

TEST(BlockPool, SmallBlocksAreNotPooled) {
    const size_t bytes = kPooledBytes - 8;
    void *block = take(bytes);
    std::memset(block, 0xAB, bytes);
    give(block, bytes);
    EXPECT_EQ(ready(bytes), 0u);
    give(nullptr, bytes);
    give(nullptr, odd_size(3));
}

}  // namespace
}  // namespace sowfield::host::block_pool
