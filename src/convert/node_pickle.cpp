// Node.__reduce__, __copy__ and __deepcopy__, and the reconstructor pickles call.
//
// A node never changes, so a copy, shallow or deep, is the node itself, as for str and tuple.
#include "convert/node_pickle.hpp"

#include <string_view>

#include "convert/tree_encoding.hpp"
#include "ffi/frame.hpp"
#include "node/node.hpp"
#include "node/node_methods.hpp"

namespace brindle::convert {

using namespace ffi;

namespace {

constexpr std::string_view kParams[] = {"payload"};
constexpr Signature kSignature{kReconstructorName, "", kParams, 1, 1};

// Looked up in the module as imported now, which is the object pickle checks the name against
// (a module imported again has new function objects).
PyRef reconstructor()
{
    const PyRef module = checked(PyImport_ImportModule("brindle"));
    return checked(PyObject_GetAttrString(module.get(), kReconstructorName));
}

}  // namespace

PyObject* node_reduce(PyObject* self, PyObject*)
{
    return call_frame([&] {
        const PyRef payload = encode_tree(self);
        const PyRef function = reconstructor();
        const PyRef arguments = checked(PyTuple_Pack(1, payload.get()));
        return checked(PyTuple_Pack(2, function.get(), arguments.get())).release();
    });
}

PyObject* node_copy(PyObject* self, PyObject*) { return Py_NewRef(self); }

PyObject* node_deepcopy(PyObject* self, PyObject*) { return Py_NewRef(self); }

PyObject* py_unpickle_node(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)
{
    return call_frame([&] {
        PyObject* payload = bind<1>(kSignature, args, nargs, kwnames)[0];
        if (!PyBytes_Check(payload)) throw_type_mismatch(payload, "bytes");
        const std::string_view bytes(PyBytes_AS_STRING(payload), static_cast<std::size_t>(PyBytes_GET_SIZE(payload)));
        return decode_tree(bytes).release();
    });
}

}  // namespace brindle::convert
