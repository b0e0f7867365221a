// write_string(node, indent=None, default_xml_def=None) and
// write_file(node, file_path, indent=None, default_xml_def=None).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace brindle {

PyObject* py_write_string(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* py_write_file(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

}  // namespace brindle
