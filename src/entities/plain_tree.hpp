// The detached tree: plain data that can be built, walked and destroyed without the
// interpreter lock. Nodes live in one vector in document (pre-)order and refer to each other by
// index, so no operation on the tree needs recursion and dropping it frees one vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "entities/attr_map.hpp"

namespace brindle {

struct PlainNode {
    static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

    std::string name;
    AttrMap attrs;
    std::optional<std::string> text;
    std::size_t first_child = kNone;
    std::size_t last_child = kNone;
    std::size_t next_sibling = kNone;
};

class PlainTree {
public:
    static constexpr std::size_t kNone = PlainNode::kNone;

    // The first node added is the root; every later node is added as the last child of an
    // existing node, which keeps the vector in pre-order as long as a parent's subtree is
    // completed before its next sibling starts (as both the reader and the copy do).
    std::size_t add_root(PlainNode node);
    std::size_t add_child(std::size_t parent, PlainNode node);

    void reserve(std::size_t count) { nodes_.reserve(count); }
    std::size_t size() const noexcept { return nodes_.size(); }
    bool empty() const noexcept { return nodes_.empty(); }
    PlainNode& operator[](std::size_t i) noexcept { return nodes_[i]; }
    const PlainNode& operator[](std::size_t i) const noexcept { return nodes_[i]; }
    PlainNode& root() noexcept { return nodes_.front(); }
    const PlainNode& root() const noexcept { return nodes_.front(); }

private:
    std::vector<PlainNode> nodes_;
};

}  // namespace brindle
