#include "io/atomic_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

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

// Writes all `n` bytes at the file's position; 0 or the errno of the failure.
// A file system that took O_DIRECT at open but refuses it on writing gets
// ordinary writes from then on (`direct` is cleared).
int write_all(int fd, const char *bytes, size_t n, std::atomic<bool> &direct) {
    while (n > 0) {
        const ssize_t written = ::write(fd, bytes, n);
        if (written < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            if (error == EINVAL && direct) {
                const int flags = ::fcntl(fd, F_GETFL);
                if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_DIRECT) == 0) {
                    direct = false;
                    continue;
                }
            }
            return error;
        }
        bytes += written;
        n -= static_cast<size_t>(written);
    }
    return 0;
}

void free_buffers(char *buffers) { std::free(buffers); }

}  // namespace

// The thread that writes one buffer while the next is filled. One write at a
// time: start() is called only after wait() has returned.
class AtomicFile::Writer {
public:
    Writer(int fd, std::atomic<bool> &direct) : fd_(fd), direct_(direct) {
        // Started with every signal blocked, so that signals meant for the
        // program reach its own threads and handlers, never this one.
        sigset_t all, before;
        sigfillset(&all);
        const bool masked = ::pthread_sigmask(SIG_BLOCK, &all, &before) == 0;
        try {
            thread_ = std::thread(&Writer::run, this);
        } catch (...) {
            if (masked) ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
            throw;
        }
        if (masked) ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }

    ~Writer() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Waits for the write under way, if any; the errno of the first write
    // that failed, or 0.
    int wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return bytes_ == nullptr; });
        return error_;
    }

    void start(const char *bytes, size_t n) {
        {
            std::lock_guard lock(mutex_);
            bytes_ = bytes;
            size_ = n;
        }
        changed_.notify_all();
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || bytes_ != nullptr; });
            if (bytes_ == nullptr) return;  // stopping with nothing to write
            const char *bytes = bytes_;
            const size_t n = size_;
            const bool failed_before = error_ != 0;
            lock.unlock();
            // After a failure the file is lost anyway; later parts are dropped.
            const int error = failed_before ? 0 : write_all(fd_, bytes, n, direct_);
            lock.lock();
            if (error != 0) error_ = error;
            bytes_ = nullptr;
            changed_.notify_all();
        }
    }

    const int fd_;
    std::atomic<bool> &direct_;
    std::mutex mutex_;
    std::condition_variable changed_;
    const char *bytes_ = nullptr;  // the write under way; null when idle
    size_t size_ = 0;
    int error_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

AtomicFile::AtomicFile(std::filesystem::path target) : target_(std::move(target)), buffers_(nullptr, free_buffers) {
    if (target_.filename().empty()) fail("the path names no file");
    // Hidden, beside the target (a rename across file systems is a copy).
    std::string stem(".");
    stem.append(target_.filename().string()).append(".tmp-").append(std::to_string(::getpid())).append("-");
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temporary_ = directory_of(target_) / (stem + std::to_string(temporary_counter++));
        // 0666 less the umask: the same permissions an ordinary new file gets.
        const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC;
        fd_ = ::open(temporary_.c_str(), flags | O_DIRECT, 0666);
        if (fd_ >= 0) {
            direct_ = true;
        } else if (errno == EINVAL) {  // a file system without direct writes (tmpfs)
            fd_ = ::open(temporary_.c_str(), flags, 0666);
        }
        if (fd_ < 0 && (errno != EEXIST || attempt > 100)) {
            const int error = errno;
            temporary_.clear();
            fail("cannot create a file in " + directory_of(target_).string() + ": " + std::strerror(error));
        }
    }
    buffers_.reset(static_cast<char *>(std::aligned_alloc(kBlock, 2 * kCapacity)));
    if (buffers_ == nullptr) throw std::bad_alloc();
    buffer_ = buffers_.get();
}

AtomicFile::~AtomicFile() {
    writer_.reset();  // finishes the write under way before the file closes
    if (fd_ >= 0) ::close(fd_);
    if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicFile::write(const void *data, size_t n) {
    const char *bytes = static_cast<const char *>(data);
    while (n > 0) {
        if (used_ == kCapacity) flush();
        const size_t part = std::min(n, kCapacity - used_);
        std::memcpy(buffer_ + used_, bytes, part);
        used_ += part;
        bytes += part;
        n -= part;
    }
}

// Hands the buffer's whole blocks to the writer and goes on in the other
// buffer, which starts with the partial block left over.
void AtomicFile::flush() {
    if (!writer_) writer_ = std::make_unique<Writer>(fd_, direct_);
    if (const int error = writer_->wait()) fail_errno("cannot write", error);
    const size_t whole = used_ / kBlock * kBlock;
    char *const full = buffer_;
    buffer_ = full == buffers_.get() ? buffers_.get() + kCapacity : buffers_.get();
    std::memcpy(buffer_, full + whole, used_ - whole);
    writer_->start(full, whole);
    flushed_ += whole;
    used_ -= whole;
}

// The last bytes. A direct write must be of whole blocks, so the last block
// is padded and the file cut back to its size.
void AtomicFile::write_tail() {
    if (used_ == 0) return;
    if (direct_) {
        const size_t padded = (used_ + kBlock - 1) / kBlock * kBlock;
        std::memset(buffer_ + used_, 0, padded - used_);
        if (const int error = write_all(fd_, buffer_, padded, direct_)) fail_errno("cannot write", error);
        if (::ftruncate(fd_, static_cast<off_t>(flushed_ + used_)) != 0) fail_errno("cannot write");
    } else if (const int error = write_all(fd_, buffer_, used_, direct_)) {
        fail_errno("cannot write", error);
    }
    flushed_ += used_;
    used_ = 0;
}

std::vector<std::filesystem::path> AtomicFile::targets() const {
    std::vector<std::filesystem::path> all;
    for (const std::unique_ptr<AtomicFile> &companion : companions_) all.push_back(companion->target_);
    all.push_back(target_);
    return all;
}

void AtomicFile::commit() {
    if (writer_) {
        if (const int error = writer_->wait()) fail_errno("cannot write", error);
        writer_.reset();
    }
    write_tail();
    if (::fsync(fd_) != 0) fail_errno("cannot flush to disk");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail_errno("cannot close");
    for (const std::unique_ptr<AtomicFile> &companion : companions_) companion->commit();
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        for (const std::unique_ptr<AtomicFile> &companion : companions_) ::unlink(companion->target_.c_str());
        fail_errno("cannot replace the file", error);
    }
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

void AtomicFile::fail_errno(const std::string &what) const { fail_errno(what, errno); }

void AtomicFile::fail_errno(const std::string &what, int error) const { fail(what + ": " + std::strerror(error)); }

}  // namespace sowfield::io
