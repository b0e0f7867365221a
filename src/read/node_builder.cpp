#include "read/node_builder.hpp"

#include <utility>

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

NodeBuilder::~NodeBuilder() { settle(); }

void NodeBuilder::settle() noexcept
{
    pay_type_references(owed_);
    owed_ = 0;
}

void NodeBuilder::build(ReadTree& tree, std::string_view document)
{
    // Walking the elements backwards, every element's children have just been made and lie on
    // top of the stack, the first child topmost.
    made_.reserve(tree.size());  // only the part a wide element needs is ever touched
    for (std::size_t i = tree.size(); i-- > 0;) {
        const ReadElement& element = tree[i];
        if (made_.size() < element.child_count) throw_internal("detached tree lost a child");
        NodeString name(document.substr(element.name_start, element.name_length));
        NodeText text = element_text(tree, element, document);
        AttrMap attrs;
        if (element.attributes != ReadElement::kNoAttributes) attrs = std::move(tree.attributes(element.attributes));
        // The children are the topmost entries, the first child on top.
        const std::span<PyRef> children(made_.data() + made_.size() - element.child_count, element.child_count);
        PyRef node = make_node(std::move(name), std::move(attrs), children, std::move(text), ChildOrder::Reversed,
                               TypeReference::Owed);
        ++owed_;
        made_.resize(made_.size() - element.child_count);  // now empty references
        made_.push_back(std::move(node));  // has room: the stack never outgrows the tree
    }
    if (made_.size() != 1) throw_internal("detached tree has no single root");
}

PyRef NodeBuilder::take_root()
{
    settle();
    return std::move(made_.back());
}

}  // namespace brindle::read
