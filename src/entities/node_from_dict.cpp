// Placeholder until from_dict lands.
#include "entities/node_methods.hpp"
#include "module/frame.hpp"

namespace brindle {

PyObject* node_from_dict(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)
{
    return call_frame([]() -> PyObject* { throw_error(PyExc_NotImplementedError, "from_dict is not available yet"); });
}

}  // namespace brindle
