#include "ffi/convert.hpp"

#include <climits>

#include "ffi/saved_error.hpp"

namespace brindle::ffi {

namespace {

constexpr const char kOutOfRange[] = "out of range integral type conversion attempted";

long to_c_long(PyObject* value)
{
    const long result = PyLong_AsLong(value);
    if (result == -1 && PyErr_Occurred()) throw_python_error();
    return result;
}

bool is_numpy_bool_type(PyTypeObject* type)
{
    const char* full_name = type->tp_name;
    std::string_view name(full_name);
    const auto dot = name.rfind('.');
    const std::string_view bare = dot == std::string_view::npos ? name : name.substr(dot + 1);
    if (bare != "bool_" && bare != "bool") return false;
    const PyRef module = PyRef::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
    const bool from_numpy = module && PyUnicode_Check(module.get()) &&
                            PyUnicode_CompareWithASCIIString(module.get(), "numpy") == 0;
    PyErr_Clear();
    return from_numpy;
}

// A copy of a str's UTF-8, or nullopt when there is no str (a failed call) or no UTF-8 form.
std::optional<std::string> owned_utf8(PyRef str)
{
    if (!str) return std::nullopt;
    const std::optional<std::string_view> utf8 = utf8_view(str.get());
    if (!utf8) return std::nullopt;
    return std::string(*utf8);
}

}  // namespace

std::optional<std::string_view> utf8_view(PyObject* str) noexcept
{
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(str, &size);
    if (utf8 == nullptr) return std::nullopt;
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

std::string_view to_text(PyObject* value)
{
    if (!PyUnicode_Check(value)) throw_type_mismatch(value, "str");
    const std::optional<std::string_view> utf8 = utf8_view(value);
    if (!utf8) throw_python_error();
    return *utf8;
}

std::optional<std::string> str_text(PyObject* object) { return owned_utf8(PyRef::steal(PyObject_Str(object))); }

std::optional<std::string> qualname_text(PyObject* type)
{
    PyRef name = PyRef::steal(PyObject_GetAttrString(type, "__qualname__"));
    if (name && !PyUnicode_Check(name.get())) return std::nullopt;
    return owned_utf8(std::move(name));
}

std::uint8_t to_u8(PyObject* value)
{
    const long result = to_c_long(value);
    if (result < 0 || result > 255) throw_error(PyExc_OverflowError, kOutOfRange);
    return static_cast<std::uint8_t>(result);
}

std::int32_t to_i32(PyObject* value)
{
    const long result = to_c_long(value);
    if (result < INT32_MIN || result > INT32_MAX) throw_error(PyExc_OverflowError, kOutOfRange);
    return static_cast<std::int32_t>(result);
}

std::uint64_t to_u64(PyObject* value)
{
    if (PyLong_Check(value)) {
        const unsigned long long result = PyLong_AsUnsignedLongLong(value);
        if (result == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw_python_error();
        return result;
    }
    PyRef index = checked(PyNumber_Index(value));
    const unsigned long long result = PyLong_AsUnsignedLongLong(index.get());
    if (result == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw_python_error();
    return result;
}

bool to_flag(PyObject* value)
{
    if (value == Py_True) return true;
    if (value == Py_False) return false;
    PyTypeObject* type = Py_TYPE(value);
    if (!is_numpy_bool_type(type)) throw_type_mismatch(value, "bool");
    if (type->tp_as_number == nullptr || type->tp_as_number->nb_bool == nullptr) {
        throw_error(PyExc_TypeError,
                    std::string("object of type '") + type->tp_name + "' does not define a '__bool__' conversion");
    }
    const int truth = type->tp_as_number->nb_bool(value);
    if (truth < 0) throw_python_error();
    return truth != 0;
}

void rethrow_with_note(std::string_view parameter)
{
    set_python_error_from_current();
    throw_pending_with_note(parameter);
}

void throw_with_note(const PendingError& error, std::string_view parameter)
{
    set_python_error(error);
    throw_pending_with_note(parameter);
}

void throw_pending_with_note(std::string_view parameter)
{
    {
        // add_note runs with the exception aside; the exception is pending again afterwards.
        const SavedError pending = SavedError::fetch();
        if (pending) {
            const std::string note = "while processing '" + std::string(parameter) + "'";
            const PyRef result = PyRef::steal(PyObject_CallMethod(pending.exception(), "add_note", "s#", note.data(),
                                                                  static_cast<Py_ssize_t>(note.size())));
            if (!result) PyErr_Clear();  // no add_note before 3.11; a failed note is no failure
        }
    }
    throw PythonError{};
}

}  // namespace brindle::ffi
