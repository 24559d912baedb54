#include "io/gltf_node_walk.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace sowfield::io::detail {

namespace {

// The nodes the walk starts from.
std::vector<int> root_nodes(const tinygltf::Model &model, const LoadFailure &fail) {
    if (!model.scenes.empty()) {
        const int chosen = model.defaultScene >= 0 ? model.defaultScene : 0;
        if (static_cast<size_t>(chosen) >= model.scenes.size())
            fail("the default scene " + std::to_string(chosen) + " does not exist");
        return model.scenes[static_cast<size_t>(chosen)].nodes;
    }
    std::vector<char> is_child(model.nodes.size(), 0);
    for (const tinygltf::Node &node : model.nodes)
        for (int child : node.children)
            if (child >= 0 && static_cast<size_t>(child) < is_child.size()) is_child[static_cast<size_t>(child)] = 1;
    std::vector<int> roots;
    for (size_t i = 0; i < model.nodes.size(); ++i)
        if (!is_child[i]) roots.push_back(static_cast<int>(i));
    return roots;
}

// The node's transform relative to its parent: its matrix, or T * R * S.
Matrix local_matrix(const tinygltf::Node &node, int index, const LoadFailure &fail) {
    const std::string where = "node " + std::to_string(index);
    Matrix m = kIdentity;
    if (!node.matrix.empty()) {
        if (node.matrix.size() != 16) fail(where + ": a matrix needs 16 numbers");
        std::copy(node.matrix.begin(), node.matrix.end(), m.begin());
    } else {
        const auto &t = node.translation;
        const auto &r = node.rotation;
        const auto &s = node.scale;
        if ((!t.empty() && t.size() != 3) || (!r.empty() && r.size() != 4) || (!s.empty() && s.size() != 3))
            fail(where + ": malformed translation, rotation or scale");
        const double x = r.empty() ? 0 : r[0], y = r.empty() ? 0 : r[1], z = r.empty() ? 0 : r[2],
                     w = r.empty() ? 1 : r[3];
        const double sx = s.empty() ? 1 : s[0], sy = s.empty() ? 1 : s[1], sz = s.empty() ? 1 : s[2];
        // T * R * S, the rotation from its unit quaternion.
        m = {(1 - 2 * (y * y + z * z)) * sx, (2 * (x * y + z * w)) * sx,     (2 * (x * z - y * w)) * sx,     0,
             (2 * (x * y - z * w)) * sy,     (1 - 2 * (x * x + z * z)) * sy, (2 * (y * z + x * w)) * sy,     0,
             (2 * (x * z + y * w)) * sz,     (2 * (y * z - x * w)) * sz,     (1 - 2 * (x * x + y * y)) * sz, 0,
             t.empty() ? 0 : t[0],           t.empty() ? 0 : t[1],           t.empty() ? 0 : t[2],           1};
    }
    for (double v : m)
        if (!std::isfinite(v)) fail(where + ": the transform is not finite");
    return m;
}

// Depth first without recursion: a hostile file may nest deeply.
class NodeWalk {
public:
    NodeWalk(const tinygltf::Model &model, const LoadFailure &fail,
             const std::function<void(int, const Matrix &)> &visit)
        : model_(model), fail_(fail), visit_(visit), on_path_(model.nodes.size(), 0) {}

    void walk_from(int root) {
        stack_.clear();
        enter(root, kIdentity);
        while (!stack_.empty()) {
            Frame &top = stack_.back();
            const tinygltf::Node &node = model_.nodes[static_cast<size_t>(top.node)];
            if (top.next_child < node.children.size()) {
                const int child = node.children[top.next_child++];
                const Matrix world = top.world;  // enter() may reallocate the stack
                enter(child, world);
            } else {
                on_path_[static_cast<size_t>(top.node)] = 0;
                stack_.pop_back();
            }
        }
    }

private:
    struct Frame {
        int node;
        Matrix world;
        size_t next_child;
    };

    void enter(int index, const Matrix &parent) {
        if (index < 0 || static_cast<size_t>(index) >= model_.nodes.size())
            fail_("refers to node " + std::to_string(index) + ", but only " + std::to_string(model_.nodes.size()) +
                  " exist");
        if (on_path_[static_cast<size_t>(index)]) fail_("node " + std::to_string(index) + " is its own ancestor");
        const Matrix world = multiply(parent, local_matrix(model_.nodes[static_cast<size_t>(index)], index, fail_));
        visit_(index, world);
        on_path_[static_cast<size_t>(index)] = 1;
        stack_.push_back({index, world, 0});
    }

    const tinygltf::Model &model_;
    const LoadFailure &fail_;
    const std::function<void(int, const Matrix &)> &visit_;
    std::vector<char> on_path_;
    std::vector<Frame> stack_;
};

}  // namespace

void walk_nodes(const tinygltf::Model &model, const LoadFailure &fail,
                const std::function<void(int node, const Matrix &world)> &visit) {
    NodeWalk walk(model, fail, visit);
    for (int root : root_nodes(model, fail)) walk.walk_from(root);
}

}  // namespace sowfield::io::detail
