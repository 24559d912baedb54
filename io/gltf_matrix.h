// The 4x4 transforms of glTF nodes, column-major as the format stores them.
#pragma once

#include <array>
#include <cstddef>

#include "host/scene/scene.h"

namespace sowfield::io::detail {

using Matrix = std::array<double, 16>;

inline constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

inline Matrix multiply(const Matrix &a, const Matrix &b) {
    Matrix m{};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += a[static_cast<size_t>(k * 4 + row)] * b[static_cast<size_t>(col * 4 + k)];
            m[static_cast<size_t>(col * 4 + row)] = sum;
        }
    return m;
}

inline host::Vec3 transform_point(const Matrix &m, const host::Vec3 &p) {
    return {m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12], m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13],
            m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14]};
}

inline host::Vec3 transform_vector(const Matrix &m, const host::Vec3 &d) {
    return {m[0] * d[0] + m[4] * d[1] + m[8] * d[2], m[1] * d[0] + m[5] * d[1] + m[9] * d[2],
            m[2] * d[0] + m[6] * d[1] + m[10] * d[2]};
}

// True when the transform's linear part has a negative determinant.
inline bool mirrors(const Matrix &m) {
    const double det =
        m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) + m[8] * (m[1] * m[6] - m[5] * m[2]);
    return det < 0.0;
}

}  // namespace sowfield::io::detail
