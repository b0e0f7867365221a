#include "ffi/errors.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "ffi/convert.hpp"
#include "ffi/saved_error.hpp"

namespace brindle::ffi {

namespace {

PyObject* g_panic_type = nullptr;

constexpr const char kPanicDoc[] =
    "Raised when native code called from Python fails internally.\n\n"
    "Like SystemExit, this exception is derived from BaseException so that it will typically\n"
    "propagate all the way through the stack and make the Python interpreter exit.";

constexpr const char kGenericPanic[] = "native code failed internally without a message";

void set_panic(const std::string& message) noexcept
{
    set_python_error(panic_exception_type(), message.empty() ? std::string_view(kGenericPanic) : message);
}

constexpr const char kUnwrappedPanic[] = "Unwrapped panic from Python code";

// The text of a PanicException raised by Python code, for the internal failure it becomes.
std::string panic_text(PyObject* panic) noexcept
{
    try {
        if (std::optional<std::string> text = str_text(panic)) return *std::move(text);
    } catch (...) {
    }
    PyErr_Clear();
    return kUnwrappedPanic;
}

// Prints the exception and its traceback to stderr, as the interpreter would.
void display_exception(PyObject* exception) noexcept
{
    const PyRef traceback = PyRef::steal(PyException_GetTraceback(exception));
    PyErr_Display(reinterpret_cast<PyObject*>(Py_TYPE(exception)), exception, traceback.get());
}

PyObject* os_error_class(int errnum) noexcept
{
    switch (errnum) {
    case ENOENT: return PyExc_FileNotFoundError;
    case EACCES:
    case EPERM: return PyExc_PermissionError;
    case ECONNREFUSED: return PyExc_ConnectionRefusedError;
    case ECONNRESET: return PyExc_ConnectionResetError;
    case ECONNABORTED: return PyExc_ConnectionAbortedError;
    case EPIPE: return PyExc_BrokenPipeError;
    case EEXIST: return PyExc_FileExistsError;
    case EAGAIN: return PyExc_BlockingIOError;
    case ENOTDIR: return PyExc_NotADirectoryError;
    case EISDIR: return PyExc_IsADirectoryError;
    case ETIMEDOUT: return PyExc_TimeoutError;
    case EINTR: return PyExc_InterruptedError;
    case ENOMEM: return PyExc_MemoryError;
    default: return PyExc_OSError;
    }
}

}  // namespace

PyObject* panic_exception_type()
{
    // Created under the interpreter lock; the creation runs no Python code that could let
    // another thread in between the check and the store.
    if (g_panic_type == nullptr) {
        // The class may be needed while another exception is pending (a failure being turned
        // into a panic): keep that exception aside so the creation itself can run.
        {
            SavedError pending = SavedError::fetch();
            g_panic_type = PyErr_NewExceptionWithDoc("brindle_runtime.PanicException", kPanicDoc, PyExc_BaseException,
                                                     nullptr);
        }
        if (g_panic_type == nullptr) {
            std::fputs("Failed to initialize new exception type.\n", stderr);
            std::abort();
        }
    }
    return g_panic_type;
}

void throw_error(PyObject* type, std::string message) { throw PendingError{type, std::move(message)}; }

void throw_internal(std::string message) { throw InternalFailure{std::move(message)}; }

void throw_python_error()
{
    if (g_panic_type == nullptr || !PyErr_Occurred() || !PyErr_ExceptionMatches(g_panic_type)) {
        throw PythonError{};
    }
    // Python code that we called raised our own PanicException: report it and carry on as an
    // internal failure of this call, so the frame raises a fresh PanicException.
    const PyRef panic = SavedError::fetch().release();
    std::fputs("--- PanicException from Python code ---\n", stderr);
    std::fflush(stderr);
    std::string text = panic ? panic_text(panic.get()) : kUnwrappedPanic;
    if (panic) display_exception(panic.get());
    throw InternalFailure{std::move(text)};
}

void throw_internal_from_python(std::string message)
{
    if (PyErr_Occurred()) PyErr_WriteUnraisable(nullptr);
    throw InternalFailure{std::move(message)};
}

bool pending_exception_must_propagate() noexcept
{
    return !PyErr_ExceptionMatches(PyExc_Exception) || PyErr_ExceptionMatches(PyExc_MemoryError);
}

std::string type_mismatch_message(PyObject* value, const char* expected)
{
    if (value == Py_None) return std::string("'None' is not an instance of '") + expected + "'";
    std::optional<std::string> type_name = qualname_text(reinterpret_cast<PyObject*>(Py_TYPE(value)));
    PyErr_Clear();
    std::string message = "'";
    message += type_name.value_or(kUnknownTypeName);
    message += "' object is not an instance of '";
    message += expected;
    message += '\'';
    return message;
}

void throw_type_mismatch(PyObject* value, const char* expected)
{
    throw PendingError{PyExc_TypeError, type_mismatch_message(value, expected)};
}

PendingError os_error(int errnum)
{
    char buffer[256];
    const char* description = strerror_r(errnum, buffer, sizeof buffer);
    return PendingError{os_error_class(errnum),
                        std::string(description) + " (os error " + std::to_string(errnum) + ")"};
}

void throw_os_error(int errnum) { throw os_error(errnum); }

void throw_io_error(std::string message) { throw PendingError{PyExc_OSError, std::move(message)}; }

void set_python_error(PyObject* type, std::string_view message) noexcept
{
    const PyRef text = PyRef::steal(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(type, text.get());  // else the decode left MemoryError set
}

void set_python_error_from_current() noexcept
{
    try {
        throw;
    } catch (const PythonError&) {
        if (!PyErr_Occurred()) {
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        }
    } catch (const PendingError& error) {
        set_python_error(error);
    } catch (const InternalFailure& failure) {
        set_panic(failure.message);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        set_panic(std::string());
    }
}

}  // namespace brindle::ffi
