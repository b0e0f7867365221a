// Dismantling nodes without recursion: a chain a million nodes long must not need a million
// native stack frames to drop.
#include "entities/node.hpp"
#include "entities/node_methods.hpp"
#include "module/frame.hpp"

namespace brindle {

namespace {

void free_node_memory(PyObject* self) noexcept
{
    PyTypeObject* type = Py_TYPE(self);
    reinterpret_cast<NodeObject*>(self)->data.~NodeData();
    type->tp_free(self);
    Py_DECREF(type);  // instances of a heap type hold a reference to it
}

}  // namespace

void node_dealloc(PyObject* self)
{
    // The dying node's children become a work list. A child that this list holds the last
    // reference to hands its own children over before it is released, so releasing it never
    // cascades into further deallocations.
    std::vector<PyRef> pending = std::move(reinterpret_cast<NodeObject*>(self)->data.children);
    call_frame_destructor(self, [&] {
        while (!pending.empty()) {
            PyRef child = std::move(pending.back());
            pending.pop_back();
            if (Py_REFCNT(child.get()) == 1) {
                auto& grandchildren = reinterpret_cast<NodeObject*>(child.get())->data.children;
                for (PyRef& grandchild : grandchildren) pending.push_back(std::move(grandchild));
                grandchildren.clear();
            }
        }
    });
    free_node_memory(self);
}

}  // namespace brindle
