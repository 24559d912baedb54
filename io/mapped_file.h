// A whole input file as read-only bytes, mapped rather than copied so that a
// multi-gigabyte mesh costs page cache, not heap.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace sowfield::io {

class MappedFile {
public:
    // Throws MeshFileError "Error loading <path>: ..." when the file is
    // missing, unreadable or not a regular file.
    explicit MappedFile(const std::filesystem::path &path);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    std::string_view bytes() const { return {data_, size_}; }
    size_t size() const { return size_; }

private:
    const char *data_ = "";
    size_t size_ = 0;
    bool mapped_ = false;
};

}  // namespace sowfield::io
