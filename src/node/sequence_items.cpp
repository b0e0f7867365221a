#include "node/sequence_items.hpp"

#include <algorithm>

#include "ffi/convert.hpp"

namespace brindle::node {

using namespace ffi;

namespace {
PyObject* g_sequence_type = nullptr;
}

PyObject* abstract_sequence_type()
{
    if (g_sequence_type == nullptr) {
        const PyRef module = PyRef::steal(PyImport_ImportModule("collections.abc"));
        if (!module) throw_internal_from_python("failed to import collections.abc");
        PyRef sequence = PyRef::steal(PyObject_GetAttrString(module.get(), "Sequence"));
        if (!sequence) throw_internal_from_python("failed to import collections.abc.Sequence");
        // The import may have let another thread in; keep whichever arrived first.
        if (g_sequence_type == nullptr) g_sequence_type = sequence.release();
    }
    return g_sequence_type;
}

void check_sequence(PyObject* value)
{
    if (PyUnicode_Check(value)) throw_error(PyExc_TypeError, "Can't extract `str` to `Vec`");
    if (!PySequence_Check(value)) {
        abstract_sequence_type();  // the message names the abstract class; make sure it exists
        throw_type_mismatch(value, "Sequence");
    }
}

std::size_t sequence_reservation(PyObject* value)
{
    // The interpreter's own containers report their true size and run no Python code for it.
    if (PyList_CheckExact(value) || PyTuple_CheckExact(value)) return static_cast<std::size_t>(Py_SIZE(value));
    const Py_ssize_t length = PySequence_Size(value);
    if (length < 0) {
        if (pending_exception_must_propagate()) throw_python_error();
        PyErr_Clear();
        return 0;
    }
    return static_cast<std::size_t>(std::min(length, kMaxReservedItems));
}

AttrMap attrs_from_dict(PyObject* dict)
{
    AttrMap attrs;
    for_each_dict_item(dict, [&](PyObject* key, PyObject* value) {
        const std::string key_text = to_text_copy(key);
        const std::string value_text = to_text_copy(value);
        attrs.insert_or_assign(key_text, value_text);
    });
    return attrs;
}

}  // namespace brindle::node
