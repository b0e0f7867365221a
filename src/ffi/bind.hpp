// Binding Python call arguments to an operation's parameters, with the interpreter's own
// wording for missing, surplus, duplicated and unknown arguments.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace brindle::ffi {

struct Signature {
    std::string_view function;
    std::string_view class_name;  // empty for module functions
    const std::string_view* params;
    std::size_t param_count;
    std::size_t required;

    // "Node.search()" or "read_string()".
    std::string display_name() const;
};

// A function of the fast-call-with-keywords convention: (self or module, args, nargs, kwnames).
// Entry points are declared with it (`FastcallEntry py_read_string;`), so each declaration says
// only its name.
using FastcallEntry = PyObject*(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
using FastcallFunction = FastcallEntry*;

// The method table entry of a function of the fast-call-with-keywords convention: the table
// holds it as a PyCFunction, and the interpreter calls it by the convention its
// METH_FASTCALL | METH_KEYWORDS flags name. `extra_flags` adds METH_CLASS for a class method.
inline PyMethodDef fastcall_method(const char* name, FastcallFunction function, const char* doc,
                                   int extra_flags = 0) noexcept
{
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)),
            METH_FASTCALL | METH_KEYWORDS | extra_flags, doc};
}

// One borrowed argument per parameter, null where the caller gave none.
template <std::size_t N>
using BoundArgs = std::array<PyObject*, N>;

// Vectorcall convention: positional arguments plus a tuple of keyword names whose values
// follow the positional ones in `args`.
void bind_fastcall(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   PyObject** bound);

// Constructor convention: an argument tuple and an optional keyword dictionary.
void bind_tuple_and_dict(const Signature& signature, PyObject* args, PyObject* kwargs, PyObject** bound);

template <std::size_t N>
BoundArgs<N> bind(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    BoundArgs<N> bound{};
    bind_fastcall(signature, args, nargs, kwnames, bound.data());
    return bound;
}

}  // namespace brindle::ffi
