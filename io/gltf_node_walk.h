// The walk over a glTF scene's nodes: each node once per path to it, with its
// world transform, every link and transform checked on the way.
#pragma once

#include <tiny_gltf.h>

#include <functional>

#include "io/gltf_accessor.h"
#include "io/gltf_matrix.h"

namespace sowfield::io::detail {

// Calls `visit` for every node of the default scene (or, without scenes, of
// every root node), depth first, parents before their children. Fails on a
// missing default scene, a link to a missing node, a node that is its own
// ancestor and a malformed or non-finite transform.
void walk_nodes(const tinygltf::Model &model, const LoadFailure &fail,
                const std::function<void(int node, const Matrix &world)> &visit);

}  // namespace sowfield::io::detail
