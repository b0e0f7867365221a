#include "entities/plain_tree.hpp"

namespace brindle {

std::size_t PlainTree::add_root(PlainNode node)
{
    nodes_.clear();
    nodes_.push_back(std::move(node));
    return 0;
}

std::size_t PlainTree::add_child(std::size_t parent, PlainNode node)
{
    const std::size_t index = nodes_.size();
    nodes_.push_back(std::move(node));
    PlainNode& owner = nodes_[parent];
    if (owner.last_child == kNone) {
        owner.first_child = index;
    } else {
        nodes_[owner.last_child].next_sibling = index;
    }
    owner.last_child = index;
    return index;
}

}  // namespace brindle
