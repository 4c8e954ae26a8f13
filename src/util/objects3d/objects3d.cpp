// Objects3D: loading, editing and the queries over the node tree. Animation and skinning live
// in animation.cpp, the COLLADA reader in dae_loader.cpp.
#include "util/objects3d/objects3d.h"

#include <vector>

#include "platform/fatal.h"

// ---- queries --------------------------------------------------------------------------------

void Objects3D::node_world_matrix(int32_t index, Mat4& m) const {
    ZV_ASSERT(nodes.size() > 0);
    // The chain from the node up to the root, then multiplied from the root down.
    std::vector<const Node*> chain;
    for (int32_t i = index; i >= 0 && static_cast<size_t>(i) < nodes.size(); i = nodes[static_cast<size_t>(i)]->parent_index) {
        chain.push_back(nodes[static_cast<size_t>(i)].get());
        // A parent link that points back down the chain would never end; the loaders build
        // trees, so only damaged data could do this.
        if (chain.size() > nodes.size()) break;
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) m *= (*it)->local_matrix;
}
