// Node(name, attrs=None, children=None, text=None): type checks only, no rules on content.
#include <string_view>

#include "ffi/bind.hpp"
#include "ffi/convert.hpp"
#include "ffi/frame.hpp"
#include "node/node.hpp"
#include "node/node_methods.hpp"
#include "node/sequence_items.hpp"

namespace brindle::node {

using namespace ffi;

namespace {

constexpr std::string_view kParams[] = {"name", "attrs", "children", "text"};
constexpr Signature kSignature{"__new__", "Node", kParams, 4, 1};

AttrMap convert_attrs(PyObject* value)
{
    AttrMap attrs;
    if (is_absent(value)) return attrs;
    if (!PyDict_Check(value)) throw_type_mismatch(value, "dict");
    attrs = attrs_from_dict(value);
    return attrs;
}

std::vector<PyRef> convert_children(PyObject* value)
{
    std::vector<PyRef> children;
    if (is_absent(value)) return children;
    check_sequence(value);
    children.reserve(sequence_reservation(value));  // items beyond it grow the list as read
    for_each_sequence_item(value, [&](PyObject* item) { children.push_back(PyRef::borrow(to_node(item))); });
    return children;
}

NodeText convert_text(PyObject* value)
{
    if (is_absent(value)) return NodeText();
    return NodeText(to_text(value));
}

}  // namespace

// Node allows no subclasses, so the type is always Node.
PyObject* node_new(PyTypeObject* /*type*/, PyObject* args, PyObject* kwargs)
{
    return call_frame([&] {
        PyObject* bound[4] = {nullptr, nullptr, nullptr, nullptr};
        bind_tuple_and_dict(kSignature, args, kwargs, bound);
        NodeParts parts;
        parts.name = convert_arg("name", [&] { return NodeString(to_text(bound[0])); });
        parts.attrs = convert_arg("attrs", [&] { return convert_attrs(bound[1]); });
        parts.children = convert_arg("children", [&] { return convert_children(bound[2]); });
        parts.text = convert_arg("text", [&] { return convert_text(bound[3]); });
        return make_node(std::move(parts)).release();
    });
}

}  // namespace brindle::node
