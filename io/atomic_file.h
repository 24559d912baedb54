// An output file that appears whole or not at all: the bytes go to a
// temporary file beside the target, which is flushed to disk and renamed over
// the target only by commit(). Destroying an uncommitted file removes the
// temporary, so an exception anywhere in a writer leaves the target as it was.
//
// Large files are written while the next part is being formatted: each full
// buffer goes to a writer thread and the caller goes on filling a second one.
// Where the file system allows, the bytes go straight to the disk (O_DIRECT)
// rather than through the page cache: the file is synced before the rename in
// any case, and copying gigabytes into the cache only to flush them out again
// cost more than the disk itself (a 3 GB OBJ: 17 s buffered, 4-5 s direct).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sowfield::io {

class AtomicFile {
public:
    // Creates the temporary file; throws MeshFileError naming `target`.
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Room for `n` more bytes (n <= kBufferSize) at the end of the buffer,
    // flushing first when needed. Fill some of it, then advance() by as many.
    char *reserve(size_t n) {
        if (kCapacity - used_ < n) flush();
        return buffer_ + used_;
    }
    void advance(size_t n) { used_ += n; }
    // Room for one more byte is the commonest request; keep it cheap.
    void put(char c) {
        *reserve(1) = c;
        ++used_;
    }

    void write(const void *data, size_t n);
    void write(std::string_view text) { write(text.data(), text.size()); }

    // Bytes written so far (flushed or buffered).
    uint64_t size() const { return flushed_ + used_; }

    // Flushes, syncs and renames the temporary file onto the target.
    void commit();

    // A file that must appear with this one and only with it (a .gltf's
    // .bin): committed just before this one, and removed again should this
    // one's rename fail; dropped unwritten when this one is never committed.
    void attach(std::unique_ptr<AtomicFile> companion) { companions_.push_back(std::move(companion)); }

    // Throws MeshFileError "Error writing <target>: <detail>".
    [[noreturn]] void fail(const std::string &detail) const;

    const std::filesystem::path &target() const { return target_; }
    // The targets of the companions (in the order attached), then this one's.
    std::vector<std::filesystem::path> targets() const;
    const std::filesystem::path &temporary() const { return temporary_; }

    static constexpr size_t kBufferSize = size_t{4} << 20;
    // Direct writes go in whole blocks of this size, from addresses aligned to
    // it; the bytes of a block not yet complete stay in the buffer.
    static constexpr size_t kBlock = 4096;

private:
    class Writer;
    // A buffer holds kBufferSize bytes beyond a partial block carried over.
    static constexpr size_t kCapacity = kBufferSize + kBlock;

    void flush();
    void write_tail();
    [[noreturn]] void fail_errno(const std::string &what) const;
    [[noreturn]] void fail_errno(const std::string &what, int error) const;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool committed_ = false;
    std::unique_ptr<char, void (*)(char *)> buffers_;  // two of kCapacity
    char *buffer_ = nullptr;                           // the one being filled
    size_t used_ = 0;
    uint64_t flushed_ = 0;
    std::unique_ptr<Writer> writer_;  // started at the first flush
    std::vector<std::unique_ptr<AtomicFile>> companions_;
    std::atomic<bool> direct_{false};  // O_DIRECT in force (the writer may drop it)
};

}  // namespace sowfield::io
