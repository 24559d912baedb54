#include "host/scene/block_pool.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

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

// A signal sent to the process must reach a thread of the program, never
// the helper. While this thread blocks SIGUSR1 the helper is the only other
// thread that could take it; it must stay pending until this thread lets it in.
volatile sig_atomic_t caught_on = 0;  // 1: this thread, 2: another
pthread_t test_thread;
void on_usr1(int) { caught_on = pthread_equal(pthread_self(), test_thread) ? 1 : 2; }

TEST(BlockPool, TheHelperTakesNoSignalMeantForTheProcess) {
    give(take(odd_size(4)), odd_size(4));  // the helper exists by now
    ASSERT_TRUE(ready_soon(odd_size(4), 1));
    test_thread = pthread_self();
    struct sigaction action {};
    action.sa_handler = on_usr1;
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGUSR1, &action, &before), 0);
    sigset_t usr1, mask;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &usr1, &mask), 0);
    ASSERT_EQ(kill(getpid(), SIGUSR1), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(caught_on, 0) << "another thread took the signal";
    pthread_sigmask(SIG_SETMASK, &mask, nullptr);  // delivered here, now
    sigaction(SIGUSR1, &before, nullptr);
    EXPECT_EQ(caught_on, 1);
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
