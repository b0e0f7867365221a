#include "entities/plain_convert.hpp"

#include <utility>
#include <vector>

#include "entities/node.hpp"

namespace brindle {

namespace {

PlainNode copy_fields(const NodeData& data)
{
    PlainNode plain;
    plain.name = data.name;
    plain.attrs = data.attrs;
    plain.text = data.text;
    return plain;
}

}  // namespace

PlainTree to_plain(PyObject* node)
{
    struct Pending {
        PyObject* node;
        std::size_t parent;
    };
    PlainTree tree;
    std::vector<Pending> stack{{node, PlainTree::kNone}};
    while (!stack.empty()) {
        const Pending next = stack.back();
        stack.pop_back();
        const NodeData& data = node_data(next.node);
        const std::size_t index = next.parent == PlainTree::kNone
                                      ? tree.add_root(copy_fields(data))
                                      : tree.add_child(next.parent, copy_fields(data));
        // Reversed, so the first child is taken next: its whole subtree is copied before its
        // next sibling, which keeps the copy in document order.
        for (auto child = data.children.rbegin(); child != data.children.rend(); ++child) {
            stack.push_back({child->get(), index});
        }
    }
    return tree;
}

PyRef from_plain(PlainTree&& tree)
{
    std::vector<PyRef> made(tree.size());
    for (std::size_t i = tree.size(); i-- > 0;) {
        PlainNode& plain = tree[i];
        NodeData data;
        std::size_t count = 0;
        for (std::size_t c = plain.first_child; c != PlainTree::kNone; c = tree[c].next_sibling) ++count;
        data.children.reserve(count);
        for (std::size_t c = plain.first_child; c != PlainTree::kNone; c = tree[c].next_sibling) {
            data.children.push_back(std::move(made[c]));
        }
        data.name = std::move(plain.name);
        data.attrs = std::move(plain.attrs);
        data.text = std::move(plain.text);
        made[i] = make_node(std::move(data));
    }
    return made.empty() ? PyRef() : std::move(made.front());
}

}  // namespace brindle
