// The four read-only properties: each read builds a fresh Python object from the native field.
#include "ffi/frame.hpp"
#include "ffi/py_values.hpp"
#include "node/node.hpp"
#include "node/node_methods.hpp"

namespace brindle::node {

using namespace ffi;

PyObject* node_get_name(PyObject* self, void*)
{
    return call_frame([&] { return make_str(node_object(self).name).release(); });
}

PyObject* node_get_attrs(PyObject* self, void*)
{
    return call_frame([&] { return attrs_to_dict(node_object(self).attrs, make_str).release(); });
}

PyObject* node_get_text(PyObject* self, void*)
{
    return call_frame([&] { return optional_str(node_object(self).text.view()).release(); });
}

PyObject* node_get_children(PyObject* self, void*)
{
    return call_frame([&] {
        const auto children = node_object(self).children();
        PyRef list = checked(PyList_New(static_cast<Py_ssize_t>(children.size())));
        for (std::size_t i = 0; i < children.size(); ++i) {
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), PyRef::borrow(children[i].get()).release());
        }
        return list.release();
    });
}

}  // namespace brindle::node
