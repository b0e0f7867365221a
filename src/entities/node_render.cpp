// Placeholder until rendering lands.
#include "entities/node.hpp"
#include "entities/node_methods.hpp"
#include "module/frame.hpp"
#include "module/py_values.hpp"

namespace brindle {

PyObject* node_to_string(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)
{
    return call_frame([]() -> PyObject* { throw_error(PyExc_NotImplementedError, "rendering is not available yet"); });
}

PyObject* node_str(PyObject* self) { return node_to_string(self, nullptr, 0, nullptr); }

PyObject* node_repr(PyObject* self)
{
    return call_frame([&] { return make_str("Node(" + node_data(self).name + ")").release(); });
}

}  // namespace brindle
