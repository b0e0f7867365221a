// The Node object: one XML element with native fields. Nodes never change after they are
// made; children are shared references to other nodes, one per occurrence.
//
// A node is one block: the fixed fields, then its children's references inline (the object's
// variable part). A leaf with a short name and text is 72 bytes and owns no other memory,
// which decides how much memory a large document's tree touches. A read's nodes are carved
// from the read's arena (node_arena.hpp), with their attribute tables and longer strings
// beside them; other nodes are blocks of the raw allocator.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "ffi/errors.hpp"
#include "ffi/py_ref.hpp"
#include "ffi/py_values.hpp"
#include "node/node_string.hpp"
#include "reader/tree/attr_map.hpp"

namespace brindle::node {

// Attribute maps come from the reader core, which fills them as it reads.
using reader::AttrMap;

class NodeArena;

struct NodeObject {
    PyObject_VAR_HEAD  // ob_size: the number of children
    NodeString name;
    NodeText text;
    AttrMap attrs;
    NodeArena* arena;  // where the node's memory comes from, or null for the raw allocator

    // Each a live Node, in order; the references follow the fixed fields in the same allocation.
    std::span<const ffi::PyRef> children() const noexcept
    {
        return {child_refs(), static_cast<std::size_t>(Py_SIZE(this))};
    }
    ffi::PyRef* child_refs() const noexcept
    {
        return reinterpret_cast<ffi::PyRef*>(const_cast<char*>(reinterpret_cast<const char*>(this)) +
                                             sizeof(NodeObject));
    }
};

static_assert(sizeof(ffi::PyRef) == sizeof(PyObject*));
static_assert(sizeof(NodeObject) % alignof(ffi::PyRef) == 0);

// The fields of a node to be made, in the form the constructor and from_dict collect them.
struct NodeParts {
    NodeString name;
    AttrMap attrs;
    std::vector<ffi::PyRef> children;  // each a live Node
    NodeText text;
};

// The Node class, created on first use and shared by every module object of the process.
inline PyTypeObject* g_node_type = nullptr;
PyTypeObject* create_node_type();
inline PyTypeObject* node_type()
{
    return g_node_type != nullptr ? g_node_type : create_node_type();  // asked for once per node made
}

inline bool is_node(PyObject* object) noexcept
{
    return Py_IS_TYPE(object, node_type());  // the class cannot be subclassed
}

// The native fields of a Node object (`node` must be one).
inline const NodeObject& node_object(PyObject* node) noexcept { return *reinterpret_cast<const NodeObject*>(node); }

// Makes a new node in a block of the raw allocator. The children's references are moved into
// it (the PyRefs are left empty) only on success; on failure everything stays with the caller
// and the error is thrown.
ffi::PyRef make_node(NodeString&& name, AttrMap&& attrs, std::span<ffi::PyRef> children, NodeText&& text);
ffi::PyRef make_node(NodeParts&& parts);

// A read makes its whole tree without the interpreter lock, so that threads reading at once
// run side by side. A node made unlocked does not yet hold the reference to its class that
// every instance holds: whoever made it pays those debts in one step with
// `pay_type_references` once it holds the lock again, before any such node is released or
// shown to Python code.
//
// Making an object unlocked writes its header fields directly, so it depends on the object
// layout and reference counting of the interpreters it was checked against: CPython 3.10 to
// 3.15, release builds with the lock. (From 3.14 the count is the low half of a 64-bit word
// whose high half holds flags that must be clear, which the word's one store of 1 gives, as the
// interpreter's own _Py_NewReference does; a Node is not tracked by the cycle collector, so
// it has no header before the object.) Every other build (later versions until checked,
// free-threaded, debug builds that track references) takes the documented path instead:
// `kNodesWithoutLock` is false, reads keep the lock while they make nodes and each node is made
// with PyObject_InitVar, taking its class reference as it is made. Configuring with
// BRINDLE_NODES_UNDER_LOCK forces that path, so that it is built and tested here too.
//
// A read's node, in `arena`: its name and text longer than a NodeString holds inline are
// copied into the arena beside it. `attrs` is moved in as it is: placed in the arena already, or
// a map that keeps its own blocks. The node takes a reference to
// the arena. An empty `text` makes a node without text, as a read element without character
// data is. Throws std::bad_alloc.
ffi::PyRef make_arena_node(NodeArena& arena, std::string_view name, AttrMap&& attrs, std::span<ffi::PyRef> children,
                           std::string_view text);

// The bytes a read's collected element needs after its children (make_node_around_children):
// its attribute table, unless hashed, and its name and text longer than a NodeString holds
// inline.
std::size_t bytes_after_children(const AttrMap& attrs, std::string_view name, std::string_view text) noexcept;

// A read's collected element, made in `block`, which holds room for the fixed fields,
// `child_count` live children, then bytes_after_children(...) bytes: the children become the
// node's where they lie, and its table, name and text are copied after them, so that a stream's
// small record is one block. The block is of the raw allocator and the node's own from now on,
// or, with `arena`, one that the arena has adopted (the node then holds a reference to the
// arena, which the caller has added). A hashed table, which keeps blocks of its own, moves out
// of `attrs` instead. An empty `text` makes a node without text. Made unlocked, like the arena's
// nodes.
ffi::PyRef make_node_around_children(void* block, NodeArena* arena, std::size_t child_count, std::string_view name,
                                     AttrMap& attrs, std::string_view text) noexcept;

#if PY_VERSION_HEX >= 0x030A0000 && PY_VERSION_HEX < 0x03100000 && !defined(Py_DEBUG) && !defined(Py_REF_DEBUG) &&     \
    !defined(Py_TRACE_REFS) && !defined(Py_GIL_DISABLED) && !defined(BRINDLE_NODES_UNDER_LOCK)
#define BRINDLE_NODES_WITHOUT_LOCK 1
inline constexpr bool kNodesWithoutLock = true;
#else
inline constexpr bool kNodesWithoutLock = false;
#endif

// With the lock held: gives the Node class the references owed by `count` read nodes.
void pay_type_references(std::size_t count) noexcept;

// A new dict holding the map's pairs in its iteration order; `make_key` makes each key's str
// (to_dict shares repeated names through its cache).
template <class MakeKey>
ffi::PyRef attrs_to_dict(const AttrMap& attrs, MakeKey&& make_key)
{
    ffi::PyRef dict = ffi::checked(PyDict_New());
    for (const auto& [key, value] : attrs) {
        const ffi::PyRef py_key = make_key(key);
        const ffi::PyRef py_value = ffi::make_str(value);
        if (PyDict_SetItem(dict.get(), py_key.get(), py_value.get()) < 0) ffi::throw_python_error();
    }
    return dict;
}

// The `Node` conversion of arguments: a borrowed node, or the instance-check TypeError.
PyObject* to_node(PyObject* value);

}  // namespace brindle::node
