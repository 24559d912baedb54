#include "io/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "io/format_io.h"

namespace sowfield::io {

MappedFile::MappedFile(const std::filesystem::path &path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) detail::fail_loading(path, std::strerror(errno));
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        detail::fail_loading(path, std::strerror(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        detail::fail_loading(path, S_ISDIR(info.st_mode) ? "is a directory" : "is not a regular file");
    }
    size_ = static_cast<size_t>(info.st_size);
    if (size_ > 0) {
        void *map = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (map == MAP_FAILED) {
            const int error = errno;
            ::close(fd);
            detail::fail_loading(path, std::string("cannot read: ") + std::strerror(error));
        }
        ::madvise(map, size_, MADV_SEQUENTIAL);
        data_ = static_cast<const char *>(map);
        mapped_ = true;
    }
    ::close(fd);
}

MappedFile::~MappedFile() {
    if (mapped_) ::munmap(const_cast<char *>(data_), size_);
}

}  // namespace sowfield::io
