// An output file that appears whole or not at all: the bytes go to a
// temporary file beside the target, which is flushed to disk and renamed over
// the target only by commit(). Destroying an uncommitted file removes the
// temporary, so an exception anywhere in a writer leaves the target as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

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
        if (kBufferSize - used_ < n) flush();
        return buffer_.get() + used_;
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

    // Throws MeshFileError "Error writing <target>: <detail>".
    [[noreturn]] void fail(const std::string &detail) const;

    const std::filesystem::path &target() const { return target_; }
    const std::filesystem::path &temporary() const { return temporary_; }

    static constexpr size_t kBufferSize = size_t{4} << 20;

private:
    void flush();
    [[noreturn]] void fail_errno(const std::string &what) const;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool committed_ = false;
    std::unique_ptr<char[]> buffer_;
    size_t used_ = 0;
    uint64_t flushed_ = 0;
};

}  // namespace sowfield::io
