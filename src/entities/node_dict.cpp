// Placeholder until to_dict lands.
#include "entities/node_methods.hpp"
#include "module/frame.hpp"

namespace brindle {

PyObject* node_to_dict(PyObject*, PyObject*)
{
    return call_frame([]() -> PyObject* { throw_error(PyExc_NotImplementedError, "to_dict is not available yet"); });
}

}  // namespace brindle
