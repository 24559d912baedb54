// Reading one glTF accessor, checked against its buffer view and buffer.
#pragma once

#include <tiny_gltf.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace sowfield::io::detail {

// Throws MeshFileError "Error loading <path>: <detail>".
struct LoadFailure {
    const std::filesystem::path &path;
    [[noreturn]] void operator()(const std::string &detail) const;
};

// The elements of one accessor, converted to float as the format defines
// (normalized integers scaled into [0, 1] or [-1, 1]). Sparse accessors are
// made dense once; accessors without a buffer view read as zeros.
class AccessorView {
public:
    // `role` says what the accessor is for, in messages.
    AccessorView(const tinygltf::Model &model, int index, const std::string &role, const LoadFailure &fail);

    size_t count() const { return count_; }
    int components() const { return components_; }
    int component_type() const { return type_; }
    bool normalized() const { return normalized_; }

    void read(size_t element, float *out) const {
        const unsigned char *at = data_ ? data_ + element * stride_ : nullptr;
        for (int c = 0; c < components_; ++c) out[c] = at ? component(at + static_cast<size_t>(c) * size_) : 0.0f;
    }
    uint32_t index(size_t element) const {
        if (!data_) return 0;
        const unsigned char *at = data_ + element * stride_;
        switch (type_) {
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return *at;
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: return load<uint16_t>(at);
            default: return load<uint32_t>(at);
        }
    }

private:
    template <class T>
    static T load(const unsigned char *at) {
        T value;
        std::memcpy(&value, at, sizeof value);
        return value;
    }
    float component(const unsigned char *at) const {
        switch (type_) {
            case TINYGLTF_COMPONENT_TYPE_FLOAT: return load<float>(at);
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: return normalized_ ? *at / 255.0f : *at;
            case TINYGLTF_COMPONENT_TYPE_BYTE: {
                const auto v = load<int8_t>(at);
                return normalized_ ? std::max(v / 127.0f, -1.0f) : v;
            }
            case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: {
                const auto v = load<uint16_t>(at);
                return normalized_ ? v / 65535.0f : v;
            }
            case TINYGLTF_COMPONENT_TYPE_SHORT: {
                const auto v = load<int16_t>(at);
                return normalized_ ? std::max(v / 32767.0f, -1.0f) : v;
            }
            default: return static_cast<float>(load<uint32_t>(at));
        }
    }

    // A view's bytes for `count` elements of `size` bytes from `offset`, checked.
    static const unsigned char *range(const tinygltf::Model &model, int view_index, uint64_t offset, uint64_t count,
                                      uint64_t element, uint64_t *stride_out, const std::string &what,
                                      const LoadFailure &fail);

    size_t count_ = 0;
    int components_ = 1;
    int type_ = TINYGLTF_COMPONENT_TYPE_FLOAT;
    size_t size_ = 4;
    bool normalized_ = false;
    const unsigned char *data_ = nullptr;
    size_t stride_ = 0;
    std::vector<unsigned char> dense_;  // a sparse accessor made whole
};

// Appends an accessor of `count` elements of `components` four-byte values
// over a new, tightly packed view of buffer 0 that starts at `binary_size`,
// and advances `binary_size` past it. `target` 0 leaves the view's target
// unset. Gives the accessor's index.
int append_accessor(tinygltf::Model &model, uint64_t &binary_size, int components, uint64_t count, int target = 0,
                    int component_type = TINYGLTF_COMPONENT_TYPE_FLOAT);

}  // namespace sowfield::io::detail
