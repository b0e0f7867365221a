#include "ffi/frame.hpp"

namespace brindle::ffi {

void report_unraisable_current(PyObject* context) noexcept
{
    set_python_error_from_current();
    PyErr_WriteUnraisable(context);
}

}  // namespace brindle::ffi
