#include "ffi/convert.hpp"

#include <climits>

#include "ffi/saved_error.hpp"

namespace brindle {

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
    PyObject* module = PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__");
    bool from_numpy = false;
    if (module != nullptr && PyUnicode_Check(module)) {
        from_numpy = PyUnicode_CompareWithASCIIString(module, "numpy") == 0;
    }
    Py_XDECREF(module);
    PyErr_Clear();
    return from_numpy;
}

}  // namespace

std::string_view to_text(PyObject* value)
{
    if (!PyUnicode_Check(value)) throw_type_mismatch(value, "str");
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (utf8 == nullptr) throw_python_error();
    return {utf8, static_cast<std::size_t>(size)};
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
    raise_current_exception();
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

}  // namespace brindle
