#include "node/search_type.hpp"

#include "ffi/errors.hpp"
#include "ffi/frame.hpp"

namespace brindle::node {

using namespace ffi;

namespace {

struct SearchTypeObject {
    PyObject_HEAD
    SearchType value;
};

constexpr const char* kMemberNames[] = {"Tag", "Attr", "Text"};
constexpr const char* kMemberTexts[] = {"SearchType.Tag", "SearchType.Attr", "SearchType.Text"};

SearchType value_of(PyObject* member) { return reinterpret_cast<SearchTypeObject*>(member)->value; }

PyObject* search_type_repr(PyObject* self)
{
    return call_frame(
        [&] { return checked(PyUnicode_FromString(kMemberTexts[static_cast<int>(value_of(self))])).release(); });
}

PyObject* search_type_int(PyObject* self)
{
    return call_frame([&] { return checked(PyLong_FromLong(static_cast<long>(value_of(self)))).release(); });
}

PyObject* search_type_compare(PyObject* self, PyObject* other, int op)
{
    return call_frame([&]() -> PyObject* {
        if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;  // ordering is not defined
        long value = 0;
        if (PyObject_TypeCheck(other, search_type())) {
            value = static_cast<long>(value_of(other));
        } else {
            value = PyLong_AsLong(other);
            if (value == -1 && PyErr_Occurred()) {
                PyErr_Clear();
                Py_RETURN_NOTIMPLEMENTED;
            }
        }
        const bool equal = value == static_cast<long>(value_of(self));
        return PyBool_FromLong((op == Py_EQ) == equal);
    });
}

PyType_Slot search_type_slots[] = {
    {Py_tp_repr, reinterpret_cast<void*>(search_type_repr)},
    {Py_nb_int, reinterpret_cast<void*>(search_type_int)},
    {Py_tp_richcompare, reinterpret_cast<void*>(search_type_compare)},
    {0, nullptr},
};

PyType_Spec search_type_spec = {"builtins.SearchType", static_cast<int>(sizeof(SearchTypeObject)), 0,
                                Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, search_type_slots};

PyTypeObject* g_search_type = nullptr;

PyTypeObject* create_search_type()
{
    PyRef type = PyRef::steal(PyType_FromSpec(&search_type_spec));
    if (!type) throw_internal_from_python("failed to create type object for `SearchType`");
    auto* as_type = reinterpret_cast<PyTypeObject*>(type.get());
    for (int value = 0; value < 3; ++value) {
        PyRef member = PyRef::steal(as_type->tp_alloc(as_type, 0));
        if (!member) throw_internal_from_python("failed to create type object for `SearchType`");
        reinterpret_cast<SearchTypeObject*>(member.get())->value = static_cast<SearchType>(value);
        if (PyObject_SetAttrString(type.get(), kMemberNames[value], member.get()) < 0) {
            throw_internal_from_python("failed to create type object for `SearchType`");
        }
    }
    PyType_Modified(as_type);
    return reinterpret_cast<PyTypeObject*>(type.release());
}

}  // namespace

PyTypeObject* search_type()
{
    if (g_search_type == nullptr) g_search_type = create_search_type();
    return g_search_type;
}

SearchType to_search_type(PyObject* value)
{
    if (!PyObject_TypeCheck(value, search_type())) throw_type_mismatch(value, "SearchType");
    return value_of(value);
}

}  // namespace brindle::node
