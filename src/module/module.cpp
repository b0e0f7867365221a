// The module definition and its one execution step.
#include <string_view>

#include "convert/node_pickle.hpp"
#include "ffi/bind.hpp"
#include "ffi/errors.hpp"
#include "ffi/frame.hpp"
#include "memory/kept_report.hpp"
#include "node/node.hpp"
#include "node/search_type.hpp"
#include "read/read_entry.hpp"
#include "stream/stream_entry.hpp"
#include "table/table_entry.hpp"
#include "write/write_entry.hpp"

namespace brindle::module {

using namespace ffi;

namespace {

// Function objects keep a pointer to their table entry, so the table lives for the process.
PyMethodDef module_functions[] = {
    fastcall_method("read_file", read::py_read_file, "read_file(file_path, root_tag)\n--\n\n"),
    fastcall_method("read_string", read::py_read_string, "read_string(xml_string, root_tag)\n--\n\n"),
    fastcall_method("write_file", write::py_write_file,
                    "write_file(node, file_path, indent=None, default_xml_def=None)\n--\n\n"),
    fastcall_method("write_string", write::py_write_string,
                    "write_string(node, indent=None, default_xml_def=None)\n--\n\n"),
};

// Additions beyond the specified functions, and private helpers: module attributes that stay
// out of __all__.
PyMethodDef unlisted_functions[] = {
    fastcall_method("iter_file", stream::py_iter_file,
                    "iter_file(source, tag, buffer_size=None)\n--\n\n"
                    "Every element named `tag` that is not inside another, read from a path or a binary file "
                    "object one buffer at a time, as a Node as soon as its end tag is read."),
    fastcall_method("iter_string", stream::py_iter_string,
                    "iter_string(xml_string, tag, buffer_size=None)\n--\n\n"
                    "Every element named `tag` that is not inside another, as iter_file yields them, from a str."),
    fastcall_method("read_table", tables::py_read_table,
                    "read_table(source, tag, columns=None, *, batch_rows=65536, buffer_size=None, errors='raise', "
                    "byte_range=None)\n--\n\n"
                    "The records named `tag` in a stream as the rows of a table, one column per named path, "
                    "handed out as Arrow record batches through __arrow_c_stream__."),
    fastcall_method(convert::kReconstructorName, convert::py_unpickle_node, "_unpickle_node(payload)\n--\n\n"),
    fastcall_method("_kept_memory", memory::py_kept_memory,
                    "_kept_memory()\n--\n\n"
                    "(bytes kept for reuse between calls, calls running that may use them): for tests."),
};

// Appends the name to __all__ (creating the list on first use), then sets the attribute.
void add_item(PyObject* module, PyObject* name, PyObject* value)
{
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw_python_error();
        PyErr_Clear();
        all = checked(PyList_New(0));
        if (PyObject_SetAttrString(module, "__all__", all.get()) < 0) throw_python_error();
    } else if (!PyList_Check(all.get())) {
        throw_type_mismatch(all.get(), "list");
    }
    if (PyList_Append(all.get(), name) < 0) throw_internal_from_python("could not append __name__ to __all__");
    if (PyObject_SetAttr(module, name, value) < 0) throw_python_error();
}

void add_named_item(PyObject* module, const char* name, PyObject* value)
{
    PyRef key = checked(PyUnicode_FromString(name));
    add_item(module, key.get(), value);
}

PyRef make_function(PyObject* module, PyMethodDef* definition)
{
    PyRef module_name = checked(PyModule_GetNameObject(module));
    return checked(PyCFunction_NewEx(definition, module, module_name.get()));
}

void add_function(PyObject* module, PyMethodDef* definition)
{
    PyRef function = make_function(module, definition);
    PyRef name = checked(PyObject_GetAttrString(function.get(), "__name__"));
    if (!PyUnicode_Check(name.get())) throw_type_mismatch(name.get(), "str");
    add_item(module, name.get(), function.get());
}

void add_unlisted_function(PyObject* module, PyMethodDef* definition)
{
    PyRef function = make_function(module, definition);
    if (PyObject_SetAttrString(module, definition->ml_name, function.get()) < 0) throw_python_error();
}

int exec_module(PyObject* module)
{
    return call_frame_status([&] {
        if (!PyModule_Check(module)) throw_type_mismatch(module, "module");
        panic_exception_type();  // made up front, so no later failure has to create it
        add_named_item(module, "SearchType", reinterpret_cast<PyObject*>(node::search_type()));
        add_named_item(module, "Node", reinterpret_cast<PyObject*>(node::node_type()));
        for (PyMethodDef& definition : module_functions) add_function(module, &definition);
        for (PyMethodDef& definition : unlisted_functions) add_unlisted_function(module, &definition);
        // The package's version, from its metadata (pyproject.toml) at build time.
        const PyRef version = checked(PyUnicode_FromString(BRINDLE_VERSION));
        if (PyObject_SetAttrString(module, "__version__", version.get()) < 0) throw_python_error();
    });
}

// What the module supports. Its classes are the process's, made once and shared by every
// interpreter that imports it; from 3.12 an interpreter tags the classes it looks attributes up
// on from a counter of its own (except immutable ones, which SearchType must not be: its
// attributes can be reassigned), so a class shared with a sub-interpreter can carry the tag of
// one of that interpreter's own classes, whose attributes its lookup cache then gives for ours.
// So no sub-interpreter may import the module (it gets an ImportError), until the classes are
// made per module. Nor does the module run without the GIL: a free-threaded interpreter turns
// the GIL back on when it imports the module, and warns.
PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#if PY_VERSION_HEX >= 0x030C0000
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_USED},
#endif
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "brindle", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace brindle::module

PyMODINIT_FUNC PyInit_brindle(void) { return PyModuleDef_Init(&brindle::module::module_definition); }
