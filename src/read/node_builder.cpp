#include "read/node_builder.hpp"

#include <span>
#include <utility>

#include "entities/node.hpp"
#include "module/errors.hpp"

namespace brindle::read {

NodeBuilder::~NodeBuilder() { settle(); }

void NodeBuilder::settle() noexcept
{
    pay_type_references(owed_);
    owed_ = 0;
}

void NodeBuilder::open_element(std::string_view name, reader::AttrMap&& attributes)
{
    open_.push_back({name, std::move(attributes), made_.size()});
}

void NodeBuilder::close_element(std::string_view text, bool)
{
    // Its children are the nodes made since it opened; they move into it only on success.
    OpenElement& element = open_.back();
    NodeString name(element.name);
    NodeText node_text = text.empty() ? NodeText() : NodeText(text);
    const std::span<PyRef> children(made_.data() + element.first_child, made_.size() - element.first_child);
    PyRef node = make_node(std::move(name), std::move(element.attributes), children, std::move(node_text),
                           ChildOrder::AsGiven, TypeReference::Owed);
    ++owed_;
    made_.resize(element.first_child);  // now empty references
    open_.pop_back();
    made_.push_back(std::move(node));
}

PyRef NodeBuilder::take_root()
{
    settle();
    if (made_.size() != 1 || !open_.empty()) throw_internal("the reader did not hand over exactly one element");
    return std::move(made_.back());
}

}  // namespace brindle::read
