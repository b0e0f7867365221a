#include "read/node_builder.hpp"

#include <utility>
#include <vector>

#include "entities/node.hpp"
#include "module/errors.hpp"
#include "index/structural/page_advice.hpp"

namespace brindle::read {

namespace {

NodeData element_fields(ReadTree& tree, const ReadElement& element, std::string_view document)
{
    NodeData data;
    data.name.assign(document.substr(element.name_start, element.name_length));
    if (element.attributes != ReadElement::kNoAttributes) data.attrs = std::move(tree.attributes(element.attributes));
    if (!element.text.absent()) data.text.emplace(tree.text_of(element.text, document));
    return data;
}

}  // namespace

PyRef build_nodes(ReadTree& tree, std::string_view document)
{
    // Walking the elements backwards, every element's children have just been made and lie on
    // top of the stack, the first child topmost.
    std::vector<PyRef> made;
    index::detail::reserve_advised(made, tree.size());  // only the part a wide element needs is ever touched
    PyTypeObject* type = node_type();
    for (std::size_t i = tree.size(); i-- > 0;) {
        const ReadElement& element = tree[i];
        if (made.size() < element.child_count) throw_internal("detached tree lost a child");
        NodeData data = element_fields(tree, element, document);
        data.children.reserve(element.child_count);
        for (std::size_t c = 0; c < element.child_count; ++c) {
            data.children.push_back(std::move(made.back()));
            made.pop_back();
        }
        made.push_back(make_node(type, std::move(data)));
    }
    if (made.size() != 1) throw_internal("detached tree has no single root");
    return std::move(made.back());
}

}  // namespace brindle::read
