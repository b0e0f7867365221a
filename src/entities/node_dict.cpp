// Node.to_dict(): a tree as nested dicts, lists, strings and None.
//
// Two phases. The first walks the tree in pre-order and records each node's dictionary form as
// plain data borrowing from the nodes (which the call holds alive and which cannot change).
// The second builds the Python objects from the last form to the first, so every child's dict
// exists before its parent's list is made: each list is created at its final length and filled
// at once, and no half-built container is ever reachable. Neither phase recurses on depth.
// Shared children can make the first phase endless in practice (until memory runs out), so
// both phases let Ctrl-C stop them; what was recorded or built so far is released.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entities/dict_form.hpp"
#include "entities/gc_pause.hpp"
#include "entities/node.hpp"
#include "entities/node_methods.hpp"
#include "entities/str_cache.hpp"
#include "module/frame.hpp"
#include "module/interrupt_poll.hpp"
#include "module/py_values.hpp"

namespace brindle {

namespace {

// The dictionary form of one node: a String, a Map, a Vec (the next `child_count` subtrees in
// pre-order) and a NullableString.
struct NodeForm {
    std::string_view name;
    const AttrMap* attrs;
    std::size_t child_count;
    const NodeText* text;
};

std::vector<NodeForm> forms_in_preorder(PyObject* root)
{
    std::vector<NodeForm> forms;
    std::vector<PyObject*> pending{root};
    InterruptPoll poll(kNodesBetweenPolls);
    while (!pending.empty()) {
        poll.progress(forms.size());
        const NodeObject& node = node_data(pending.back());
        pending.pop_back();
        const auto children = node.children();
        forms.push_back({node.name, &node.attrs, children.size(), &node.text});
        for (auto child = children.rbegin(); child != children.rend(); ++child) {
            pending.push_back(child->get());
        }
    }
    return forms;
}

// The four key strings, made once per call and shared by every node dict of the result.
using NodeKeys = std::array<PyRef, kNodeKeyCount>;

NodeKeys make_node_keys()
{
    NodeKeys keys;
    for (std::size_t i = 0; i < kNodeKeyCount; ++i) keys[i] = make_str(kNodeKeyNames[i]);
    return keys;
}

void set_item(PyObject* dict, const PyRef& key, PyRef value)
{
    if (PyDict_SetItem(dict, key.get(), value.get()) < 0) throw_python_error();
}

// A list of the `count` dicts on top of `built`, the topmost first.
PyRef take_children(std::vector<PyRef>& built, std::size_t count)
{
    if (built.size() < count) throw_internal("invariant: every child's dict is built before its parent's");
    PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(count)));
    for (std::size_t i = 0; i < count; ++i) {
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), built.back().release());
        built.pop_back();
    }
    return list;
}

// Python objects of one call: the key strings and the cache of repeated names.
struct Builder {
    NodeKeys keys = make_node_keys();
    StrCache names;
    std::vector<PyRef> built;  // dicts of subtrees whose parent is not built yet, first child on top
};

PyRef attrs_dict(const AttrMap& attrs, StrCache& names)
{
    PyRef dict = checked(PyDict_New());
    for (const auto& [key, value] : attrs) {
        PyRef py_key = names.get(key);
        PyRef py_value = make_str(value);
        if (PyDict_SetItem(dict.get(), py_key.get(), py_value.get()) < 0) throw_python_error();
    }
    return dict;
}

PyRef node_dict(const NodeForm& form, Builder& builder)
{
    PyRef dict = checked(PyDict_New());
    set_item(dict.get(), builder.keys[0], builder.names.get(form.name));
    set_item(dict.get(), builder.keys[1], attrs_dict(*form.attrs, builder.names));
    set_item(dict.get(), builder.keys[2], take_children(builder.built, form.child_count));
    set_item(dict.get(), builder.keys[3], *form.text ? make_str(**form.text) : PyRef::borrow(Py_None));
    return dict;
}

PyRef forms_to_dicts(const std::vector<NodeForm>& forms)
{
    const GcPause no_collections_while_building;
    Builder builder;
    std::vector<PyRef>& built = builder.built;
    InterruptPoll poll(kNodesBetweenPolls);
    for (auto form = forms.rbegin(); form != forms.rend(); ++form) {
        poll.progress(static_cast<std::uint64_t>(form - forms.rbegin()));
        PyRef dict = node_dict(*form, builder);
        built.push_back(std::move(dict));
    }
    if (built.size() != 1) throw_internal("invariant: the forms describe exactly one tree");
    return std::move(built.back());
}

}  // namespace

PyObject* node_to_dict(PyObject* self, PyObject*)
{
    return call_frame([&] { return forms_to_dicts(forms_in_preorder(self)).release(); });
}

}  // namespace brindle
