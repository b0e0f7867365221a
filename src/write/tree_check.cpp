#include "write/tree_check.hpp"

#include <cstdint>
#include <string_view>
#include <vector>

#include "write/write_refusal.hpp"

namespace brindle::write {

using namespace ffi;

namespace {

// Returns the work done: the bytes checked, plus one so that every element counts. Inlined
// into the walk, which is then faster than with the call even though it counts the work.
[[gnu::always_inline]] inline std::uint64_t check_element(const node::NodeObject& node)
{
    const std::string_view name = node.name;
    check_name_in(name, StringPlace::ElementName);
    std::uint64_t checked = 1 + name.size();
    for (const auto& [key, value] : node.attrs) {
        check_name_in(key, StringPlace::AttributeName);
        check_text_in(value, StringPlace::AttributeValue);
        checked += key.size() + value.size();
    }
    if (const std::optional<std::string_view> text = node.text.view()) {
        check_text_in(*text, StringPlace::Text);
        checked += text->size();
    }
    return checked;
}

struct OpenElement {
    const node::NodeObject* node;
    std::size_t next_child;  // index of the child to check next
};

}  // namespace

void check_tree(const node::NodeObject& root, UnlockedInterruptPoll& poll)
{
    std::uint64_t checked = check_element(root);
    if (root.children().empty()) return;
    std::vector<OpenElement> open{{&root, 0}};
    while (!open.empty()) {
        poll.progress(checked);
        OpenElement& parent = open.back();
        const auto children = parent.node->children();
        if (parent.next_child == children.size()) {
            open.pop_back();
            continue;
        }
        const node::NodeObject& child = node::node_object(children[parent.next_child++].get());
        checked += check_element(child);
        if (!child.children().empty()) open.push_back({&child, 0});
    }
}

}  // namespace brindle::write
