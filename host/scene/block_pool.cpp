#include "host/scene/block_pool.h"

#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace sowfield::host::block_pool {

namespace {

// Distinct pooled sizes; a scene uses about eight (positions, polygon spans,
// polygon attributes, corners, values of each map dimension). Further sizes
// are mapped on demand without a pool.
constexpr size_t kMaxSizes = 16;

size_t page_rounded(size_t bytes) {
    static const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    return (bytes + page - 1) / page * page;
}

// Null when the system refuses. `populate` faults the pages in now.
void *map_block(size_t bytes, bool populate) {
    void *block = ::mmap(nullptr, page_rounded(bytes), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | (populate ? MAP_POPULATE : 0), -1, 0);
    return block == MAP_FAILED ? nullptr : block;
}

void unmap_block(void *block, size_t bytes) { ::munmap(block, page_rounded(bytes)); }

class Pool {
public:
    void *take(size_t bytes) {
        void *block = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (SizeClass *size = find_or_add(bytes)) {
                if (!size->ready.empty()) {
                    block = size->ready.back();
                    size->ready.pop_back();
                }
                ask_helper();
            }
        }
        if (block == nullptr) block = map_block(bytes, false);
        if (block == nullptr) throw std::bad_alloc();
        return block;
    }

    void give(void *block, size_t bytes) noexcept {
        {
            std::lock_guard lock(mutex_);
            SizeClass *size = find(bytes);
            if (size != nullptr && size->ready.size() < kReadyPerSize) {
                size->ready.push_back(block);  // capacity reserved: cannot throw
                return;
            }
        }
        unmap_block(block, bytes);
    }

    size_t ready(size_t bytes) {
        std::lock_guard lock(mutex_);
        const SizeClass *size = find(bytes);
        return size != nullptr ? size->ready.size() : 0;
    }

private:
    struct SizeClass {
        size_t bytes = 0;
        std::vector<void *> ready;
    };

    SizeClass *find(size_t bytes) {
        for (size_t k = 0; k < count_; ++k)
            if (sizes_[k].bytes == bytes) return &sizes_[k];
        return nullptr;
    }
    SizeClass *find_or_add(size_t bytes) {
        if (SizeClass *size = find(bytes)) return size;
        if (count_ == kMaxSizes) return nullptr;
        SizeClass &added = sizes_[count_];
        added.ready.reserve(kReadyPerSize);  // may throw before the size is counted
        added.bytes = bytes;
        ++count_;
        return &added;
    }

    // With mutex_ held.
    void ask_helper() {
        wanted_ = true;
        if (!helper_started_) {
            helper_started_ = true;
            // The helper starts with every signal blocked (a new thread
            // inherits the mask), so signals meant for the process reach
            // the program's own threads and their handlers, never the helper.
            sigset_t all, before;
            sigfillset(&all);
            const bool masked = ::pthread_sigmask(SIG_BLOCK, &all, &before) == 0;
            try {
                std::thread(&Pool::help, this).detach();
            } catch (...) {
                // No helper: take() maps every block itself, as without a pool.
            }
            if (masked) ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        }
        wanted_signal_.notify_one();
    }

    // The helper: fills every size up to kReadyPerSize whenever asked. It
    // maps outside the lock, so take() and give() never wait for a mapping.
    void help() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wanted_signal_.wait(lock, [this] { return wanted_; });
            wanted_ = false;
            for (size_t k = 0; k < count_; ++k) {
                while (sizes_[k].ready.size() < kReadyPerSize) {
                    const size_t bytes = sizes_[k].bytes;
                    lock.unlock();
                    void *block = map_block(bytes, true);
                    lock.lock();
                    if (block == nullptr) break;  // out of memory: take() will say so
                    if (sizes_[k].ready.size() < kReadyPerSize) {
                        sizes_[k].ready.push_back(block);
                    } else {
                        lock.unlock();
                        unmap_block(block, bytes);
                        lock.lock();
                    }
                }
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wanted_signal_;
    bool wanted_ = false;
    bool helper_started_ = false;
    // In place for the life of the pool: sizes are added, never removed.
    std::array<SizeClass, kMaxSizes> sizes_{};
    size_t count_ = 0;
};

// The pool lives as long as the process, helper included: made once and
// never destroyed, so no block given back during static destruction finds
// it gone.
Pool &pool() {
    static Pool *const instance = new Pool;
    return *instance;
}

}  // namespace

void *take(size_t bytes) {
    if (bytes < kPooledBytes) return ::operator new(bytes);
    return pool().take(bytes);
}

void give(void *block, size_t bytes) noexcept {
    if (block == nullptr) return;
    if (bytes < kPooledBytes) {
        ::operator delete(block);
        return;
    }
    pool().give(block, bytes);
}

size_t ready(size_t bytes) { return bytes < kPooledBytes ? 0 : pool().ready(bytes); }

}  // namespace sowfield::host::block_pool
