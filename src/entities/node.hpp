// The Node object: one XML element with native fields. Nodes never change after they are
// made; children are shared references to other nodes, one per occurrence.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <optional>
#include <string>
#include <vector>

#include "entities/attr_map.hpp"
#include "module/py_ref.hpp"

namespace brindle {

struct NodeData {
    std::string name;
    AttrMap attrs;
    std::vector<PyRef> children;  // each a live Node
    std::optional<std::string> text;
};

struct NodeObject {
    PyObject_HEAD
    NodeData data;
};

// The Node class, created on first use and shared by every module object of the process.
PyTypeObject* node_type();

inline bool is_node(PyObject* object) noexcept
{
    return Py_IS_TYPE(object, node_type());  // the class cannot be subclassed
}

inline const NodeData& node_data(PyObject* node) noexcept
{
    return reinterpret_cast<NodeObject*>(node)->data;
}

// Makes a new node of `type` from the four fields. On failure `data` is left to the caller,
// who releases it, and the interpreter's exception is thrown.
PyRef make_node(PyTypeObject* type, NodeData&& data);
inline PyRef make_node(NodeData&& data) { return make_node(node_type(), std::move(data)); }

// A new dict holding the map's pairs in its iteration order.
PyRef attrs_to_dict(const AttrMap& attrs);

// The `Node` conversion of arguments: a borrowed node, or the instance-check TypeError.
PyObject* to_node(PyObject* value);

}  // namespace brindle
