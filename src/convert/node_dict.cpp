// Node.to_dict(): a tree as nested dicts, lists, strings and None.
//
// One walk in post-order with a stack of its own (no recursion on depth): a node's dict is made
// once its children's are, so each list is created at its final length and filled at once, and
// no half-built container is ever reachable. The walk reads the nodes in place (the call holds
// the root alive and nodes cannot change). Shared children can make the walk endless in
// practice (until memory runs out), so Ctrl-C stops it; what was built so far is released.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/dict_form.hpp"
#include "convert/gc_pause.hpp"
#include "convert/str_cache.hpp"
#include "ffi/frame.hpp"
#include "ffi/interrupt_poll.hpp"
#include "ffi/py_values.hpp"
#include "node/node.hpp"
#include "node/node_methods.hpp"

namespace brindle::convert {

using namespace ffi;

namespace {

// The four key strings, made once per call and shared by every node dict of the result.
using NodeKeys = std::array<PyRef, kNodeKeyCount>;

NodeKeys make_node_keys()
{
    NodeKeys keys;
    for (std::size_t i = 0; i < kNodeKeyCount; ++i) keys[i] = make_str(kNodeKeyNames[i]);
    return keys;
}

void set_item(PyObject* dict, const NodeKeys& keys, NodeKey key, PyRef value)
{
    if (PyDict_SetItem(dict, keys[index_of(key)].get(), value.get()) < 0) throw_python_error();
}

// A list of the `count` dicts on top of `built`, the topmost last.
PyRef pop_child_dicts(std::vector<PyRef>& built, std::size_t count)
{
    if (built.size() < count) throw_internal("invariant: every child's dict is built before its parent's");
    PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(count)));
    for (std::size_t i = count; i-- > 0;) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), built.back().release());
        built.pop_back();
    }
    return list;
}

// Python objects of one call: the key strings and the cache of repeated names.
struct Builder {
    NodeKeys keys = make_node_keys();
    StrCache names;
    std::vector<PyRef> built;  // dicts of subtrees whose parent is not built yet, last child on top
};

PyRef node_dict(const node::NodeObject& node, Builder& builder)
{
    PyRef dict = checked(PyDict_New());
    const auto cached_str = [&](std::string_view text) { return builder.names.get(text); };
    set_item(dict.get(), builder.keys, NodeKey::Name, cached_str(node.name));
    set_item(dict.get(), builder.keys, NodeKey::Attrs, node::attrs_to_dict(node.attrs, cached_str));
    set_item(dict.get(), builder.keys, NodeKey::Children, pop_child_dicts(builder.built, node.children().size()));
    set_item(dict.get(), builder.keys, NodeKey::Text, optional_str(node.text.view()));
    return dict;
}

// A node being visited and the next of its children to visit.
struct Visit {
    const node::NodeObject* node;
    std::size_t next_child;
};

PyRef tree_to_dicts(PyObject* root)
{
    const GcPause no_collections_while_building;
    Builder builder;
    std::vector<Visit> path{{&node::node_object(root), 0}};
    InterruptPoll poll(kNodesBetweenPolls);
    std::uint64_t visited = 0;
    while (!path.empty()) {
        Visit& visit = path.back();
        const auto children = visit.node->children();
        if (visit.next_child < children.size()) {
            poll.progress(++visited);
            path.push_back({&node::node_object(children[visit.next_child++].get()), 0});
            continue;
        }
        builder.built.push_back(node_dict(*visit.node, builder));
        path.pop_back();
    }
    if (builder.built.size() != 1) throw_internal("invariant: the walk builds exactly one tree");
    return std::move(builder.built.back());
}

}  // namespace

PyObject* node_to_dict(PyObject* self, PyObject*)
{
    return call_frame([&] { return tree_to_dicts(self).release(); });
}

}  // namespace brindle::convert
