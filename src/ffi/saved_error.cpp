#include "ffi/saved_error.hpp"

namespace brindle::ffi {

#if PY_VERSION_HEX >= 0x030C0000

SavedError SavedError::fetch() noexcept
{
    SavedError saved;
    saved.exception_ = PyRef::steal(PyErr_GetRaisedException());
    return saved;
}

void SavedError::restore() noexcept
{
    if (exception_) PyErr_SetRaisedException(exception_.release());
}

#else

SavedError SavedError::fetch() noexcept
{
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    const PyRef owned_type = PyRef::steal(type);
    const PyRef owned_traceback = PyRef::steal(traceback);
    // The instance carries its traceback, as one raised on 3.12 does, so that restoring it
    // needs nothing else.
    if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
    SavedError saved;
    saved.exception_ = PyRef::steal(value);
    return saved;
}

void SavedError::restore() noexcept
{
    if (!exception_) return;
    PyObject* value = exception_.release();
    PyRef type = PyRef::borrow(reinterpret_cast<PyObject*>(Py_TYPE(value)));
    PyErr_Restore(type.release(), value, PyException_GetTraceback(value));
}

#endif

}  // namespace brindle::ffi
