// Placeholder until search lands.
#include "entities/node_methods.hpp"
#include "module/frame.hpp"

namespace brindle {

namespace {
PyObject* not_yet()
{
    return call_frame([]() -> PyObject* { throw_error(PyExc_NotImplementedError, "search is not available yet"); });
}
}  // namespace

PyObject* node_search_by_name(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) { return not_yet(); }
PyObject* node_search_by_attr(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) { return not_yet(); }
PyObject* node_search_by_text(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) { return not_yet(); }
PyObject* node_search(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) { return not_yet(); }

}  // namespace brindle
