// Walking the Python containers that the constructor and from_dict accept, with the checks
// and messages both share.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "ffi/errors.hpp"
#include "reader/tree/attr_map.hpp"

namespace brindle::node {

// Attribute maps come from the reader core, which fills them as it reads.
using reader::AttrMap;

// The abstract collections.abc.Sequence class, imported once on first need.
PyObject* abstract_sequence_type();

// A str is refused with "Can't extract `str` to `Vec`", a non-sequence with the instance check
// naming "Sequence".
void check_sequence(PyObject* value);

// At most this many items are reserved before they are read: a user sequence's __len__ is
// only a claim, and a false 2**60 must not end in a failed or enormous reservation.
inline constexpr Py_ssize_t kMaxReservedItems = 65536;

// How many items to reserve room for before iterating the value: the length of an exact list
// or tuple, otherwise the reported length capped at kMaxReservedItems, or 0 when asking fails
// (an ordinary error is dropped; an interrupt or MemoryError is thrown on).
std::size_t sequence_reservation(PyObject* value);

// Passes every item of the value's iterator, borrowed, to `visit`.
template <class Visit>
void for_each_sequence_item(PyObject* value, Visit&& visit)
{
    ffi::PyRef iterator = ffi::checked(PyObject_GetIter(value));
    while (PyObject* raw = PyIter_Next(iterator.get())) {
        ffi::PyRef item = ffi::PyRef::steal(raw);
        visit(item.get());
    }
    if (PyErr_Occurred()) ffi::throw_python_error();
}

// Visits every (key, value) of a dict, failing as an internal failure when the dict changes
// size or keys while it is walked (only Python code run by `visit` could do that).
template <class Visit>
void for_each_dict_item(PyObject* dict, Visit&& visit)
{
    const Py_ssize_t start_size = PyDict_GET_SIZE(dict);
    Py_ssize_t position = 0;
    Py_ssize_t seen = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(dict, &position, &key, &value)) {
        if (++seen > start_size) ffi::throw_internal("dictionary keys changed during iteration");
        ffi::PyRef held_key = ffi::PyRef::borrow(key);
        ffi::PyRef held_value = ffi::PyRef::borrow(value);
        visit(held_key.get(), held_value.get());
        if (PyDict_GET_SIZE(dict) != start_size) ffi::throw_internal("dictionary changed size during iteration");
    }
}

// A dict of str to str as an attribute map; a non-str key or value fails the instance check
// naming "str".
AttrMap attrs_from_dict(PyObject* dict);

}  // namespace brindle::node
