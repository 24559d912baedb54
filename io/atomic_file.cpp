#include "io/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "io/mesh_file.h"

namespace sowfield::io {

namespace {

// Distinct temporary names within one process; O_EXCL settles any clash with
// another process.
std::atomic<unsigned> temporary_counter{0};

std::filesystem::path directory_of(const std::filesystem::path &target) {
    std::filesystem::path dir = target.parent_path();
    return dir.empty() ? std::filesystem::path(".") : dir;
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target)) {
    if (target_.filename().empty()) fail("the path names no file");
    // Hidden, beside the target (a rename across file systems is a copy).
    std::string stem(".");
    stem.append(target_.filename().string()).append(".tmp-").append(std::to_string(::getpid())).append("-");
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temporary_ = directory_of(target_) / (stem + std::to_string(temporary_counter++));
        // 0666 less the umask: the same permissions an ordinary new file gets.
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt > 100)) {
            const int error = errno;
            temporary_.clear();
            fail("cannot create a file in " + directory_of(target_).string() + ": " + std::strerror(error));
        }
    }
    buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
}

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicFile::write(const void *data, size_t n) {
    const char *bytes = static_cast<const char *>(data);
    while (n > 0) {
        if (used_ == kBufferSize) flush();
        const size_t part = std::min(n, kBufferSize - used_);
        std::memcpy(buffer_.get() + used_, bytes, part);
        used_ += part;
        bytes += part;
        n -= part;
    }
}

void AtomicFile::flush() {
    const char *bytes = buffer_.get();
    size_t left = used_;
    while (left > 0) {
        const ssize_t written = ::write(fd_, bytes, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail_errno("cannot write");
        }
        bytes += written;
        left -= static_cast<size_t>(written);
    }
    flushed_ += used_;
    used_ = 0;
}

void AtomicFile::commit() {
    flush();
    if (::fsync(fd_) != 0) fail_errno("cannot flush to disk");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail_errno("cannot close");
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail_errno("cannot replace the file");
    committed_ = true;
    // The rename itself is durable only once the directory is synced; some
    // file systems refuse to sync a directory, which loses nothing written.
    const int dir = ::open(directory_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
}

void AtomicFile::fail(const std::string &detail) const {
    throw MeshFileError("Error writing " + target_.string() + ": " + detail);
}

void AtomicFile::fail_errno(const std::string &what) const { fail(what + ": " + std::strerror(errno)); }

}  // namespace sowfield::io
