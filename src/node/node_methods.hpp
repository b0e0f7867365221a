// Entry points of the Node class, each defined in the file that holds its behaviour.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace brindle::node {

// node_properties.cpp
PyObject* node_get_name(PyObject* self, void*);
PyObject* node_get_attrs(PyObject* self, void*);
PyObject* node_get_text(PyObject* self, void*);
PyObject* node_get_children(PyObject* self, void*);

// node_constructor.cpp
PyObject* node_new(PyTypeObject* type, PyObject* args, PyObject* kwargs);

// node_dealloc.cpp
void node_dealloc(PyObject* self);

// node_search.cpp
PyObject* node_search_by_name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* node_search_by_attr(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* node_search_by_text(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* node_search(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// node_render.cpp
PyObject* node_to_string(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* node_str(PyObject* self);
PyObject* node_repr(PyObject* self);

}  // namespace brindle::node

// The methods that turn a node into other forms and back, in src/convert/.
namespace brindle::convert {

// node_dict.cpp (to_dict) and node_from_dict.cpp (from_dict, a class method)
PyObject* node_to_dict(PyObject* self, PyObject* unused);
PyObject* node_from_dict(PyObject* cls, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// node_pickle.cpp
PyObject* node_reduce(PyObject* self, PyObject* unused);
PyObject* node_copy(PyObject* self, PyObject* unused);
PyObject* node_deepcopy(PyObject* self, PyObject* memo);

}  // namespace brindle::convert
