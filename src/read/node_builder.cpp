#include "read/node_builder.hpp"

#include <utility>
#include <vector>

#include "entities/node.hpp"
#include "module/errors.hpp"

namespace brindle::read {

using reader::ReadElement;
using reader::ReadTree;

namespace {

NodeText element_text(const ReadTree& tree, const ReadElement& element, std::string_view document)
{
    if (element.text.absent()) return NodeText();
    return NodeText(tree.text_of(element.text, document));
}

}  // namespace

PyRef build_nodes(ReadTree& tree, std::string_view document)
{
    // Walking the elements backwards, every element's children have just been made and lie on
    // top of the stack, the first child topmost.
    std::vector<PyRef> made;
    made.reserve(tree.size());  // only the part a wide element needs is ever touched
    for (std::size_t i = tree.size(); i-- > 0;) {
        const ReadElement& element = tree[i];
        if (made.size() < element.child_count) throw_internal("detached tree lost a child");
        NodeString name(document.substr(element.name_start, element.name_length));
        NodeText text = element_text(tree, element, document);
        AttrMap attrs;
        if (element.attributes != ReadElement::kNoAttributes) attrs = std::move(tree.attributes(element.attributes));
        // The children are the topmost entries, the first child on top.
        const std::span<PyRef> children(made.data() + made.size() - element.child_count, element.child_count);
        PyRef node = make_node(std::move(name), std::move(attrs), children, std::move(text), ChildOrder::Reversed);
        made.resize(made.size() - element.child_count);  // now empty references
        made.push_back(std::move(node));
    }
    if (made.size() != 1) throw_internal("detached tree has no single root");
    return std::move(made.back());
}

}  // namespace brindle::read
