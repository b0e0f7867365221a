#include "ffi/frame.hpp"

namespace brindle {

void report_unraisable_current(PyObject* context) noexcept
{
    raise_current_exception();
    PyErr_WriteUnraisable(context);
}

}  // namespace brindle
