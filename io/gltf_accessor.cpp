#include "io/gltf_accessor.h"

#include <algorithm>

#include "io/format_io.h"

namespace sowfield::io::detail {

void LoadFailure::operator()(const std::string &detail) const { fail_loading(path, detail); }

AccessorView::AccessorView(const tinygltf::Model &model, int index, const std::string &role, const LoadFailure &fail) {
    const std::string what = "accessor " + std::to_string(index) + " (" + role + ")";
    if (index < 0 || static_cast<size_t>(index) >= model.accessors.size())
        fail(role + " refers to accessor " + std::to_string(index) + ", but only " +
             std::to_string(model.accessors.size()) + " exist");
    const tinygltf::Accessor &accessor = model.accessors[static_cast<size_t>(index)];
    switch (accessor.type) {
        case TINYGLTF_TYPE_SCALAR: components_ = 1; break;
        case TINYGLTF_TYPE_VEC2: components_ = 2; break;
        case TINYGLTF_TYPE_VEC3: components_ = 3; break;
        case TINYGLTF_TYPE_VEC4: components_ = 4; break;
        default: fail(what + ": unsupported element type");
    }
    type_ = accessor.componentType;
    switch (type_) {
        case TINYGLTF_COMPONENT_TYPE_BYTE:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE: size_ = 1; break;
        case TINYGLTF_COMPONENT_TYPE_SHORT:
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT: size_ = 2; break;
        case TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT:
        case TINYGLTF_COMPONENT_TYPE_FLOAT: size_ = 4; break;
        default: fail(what + ": unsupported component type " + std::to_string(type_));
    }
    normalized_ = accessor.normalized;
    count_ = accessor.count;
    const uint64_t element = size_ * static_cast<uint64_t>(components_);
    if (accessor.bufferView >= 0) {
        uint64_t stride = 0;
        data_ = range(model, accessor.bufferView, accessor.byteOffset, count_, element, &stride, what, fail);
        stride_ = stride;
    } else {
        // Elements without data read as zeros and cost nothing in the file,
        // but a point each in the layer: no more of them than the file's
        // data could give vertices to (a hostile count would exhaust memory).
        uint64_t bytes = 0;
        for (const tinygltf::Buffer &buffer : model.buffers) bytes += buffer.data.size();
        if (count_ > std::max<uint64_t>(bytes, uint64_t{1} << 16))
            fail(what + ": " + std::to_string(count_) + " elements without data, more than the file can use");
    }
    if (!accessor.sparse.isSparse) return;

    // Sparse: a dense copy of the base (or zeros), then the listed elements replaced.
    const auto &sparse = accessor.sparse;
    if (sparse.count < 0 || static_cast<uint64_t>(sparse.count) > count_) fail(what + ": malformed sparse storage");
    dense_.assign(count_ * element, 0);
    if (data_)
        for (size_t i = 0; i < count_; ++i) std::memcpy(&dense_[i * element], data_ + i * stride_, element);
    const int index_type = sparse.indices.componentType;
    const uint64_t index_size = index_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_BYTE    ? 1
                                : index_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT ? 2
                                : index_type == TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT   ? 4
                                                                                       : 0;
    if (index_size == 0 || sparse.indices.byteOffset < 0 || sparse.values.byteOffset < 0)
        fail(what + ": malformed sparse storage");
    uint64_t unused = 0;
    const auto n = static_cast<uint64_t>(sparse.count);
    const unsigned char *indices =
        range(model, sparse.indices.bufferView, static_cast<uint64_t>(sparse.indices.byteOffset), n, index_size,
              &unused, what, fail);
    const unsigned char *values =
        range(model, sparse.values.bufferView, static_cast<uint64_t>(sparse.values.byteOffset), n, element, &unused,
              what, fail);
    for (uint64_t k = 0; k < n; ++k) {
        uint32_t target = 0;
        std::memcpy(&target, indices + k * index_size, index_size);  // little-endian
        if (target >= count_) fail(what + ": sparse index " + std::to_string(target) + " is out of range");
        std::memcpy(&dense_[target * element], values + k * element, element);
    }
    data_ = dense_.data();
    stride_ = element;
}

const unsigned char *AccessorView::range(const tinygltf::Model &model, int view_index, uint64_t offset, uint64_t count,
                                         uint64_t element, uint64_t *stride_out, const std::string &what,
                                         const LoadFailure &fail) {
    if (view_index < 0 || static_cast<size_t>(view_index) >= model.bufferViews.size())
        fail(what + " refers to buffer view " + std::to_string(view_index) + ", but only " +
             std::to_string(model.bufferViews.size()) + " exist");
    const tinygltf::BufferView &view = model.bufferViews[static_cast<size_t>(view_index)];
    if (view.buffer < 0 || static_cast<size_t>(view.buffer) >= model.buffers.size())
        fail("buffer view " + std::to_string(view_index) + " refers to buffer " + std::to_string(view.buffer) +
             ", but only " + std::to_string(model.buffers.size()) + " exist");
    const std::vector<unsigned char> &buffer = model.buffers[static_cast<size_t>(view.buffer)].data;
    if (view.byteOffset > buffer.size() || view.byteLength > buffer.size() - view.byteOffset)
        fail("buffer view " + std::to_string(view_index) + " runs past the end of buffer " +
             std::to_string(view.buffer));
    const uint64_t stride = view.byteStride != 0 ? view.byteStride : element;
    if (stride < element) fail(what + ": the buffer view's stride is shorter than an element");
    if (count > 0) {
        if (offset > view.byteLength || count > view.byteLength ||
            (count - 1) * stride + element > view.byteLength - offset)
            fail(what + ": " + std::to_string(count) + " elements run past the end of buffer view " +
                 std::to_string(view_index));
    }
    *stride_out = stride;
    return buffer.data() + view.byteOffset + offset;
}

namespace {

int accessor_type(int components) {
    switch (components) {
        case 1: return TINYGLTF_TYPE_SCALAR;
        case 2: return TINYGLTF_TYPE_VEC2;
        case 3: return TINYGLTF_TYPE_VEC3;
        default: return TINYGLTF_TYPE_VEC4;
    }
}

}  // namespace

int append_accessor(tinygltf::Model &model, uint64_t &binary_size, int components, uint64_t count, int target,
                    int component_type) {
    tinygltf::BufferView view;
    view.buffer = 0;
    view.byteOffset = binary_size;
    view.byteLength = count * static_cast<uint64_t>(components) * 4;
    if (target != 0) view.target = target;
    binary_size += view.byteLength;
    model.bufferViews.push_back(view);
    tinygltf::Accessor accessor;
    accessor.bufferView = static_cast<int>(model.bufferViews.size() - 1);
    accessor.componentType = component_type;
    accessor.count = count;
    accessor.type = accessor_type(components);
    model.accessors.push_back(std::move(accessor));
    return static_cast<int>(model.accessors.size() - 1);
}

}  // namespace sowfield::io::detail
