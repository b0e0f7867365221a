#include "write/tree_check.hpp"

#include <vector>

#include "write/write_refusal.hpp"

namespace brindle {

namespace {

void check_element(const NodeObject& node)
{
    check_name_in(node.name, StringPlace::ElementName);
    for (const auto& [key, value] : node.attrs) {
        check_name_in(key, StringPlace::AttributeName);
        check_text_in(value, StringPlace::AttributeValue);
    }
    if (node.text) check_text_in(*node.text, StringPlace::Text);
}

struct OpenElement {
    const NodeObject* node;
    std::size_t next_child;  // index of the child to check next
};

}  // namespace

void check_tree(const NodeObject& root)
{
    check_element(root);
    if (root.children().empty()) return;
    std::vector<OpenElement> open{{&root, 0}};
    while (!open.empty()) {
        OpenElement& parent = open.back();
        const auto children = parent.node->children();
        if (parent.next_child == children.size()) {
            open.pop_back();
            continue;
        }
        const NodeObject& child = node_data(children[parent.next_child++].get());
        check_element(child);
        if (!child.children().empty()) open.push_back({&child, 0});
    }
}

}  // namespace brindle
