// read_string(xml_string, root_tag) and read_file(file_path, root_tag).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace brindle {

PyObject* py_read_string(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* py_read_file(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace brindle
